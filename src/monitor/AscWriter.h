#pragma once
// Vector ASC logs (CANoe/CANalyzer text logs), as can-utils' asc2log and python-can's ASCReader
// read them:
//   date Wed Dec 09 03:58:18.440 pm 2026
//   base hex  timestamps absolute
//   no internal events logged
//   Begin Triggerblock Wed Dec 09 03:58:18.440 pm 2026
//      0.000000 Start of measurement
//      0.001000 1  123             Rx   d 2 11 AB
//      0.002000 1  1ABCDEF0x       Rx   r 3
//   End TriggerBlock
// Times are seconds since the start of the measurement; the date is local time with
// milliseconds, which CANoe requires, in English whatever the locale.

#include "monitor/FrameStore.h"

#include <QByteArray>

// "Wed Dec 09 03:58:18.440 pm 2026" for `timeUs` (microseconds since the epoch), local time.
QByteArray AscDate(int64_t timeUs);
QByteArray AscHeader(int64_t startUs);
// One line for a CAN frame at its time since `startUs`; nothing for a line that is no frame or
// whose checksum is wrong.
void AppendAscRecord(QByteArray &out, const TFrameRow &row, int64_t startUs);
QByteArray AscFooter();
