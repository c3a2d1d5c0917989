#pragma once
// Decoded signals as CSV (RFC 4180), one row per signal: time (ISO 8601 UTC, microseconds),
// message, signal, value, unit; rows end in CR LF like the frame CSV log. One writer for
// k3316-cli's monitor and decode, the Frame Monitor's Save As and the plot's Save As.

#include "dbc/DbcDatabase.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

QByteArray SignalCsvHeader(); // "time,message,signal,value,unit" and CR LF
// The rows of the signals the frame carries; nothing for a line that is no data frame or a
// frame the database does not know. A signal beyond a short frame's data has an empty value.
QByteArray SignalCsvRecords(int64_t timeUs, const TDecodedLine &line, const TDbcDatabase &database);
// One row. The value in the fewest digits that read back to the same number, with a point under
// every locale.
void AppendSignalCsvRecord(QByteArray &out, int64_t timeUs, const QString &message, const QString &signal,
                           double value, const QString &unit);
// The value as that CSV writes it.
QByteArray SignalValueText(double value);
