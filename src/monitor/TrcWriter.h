#pragma once
// PEAK TRC logs, file version 2.1, as PCAN-View writes them and python-can's TRCReader reads
// them: a header of ";$" lines, then one line per frame with the columns N,O,T,B,I,d,R,L,D:
//         1         1.000 DT  1     0123 Rx -  2    11 AB
//         2         2.000 RR  1 1ABCDEF0 Rx -  3
// (number from 1, milliseconds since the start, type DT data or RR remote request, bus 1,
// identifier 4 hex digits or 8 for an extended one, direction, reserved, length, data).
// Lines end in CR LF, as PEAK's tools write them.

#include "monitor/FrameStore.h"

#include <QByteArray>

// ";$STARTTIME=": days since 1899-12-30 local time, with the fraction of the day.
QByteArray TrcStartTime(int64_t startUs);
QByteArray TrcHeader(int64_t startUs);
// One line for a CAN frame, numbered `number` (counted from 1), at its time since `startUs`;
// nothing for a line that is no frame or whose checksum is wrong. Returns whether it wrote one.
bool AppendTrcRecord(QByteArray &out, const TFrameRow &row, int64_t startUs, uint64_t number);
