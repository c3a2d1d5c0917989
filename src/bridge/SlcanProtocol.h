#pragma once
// The serial-line CAN (slcan, LAWICEL ASCII) adapter protocol over the module's lines, without
// I/O: commands from the tool in any split, answers and frames for the tool in one bounded
// queue, frames for the bus through an injected send. A tool that stops reading loses frames
// (counted, flagged in F), never memory.

#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>

namespace Slcan {
constexpr qsizetype MaxCommand = 64;     // bytes before the CR; a longer command is refused whole
constexpr qsizetype FrameRoom = 64 * 1024; // queued bytes for the tool beyond which frames are dropped
constexpr qsizetype AnswerSlack = 16 * 1024; // answers still queued over FrameRoom; then commands wait

// Status flags answered to F (as an SJA1000-based adapter reports them); F clears them.
constexpr uint8_t FlagRxQueueFull = 0x01;
constexpr uint8_t FlagTxFailed = 0x02;
constexpr uint8_t FlagDataOverrun = 0x08;

// The bit rate of S0..S9 (S9: 83.3K, as python-can asks for it), 0 for any other code.
int32_t CodeRate(char code);
// The bit rate of the SJA1000 timing registers of "sxxyy" at the 16 MHz clock of such adapters.
int32_t RegisterRate(uint8_t btr0, uint8_t btr1);
// "500K", "83.3K", "1000K": as the module's settings name its rates.
QString RateText(int32_t bitsPerSecond);
// "500K", "83.3K", "1M" or "500000" (bit/s) -> bit/s; 0 when the text is none of these.
int32_t ParseRate(const QString &text);
// Four characters of digits from `text` (the firmware version "2.05" gives "0205").
QByteArray FourDigits(const QString &text);
} // namespace Slcan

struct TSlcanCounts {
    int64_t toTool = 0;      // frames queued for the tool
    int64_t fromTool = 0;    // frames sent to the module
    int64_t dropped = 0;     // frames the tool did not read in time
    int64_t whileClosed = 0; // frames that came while the channel was not open
    int64_t badChecksum = 0; // frames garbled on the line
    int64_t replies = 0;     // the module's own replies ("!...", "?...")
    int64_t other = 0;       // lines that are no frame
    int64_t refused = 0;     // commands answered with BEL
    int64_t sendFailed = 0;  // frames that did not go out to the module
};

class TSlcanProtocol {
public:
    struct TSetup {
        int32_t moduleRate = 0; // bit/s; 0: not known
        QByteArray version = "0000"; // V, v
        QByteArray serial = "0000";  // N
        // The composer's line (no checksum, no CR) to the module; false when it did not go out.
        std::function<bool(const QByteArray &line)> send;
        // One line for standard error.
        std::function<void(const QString &message)> warn;
    };

    explicit TSlcanProtocol(TSetup setup);

    // Bytes the tool wrote, as they came; each command's answer is queued.
    void FeedCommands(QByteArrayView bytes);
    // One line of the module (its text, without the line end) at `timeUs`.
    void ModuleLine(QByteArrayView text, int64_t timeUs);

    // What waits for the tool; the caller writes a prefix of it and says how much went.
    QByteArrayView Pending() const { return m_out; }
    void Consumed(qsizetype bytes);
    // False while so much waits that the tool's next commands should stay in its own queue.
    bool AcceptsCommands() const { return m_out.size() < Slcan::FrameRoom + Slcan::AnswerSlack; }

    // The tool went away: closed, no stamps, its half command and unread answers dropped.
    void Reset();
    // A module line longer than any the module sends was cut (a wrong line speed).
    void LineCut() { ++m_counts.other; }

    bool IsOpen() const { return m_state != TState::Closed; }
    bool IsListenOnly() const { return m_state == TState::ListenOnly; }
    const TSlcanCounts &Counts() const { return m_counts; }

    // A frame in the adapter's text form, CR included: tIIIL.., TIIIIIIIIL.., rIIIL, RIIIIIIIIL,
    // with four hex digits of milliseconds (0-59999) when `stamp`.
    static QByteArray FormatFrame(const TDecodedLine &frame, bool stamp, int64_t timeUs);

private:
    enum class TState { Closed, Open, ListenOnly };

    void Execute(QByteArrayView command);
    bool SendFrame(QByteArrayView command);
    bool CheckRate(int32_t requested, QByteArrayView command);
    void Answer(QByteArrayView bytes) { m_out.append(bytes.data(), bytes.size()); }
    void Refuse();
    void Warn(const QString &message);

    TSetup m_setup;
    TState m_state = TState::Closed;
    bool m_stamps = false;
    uint8_t m_flags = 0;
    QByteArray m_command;    // the command so far, before its CR
    bool m_overlong = false; // the command passed MaxCommand: refused at its CR
    QByteArray m_out;
    int64_t m_droppedInRun = 0; // frames dropped since the tool last read
    TSlcanCounts m_counts;
};
