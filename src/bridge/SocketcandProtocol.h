#pragma once
// The socketcand protocol in raw mode, as pure functions: what a client's command asks for, and
// the text of a frame exactly as socketcand itself writes it (python-can's client parses that
// form and no other).

#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace Socketcand {

inline constexpr char Hi[] = "< hi >";
inline constexpr char Ok[] = "< ok >";
// socketcand allows bus names of at most this many characters.
constexpr qsizetype MaxChannelLength = 16;

enum class TCommandKind { Open, RawMode, Send, SendRtr, Echo, Error };

struct TCommand {
    TCommandKind kind = TCommandKind::Error;
    QByteArray channel; // Open
    uint32_t id = 0;    // Send, SendRtr
    bool extended = false;
    uint8_t dlc = 0;
    uint8_t data[8] = {};
    QByteArray error; // Error: the reason, for FormatError
};

// One command with its brackets, "< send 123 2 11 22 >". Words are separated by blanks; hex
// digits in either case; a data byte may have one digit (python-can writes "{:x}"). An
// identifier of eight digits, or above 7FF, is extended (socketcand decides by the eight digits,
// python-can writes no leading zeros). Anything else is an Error with its reason.
TCommand ParseCommand(QByteArrayView command);

// "< frame 123 1700000000.000042 1122 >": identifier %03X or %08X, seconds.microseconds, the data
// as one run of hex digits, and the blank before the data field even when there is none. A
// remote frame gives "< rtr ID SECONDS.MICROSECONDS DLC >". Empty for a line that is no frame.
QByteArray FormatFrame(const TDecodedLine &frame, int64_t timeUs);

// "< error REASON >", with any bracket or control character in the reason made a blank so the
// client's framing holds.
QByteArray FormatError(QByteArrayView reason);

// The module line a Send or SendRtr asks for, built by the composer's code; empty for others.
QByteArray ModuleLine(const TCommand &command);

} // namespace Socketcand
