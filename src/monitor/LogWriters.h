#pragma once
// The log formats of the frame stream, one writer each, for the monitor window's Save As and for
// command-line tools alike:
// - candump log, as the Linux CAN tools read it: "(1765280000.123456) k3316 123#11AB", a remote
//   frame "123#R" ("123#R3" when it asks for 3 bytes), extended identifiers with 8 digits; lines
//   that are no CAN frame are left out, and so are frames with a wrong checksum (the format has
//   no place to mark them);
// - CSV (RFC 4180) with a header row: time, kind, id, dlc, data, checksum, raw; a wrong
//   checksum is marked in its column;
// - raw: exactly the bytes read, nothing added;
// - pcap and pcapng (link type 227), Vector ASC, PEAK TRC 2.1 and Vector BLF (PcapWriter.h,
//   PcapngWriter.h, AscWriter.h, TrcWriter.h, BlfWriter.h): CAN frames only, a frame whose
//   checksum is wrong left out. pcap, pcapng and BLF are binary; ASC, TRC and BLF count times
//   from the start of the log, ASC ends with a footer and BLF packs its frames into compressed
//   containers, so a log of these formats is written through a TLogEncoder.

#include "monitor/BlfWriter.h"
#include "monitor/FrameStore.h"
#include "monitor/FrameText.h"

#include <QByteArray>
#include <QString>

class QIODevice;

enum class TLogFormat { Candump, Csv, Raw, Pcap, Asc, Trc, Pcapng, Blf };

// The format a file name asks for by its ending (".log", ".csv", ".raw", ".pcap", ".asc",
// ".trc", ".pcapng", ".blf", any case), or false.
bool LogFormatForFileName(const QString &fileName, TLogFormat &format);
const char *LogFormatSuffix(TLogFormat format); // "log", "csv", "raw", "pcap", "asc", "trc", "pcapng", "blf"
// The format named on a command line ("candump", "csv", "raw", "pcap", "asc", "trc", "pcapng",
// "blf"), or false.
bool LogFormatForName(QStringView name, TLogFormat &format);

// What starts a file of the format (the CSV header row, the pcap, ASC and TRC headers with the
// measurement starting at `startUs`; nothing for the others).
QByteArray LogHeader(TLogFormat format, int64_t startUs = 0);
// One row in the format, line end included; empty when the format leaves the row out. ASC and
// TRC rows count from the epoch here, and a BLF row is no file on its own: a log of those is
// written through TLogEncoder.
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
// One CSV field, quoted (and its quotes doubled) when it holds a comma, a quote or a line end.
void AppendCsvField(QByteArray &out, const QByteArray &field);
// The row's bytes as read, line end included.
QByteArray RawRecord(const TFrameRow &row);

// One log of any format as bytes: its header, its rows and its end, with what the formats keep
// from row to row (the start of the measurement, the frames numbered so far). The window's
// Save As, recording and the command-line tools all write through it.
class TLogEncoder {
public:
    // `startUs`: when the measurement began (microseconds since the epoch); ASC and TRC count
    // their times from it and write it in their headers.
    explicit TLogEncoder(TLogFormat format, int64_t startUs = 0, QByteArray interfaceName = "k3316");
    TLogFormat Format() const { return m_format; }
    bool IsBinary() const { return m_format == TLogFormat::Pcap || m_format == TLogFormat::Pcapng || m_format == TLogFormat::Blf; }
    QByteArray Header() const;
    // Appends the row in the format; nothing when the format leaves it out.
    void Append(QByteArray &out, const TFrameRow &row);
    QByteArray Record(const TFrameRow &row);
    // What ends the log (ASC's "End TriggerBlock", BLF's last container; nothing for the others).
    QByteArray Footer();
    uint64_t FramesWritten() const { return m_frames; }
    // Frames the format left out because their checksum was wrong.
    uint64_t LeftOut() const { return m_leftOut; }

private:
    TLogFormat m_format;
    int64_t m_startUs;
    QByteArray m_interface;
    uint64_t m_frames = 0;
    uint64_t m_leftOut = 0;
    TBlfPacker m_blf;
};

// Streams rows of one format to a device (a file, a pipe, standard output).
class TLogWriter {
public:
    TLogWriter(QIODevice *device, TLogFormat format, QByteArray interfaceName = "k3316", int64_t startUs = 0);
    // Writes the header, if the format has one; false when the device refused it.
    bool Begin();
    bool Write(const TFrameRow &row);
    // Writes the format's end, if it has one; false when the device refused it.
    bool End();
    // Frames the format left out because their checksum was wrong.
    uint64_t LeftOut() const { return m_encoder.LeftOut(); }

private:
    bool Put(const QByteArray &bytes);

    QIODevice *m_device;
    TLogEncoder m_encoder;
};
