#pragma once
// Line framing of the module's command protocol: checksums and reply digits.
// Every line is 8-bit text, one byte per character.

#include <QByteArray>

namespace Framing {

constexpr char CR = '\r';

// The two upper-case hex digits of the low byte of the sum of all bytes of `text`.
// Longer texts than any line the program composes are summed over every byte.
QByteArray AddChksum(const QByteArray &text);

// True when the two characters before the last one of `reply` are the checksum of everything
// before them (case-sensitive: lower-case digits never match).
bool Chksum(const QByteArray &reply);

// Value of an upper-case hex digit; no validation: other characters give code - 55 (or - 48).
int AscToInt(char c);

// `command`, its checksum when `withChecksum`, then one CR.
QByteArray FrameLine(const QByteArray &command, bool withChecksum);

} // namespace Framing
