#pragma once
// Decoded signals as CSV, one row per signal: time (ISO 8601 UTC), message, signal, value, unit.
// Used by k3316-cli's monitor and decode with a database; a row is "\r\n"-terminated like the
// frame CSV log.

#include "dbc/DbcDatabase.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>

#include <cstdint>

QByteArray SignalCsvHeader();
// The rows of the signals the frame carries; nothing for a line that is no data frame or a
// frame the database does not know. A signal beyond a short frame's data has an empty value.
QByteArray SignalCsvRecords(int64_t timeUs, const TDecodedLine &line, const TDbcDatabase &database);
