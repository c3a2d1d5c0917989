#pragma once
// The text form of a frame, once for every view and log writer: identifiers in upper-case
// hexadecimal (3 digits standard, 8 extended), data bytes as two digits each, times as the
// clock of the day, as ISO 8601 UTC and as candump's seconds since the epoch.

#include "monitor/FrameDecoder.h"

#include <QByteArray>

#include <cstdint>

// "123" or "1ABCDEF0"; nothing for a line that is no CAN frame.
void AppendIdText(QByteArray &out, const TDecodedLine &line);
QByteArray IdText(const TDecodedLine &line);
// The data bytes, "11AB" with `separator` 0 or "11 AB" with ' '; nothing for a remote frame.
void AppendDataText(QByteArray &out, const TDecodedLine &line, char separator = ' ');
QByteArray DataText(const TDecodedLine &line, char separator = ' ');
// The checksum as the table and the CSV show it: "3A ok", "3A wrong (5C)" with the right one, or empty.
QByteArray ChecksumText(const TDecodedLine &line);

// "15:45:12.123" in local time.
QByteArray ClockText(int64_t timeUs);
// "2026-12-09T15:45:12.123456Z"
QByteArray IsoUtcTime(int64_t timeUs);
// "1765280000.123456", as candump stamps its lines.
void AppendEpochSeconds(QByteArray &out, int64_t timeUs);
// Seconds between two times, "0.250000".
QByteArray SecondsText(int64_t us);
