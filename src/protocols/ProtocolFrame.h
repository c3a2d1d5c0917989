#pragma once
// Protocols above CAN (ISO-TP with UDS and OBD-II, J1939, CANopen) read from frames with their
// times. Pure functions and small state machines over Qt Core: the window, the command line and
// the log readers feed them frames in time order and show what they return.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

struct TDecodedLine;

struct TBusFrame {
    int64_t TimeUs = 0;
    uint32_t Id = 0;
    bool Extended = false;
    bool Remote = false;
    uint8_t Dlc = 0;
    uint8_t Data[8] = {};

    // The data bytes a frame carries: none for a remote frame, at most 8.
    int Length() const { return Remote ? 0 : (Dlc > 8 ? 8 : Dlc); }
};

// A module line's frame, as the decoders take it.
TBusFrame BusFrameOf(const TDecodedLine &line, int64_t timeUs);

enum class TProtocol : uint8_t { None, IsoTpUds, J1939, CanOpen };

// "isotp", "uds" (both ISO-TP carrying UDS), "j1939", "canopen"; false for any other name.
bool ProtocolFromName(const QString &name, TProtocol &protocol);
QString ProtocolName(TProtocol protocol);

// One reassembled message or conversation: an ISO-TP message (with its UDS meaning, and the
// request it answers), a J1939 transport session, a CANopen SDO transfer.
struct TTransfer {
    QString Protocol;       // "isotp", "j1939", "canopen"
    int64_t StartUs = 0;    // the first frame
    int64_t EndUs = 0;      // the last frame
    uint32_t SourceId = 0;  // the identifier that carried the data
    uint32_t TargetId = 0;  // where the flow control or the answer comes from (0: none)
    QByteArray Payload;     // the reassembled bytes (what arrived, when cut short)
    QString Meaning;        // decoded, e.g. "UDS ReadDataByIdentifier F190 = \"WVWZZZ...\""
    QString Fault;          // empty when the transfer was whole
    int64_t AnswerAfterUs = -1; // a response: the time since its request; -1 otherwise
    // Fields for machine-readable output; 0/-1/empty when they do not apply.
    int Service = -1;       // UDS or OBD service identifier of the request (0x22, ...)
    int Nrc = -1;           // UDS negative response code
    int Pgn = -1;           // J1939
    int SourceAddress = -1; // J1939
    int Node = -1;          // CANopen node
    int Index = -1;         // CANopen object index
    int SubIndex = -1;
};

// Feeds frames in time order. Each frame gets its own line of text (empty when the protocol has
// nothing to say about it); transfers are appended to `done` as they end, with a fault when
// they end badly (a timeout is found by the next frame or by Flush).
class TProtocolDecoder {
public:
    virtual ~TProtocolDecoder() = default;
    virtual QString Feed(const TBusFrame &frame, QList<TTransfer> &done) = 0;
    // Ends what waits longer than its protocol allows at `nowUs`; everything when nowUs < 0
    // (the end of a log).
    virtual void Flush(int64_t nowUs, QList<TTransfer> &done) = 0;
    // Off: Feed keeps its state and reports transfers but returns no text for frames that are
    // only pieces of a transfer (formatting them is most of a decoder's time).
    void SetDescribing(bool describe) { m_describe = describe; }

protected:
    bool m_describe = true;
};

struct TIsoTpPair {
    uint32_t Request = 0;  // tester -> ECU
    uint32_t Response = 0; // ECU -> tester
    bool Extended = false;
};

struct TProtocolOptions {
    // 11-bit ISO-TP address pairs; empty: 7E0-7E7 <-> 7E8-7EF, with 7DF as the functional request.
    QList<TIsoTpPair> IsoTpPairs;
};

std::unique_ptr<TProtocolDecoder> MakeProtocolDecoder(TProtocol protocol, const TProtocolOptions &options = {});

// What one frame says by itself, without the frames before it: for views that decode on display.
QString DescribeProtocolFrame(TProtocol protocol, const TProtocolOptions &options, const TBusFrame &frame);

// "7E0:7E8, 7E1:7E9" -> ISO-TP pairs (request:response); false with `problem` for anything else.
bool ParseIsoTpPairs(const QString &text, QList<TIsoTpPair> &pairs, QString &problem);

// "12 34 AB": bytes as the views show them.
QString HexBytes(const QByteArray &bytes, int from = 0);
