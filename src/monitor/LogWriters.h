#pragma once
// The log formats of the frame stream, one writer each, for the monitor window's Save As and for
// command-line tools alike:
// - candump log, as the Linux CAN tools read it: "(1765280000.123456) k3316 123#11AB", a remote
//   frame "123#R" ("123#R3" when it asks for 3 bytes), extended identifiers with 8 digits; lines
//   that are no CAN frame are left out, and so are frames with a wrong checksum (the format has
//   no place to mark them);
// - CSV (RFC 4180) with a header row: time, kind, id, dlc, data, checksum, raw; a wrong
//   checksum is marked in its column;
// - raw: exactly the bytes read, nothing added.

#include "monitor/FrameStore.h"
#include "monitor/FrameText.h"

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

// True for a CAN frame whose checksum is wrong: candump logs leave it out.
inline bool IsBadFrame(const TDecodedLine &line)
{
    return IsCanFrame(line.kind) && line.checksum == TChecksum::Wrong;
}

QByteArray CandumpRecord(const TFrameRow &row, QByteArrayView interfaceName = "k3316");
// The same, appended to `out`: for long exports.
void AppendCandumpRecord(QByteArray &out, const TFrameRow &row, QByteArrayView interfaceName = "k3316");
QByteArray CsvRecord(const TFrameRow &row);
// The row's bytes as read, line end included.
QByteArray RawRecord(const TFrameRow &row);

// Streams rows of one format to a device (a file, a pipe, standard output).
class TLogWriter {
public:
    TLogWriter(QIODevice *device, TLogFormat format, QByteArray interfaceName = "k3316");
    // Writes the header, if the format has one; false when the device refused it.
    bool Begin();
    bool Write(const TFrameRow &row);
    // Frames the format left out because their checksum was wrong.
    uint64_t LeftOut() const { return m_leftOut; }

private:
    QIODevice *m_device;
    TLogFormat m_format;
    QByteArray m_interface;
    uint64_t m_leftOut = 0;
};
