#pragma once
// The log formats of the frame stream, one writer each, for the monitor window's Save As and for
// command-line tools alike:
// - candump log, as the Linux CAN tools read it: "(1765280000.123456) k3316 123#11AB", a remote
//   frame "123#R" ("123#R3" when it asks for 3 bytes), extended identifiers with 8 digits; lines
//   that are no CAN frame are left out;
// - CSV (RFC 4180) with a header row: time, kind, id, dlc, data, checksum, raw;
// - raw: exactly the bytes read, nothing added.

#include "monitor/FrameStore.h"

#include <QByteArray>
#include <QString>

class QIODevice;

enum class TLogFormat { Candump, Csv, Raw };

// The format a file name asks for by its ending (".log", ".csv", ".raw", any case), or false.
bool LogFormatForFileName(const QString &fileName, TLogFormat &format);
const char *LogFormatSuffix(TLogFormat format); // "log", "csv", "raw"

// What starts a file of the format (the CSV header row; nothing for the others).
QByteArray LogHeader(TLogFormat format);
// One row in the format, line end included; empty when the format leaves the row out.
QByteArray LogRecord(TLogFormat format, const TFrameRow &row, QByteArrayView interfaceName = "k3316");

QByteArray CandumpRecord(const TFrameRow &row, QByteArrayView interfaceName = "k3316");
// The same, appended to `out`: for long exports.
void AppendCandumpRecord(QByteArray &out, const TFrameRow &row, QByteArrayView interfaceName = "k3316");
QByteArray CsvRecord(const TFrameRow &row);
// "2026-12-09T15:45:12.123456Z"
QByteArray IsoUtcTime(int64_t timeUs);
// The checksum as the table and the CSV show it: "3A ok", "3A wrong (5C)" with the right one, or empty.
QByteArray ChecksumText(const TDecodedLine &line);

// Streams rows of one format to a device (a file, a pipe, standard output).
class TLogWriter {
public:
    TLogWriter(QIODevice *device, TLogFormat format, QByteArray interfaceName = "k3316");
    // Writes the header, if the format has one; false when the device refused it.
    bool Begin();
    bool Write(const TFrameRow &row);

private:
    QIODevice *m_device;
    TLogFormat m_format;
    QByteArray m_interface;
};
