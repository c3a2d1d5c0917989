#pragma once
// sim: k3316-sim, the virtual module on a pseudo-terminal; VirtualModule is its I/O-free core.
// Uses protocol and common only: it shares the codecs with the utility, nothing of its windows.
//
// The brain of the virtual K-3316: bytes from the line in, bytes for the line out, driven by a
// millisecond clock the caller supplies. No I/O, no timers, no threads, so every behaviour can be
// stepped through in a test.

#include "CanBus.h"
#include "DemoBus.h"
#include "ModuleParams.h"
#include "ProtocolNodes.h"
#include "SimOptions.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace Sim {

class VirtualModule {
public:
    static constexpr uint64_t NeverDue = UINT64_MAX;
    static constexpr qsizetype MaxLineLength = 512; // longer input is refused as one line
    static constexpr qsizetype KeptLines = 10000;   // receivedLines() keeps the newest ones
    static constexpr int TrafficBatch = 256;        // most node lines one takeOutput() gives

    explicit VirtualModule(const SimOptions &options, uint64_t nowMs = 0);

    // Bytes from the utility. `lineBaud` is the speed the utility set on the line, 0 when
    // unknown (a real port, where a mismatch garbles the bytes by itself).
    void receive(const QByteArray &bytes, int32_t lineBaud, uint64_t nowMs);
    void setLineBaud(int32_t lineBaud) { m_lineBaud = lineBaud; }
    // A program opened the line: the demo traffic and the protocol nodes start StartAfterOpenMs
    // later unless a probe is answered before.
    void lineOpened(uint64_t nowMs);
    static constexpr uint64_t StartAfterOpenMs = 1000;

    // Everything due by `nowMs`, in order, garbled when the line speed does not match.
    QByteArray takeOutput(uint64_t nowMs);
    // When the next byte is due; NeverDue when nothing is scheduled.
    uint64_t nextDueMs() const;

    // Speed the module's side of the line runs at in its mode.
    int32_t moduleBaud() const;
    int firmwareLevel() const;
    bool checksummed() const; // operation mode with "Add Checksum" on
    const RS232Params &rs232() const { return m_rs232; }
    const CanParams &can() const { return m_can; }

    QList<QByteArray> receivedLines() const; // without their CR, oldest first
    int64_t receivedLineCount() const { return m_lineCount; }
    int64_t busMessageCount() const { return m_busMessages; }
    int64_t trafficLinesSent() const { return m_trafficSent; }

    // Called with each complete line (without CR) as it arrives.
    void setLineObserver(std::function<void(const QByteArray &)> observer)
    {
        m_observer = std::move(observer);
    }

    // What a receiver at the wrong speed makes of `bytes`: one 0xF8 or 0x80 per byte, CRs lost.
    static QByteArray Garble(const QByteArray &bytes);

private:
    struct Scheduled {
        uint64_t dueMs;
        QByteArray bytes;
    };

    void processLine(const QByteArray &line, uint64_t nowMs);
    QByteArray configAnswer(const QByteArray &line);
    // Empty when the line gets no answer.
    QByteArray operationAnswer(const QByteArray &line, uint64_t nowMs);
    QByteArray refusal() const;
    QByteArray frame(const QByteArray &text) const;
    void schedule(uint64_t dueMs, const QByteArray &bytes);
    uint64_t nextTrafficDue() const;
    bool hasBusNode() const { return m_options.demo || m_options.trafficRate != TrafficOff; }
    bool lineMismatched() const;
    void scheduleNodeLines(const QList<ProtocolNodes::Line> &lines);

    SimOptions m_options;
    RS232Params m_rs232;
    CanParams m_can;
    BusNode m_traffic;
    DemoBus m_demo;
    BusNode m_noise;
    std::optional<ProtocolNodes> m_nodes;

    QByteArray m_partial;
    bool m_overflow = false;
    std::deque<Scheduled> m_queue;
    std::deque<QByteArray> m_lines;
    std::function<void(const QByteArray &)> m_observer;

    int32_t m_lineBaud = 0;
    uint64_t m_nowMs = 0;
    uint64_t m_trafficStartMs = NeverDue;
    bool m_startFromOpen = false; // m_trafficStartMs was set by an open, not a probe
    int64_t m_trafficSent = 0;
    int64_t m_lineCount = 0;
    int64_t m_busMessages = 0;
};

} // namespace Sim
