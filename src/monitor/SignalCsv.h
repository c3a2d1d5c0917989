#pragma once
// Decoded signals as CSV (RFC 4180), one row per signal of a frame: time, message, signal, value,
// unit. Used by the frame monitor's Save As and by the plot's Save As alike.

#include <QByteArray>
#include <QString>

#include <cstdint>

QByteArray SignalCsvHeader(); // "time,message,signal,value,unit" and CRLF
// One row; the time as in the frame CSV (ISO 8601, UTC, microseconds), the value in the fewest
// digits that read back to the same number, with a point under every locale.
void AppendSignalCsvRecord(QByteArray &out, int64_t timeUs, const QString &message, const QString &signal,
                           double value, const QString &unit);
// The value as that CSV writes it.
QByteArray SignalValueText(double value);
