#pragma once
// How `k3316-cli monitor` prints one received line. candump and CSV come from the frame
// stream's log writers (src/monitor), the same the Frame Monitor's export uses; "lines" is the
// tool's own: the local time and the line as the window lists it.

#include "cli/CliOptions.h"

#include <QByteArray>

#include <cstdint>

// The first bytes of the output (the CSV header; nothing for the others).
QByteArray MonitorHeader(TMonitorFormat format);
// One record with its line end; empty when the format leaves the line out (candump keeps only
// CAN frames with no wrong checksum). `text` is the line without its end; `timeUs` microseconds
// since the epoch.
QByteArray MonitorRecord(TMonitorFormat format, QByteArrayView text, int64_t timeUs);
