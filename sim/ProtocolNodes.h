#pragma once
// Nodes behind the virtual module that speak protocols above CAN, so diagnostics and the
// decoders can be tried without hardware: an ECU answering UDS and OBD-II over ISO-TP on
// 7E0/7DF -> 7E8, a J1939 engine sending EEC1 and its DM1 by BAM, and CANopen node 5 with
// heartbeats and an SDO server (1000, 1008, 1018). Pure: lines in, lines out with their times.

#include <QByteArray>
#include <QHash>
#include <QList>

#include <cstdint>

namespace Sim {

class ProtocolNodes {
public:
    struct Line {
        uint64_t dueMs;
        QByteArray text; // a message line as the module reports it, without CR
    };

    // The periodic messages begin with start(): after the module answered a probe (a busy bus
    // would fill the probe's reply), or when the utility first sends to the bus.
    void start(uint64_t nowMs);
    // Starts at `atMs` at the latest; a start() before that comes first.
    void startBy(uint64_t atMs);
    // A message line the utility put on the bus; the answers go to `out`.
    void heard(const QByteArray &line, uint64_t nowMs, QList<Line> &out);
    // The periodic messages due by `nowMs`.
    void takePeriodic(uint64_t nowMs, QList<Line> &out);
    uint64_t nextPeriodicMs() const;

    static const char *Vin(); // the ECU's 17 characters

private:
    struct Frame {
        uint32_t id = 0;
        bool extended = false;
        int dlc = 0;
        uint8_t data[8] = {};
    };
    static bool parse(const QByteArray &line, Frame &frame);
    static QByteArray text(uint32_t id, bool extended, const QByteArray &data);

    void ecuFrame(const Frame &f, uint64_t nowMs, QList<Line> &out);
    void ecuAnswer(const QByteArray &request, uint64_t nowMs, QList<Line> &out);
    void ecuSend(const QByteArray &payload, uint64_t nowMs, QList<Line> &out);
    void ecuConsecutive(uint64_t nowMs, int blockSize, int gapMs, QList<Line> &out);
    void sdo(const Frame &f, uint64_t nowMs, QList<Line> &out);

    // ECU: a long request arriving, a long answer leaving.
    QByteArray m_rxData;
    int m_rxExpected = 0;
    int m_rxSequence = 1;
    QByteArray m_txData;
    int m_txOffset = 0;
    int m_txSequence = 1;
    bool m_txAwaitFlowControl = false;
    // CANopen segmented upload.
    QByteArray m_sdoData;
    int m_sdoOffset = 0;
    int m_sdoToggle = 0;

    bool m_started = false;
    uint64_t m_startBy = UINT64_MAX;
    uint64_t m_nextHeartbeatMs = UINT64_MAX;
    uint64_t m_nextEngineMs = UINT64_MAX;
    uint64_t m_nextDm1Ms = UINT64_MAX;
    bool m_booted = false;
    uint8_t m_engineStep = 0;
};

} // namespace Sim
