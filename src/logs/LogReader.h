#pragma once
// Streaming readers of the CAN logs other tools write: one frame at a time, so a log of any
// length is read in the same memory. Every reader is opened through OpenLogReader, which tells
// the format by the log's first bytes (the name's ending only breaks a tie) and names every
// problem with the file and the line or byte offset where it lies.

#include "monitor/CandumpLog.h"

#include <QString>

#include <cstdint>
#include <memory>

enum class TLogKind { Candump, Asc, Trc, Pcap, Pcapng, Blf, Csv };

// "candump", "asc", "trc", "pcap", "pcapng", "blf", "csv".
const char *LogKindName(TLogKind kind);
bool LogKindForName(QStringView name, TLogKind &kind);

class TByteSource;
class TInputCancel;
struct TLogInput;
// An input opened for a log and not yet read, freed where its parts are known.
struct TLogInputFree {
    void operator()(TLogInput *input) const;
};
using TLogInputPtr = std::unique_ptr<TLogInput, TLogInputFree>;

class TLogReader {
public:
    virtual ~TLogReader();

    // The next frame; false at the log's end or at a problem (then Problem() is not empty).
    // A frame's Interface names its channel as the log does ("can0", "1").
    bool Next(TLogFrame &frame);
    // Empty while the log reads well: "FILE:LINE: ..." or "FILE: byte N: ...".
    const QString &Problem() const { return m_problem; }
    TLogKind Kind() const { return m_kind; }
    // True when frame times count from the epoch; false when only from the log's start.
    bool TimesAbsolute() const { return m_absolute; }
    // Bytes read so far and the log's size (-1 for a pipe): for progress.
    qint64 BytesRead() const;
    qint64 TotalBytes() const { return m_total; }
    // Lines or objects passed over: comments, empty lines, events that are no frame.
    uint64_t Skipped() const { return m_skipped; }
    uint64_t FramesRead() const { return m_frames; }

protected:
    TLogReader(TLogKind kind, TByteSource &source, QString name);
    virtual bool ReadFrame(TLogFrame &frame) = 0;
    // Ends the read with "NAME:LINE: what" (text formats) or "NAME: byte OFFSET: what".
    bool FailAtLine(uint64_t line, const QString &what);
    bool FailAtByte(qint64 offset, const QString &what);

    TByteSource &m_in;
    QString m_name;
    bool m_absolute = false;
    uint64_t m_skipped = 0;

private:
    friend struct TLogOpening;
    TLogKind m_kind;
    QString m_problem;
    qint64 m_total = -1;
    uint64_t m_frames = 0;
    bool m_done = false;
    TLogInputPtr m_input;
};

// The format of the log that begins with `head`; `fileName`'s ending decides only when the
// content fits more than one or none clearly. False when nothing fits.
bool DetectLogKind(QByteArrayView head, const QString &fileName, TLogKind &kind);

// Opens `path` ("-": standard input) through the one way inputs are opened, and its reader;
// `forced` skips the detection; `cancel` ends a wait on a pipe. Null with `problem` set when the
// input is refused or is no log this program reads.
std::unique_ptr<TLogReader> OpenLogReader(const QString &path, QString &problem, const TLogKind *forced = nullptr,
                                          const TInputCancel *cancel = nullptr);
// The two halves of OpenLogReader. The first opens the input and refuses it at once when it must,
// reading nothing; the second tells the format from the first bytes, which on a pipe waits for
// the writer (or the cancel hook), so it may be done on a thread of its own.
TLogInputPtr OpenLogInput(const QString &path, QString &problem, const TInputCancel *cancel = nullptr);
std::unique_ptr<TLogReader> OpenLogReader(TLogInputPtr input, QString &problem,
                                          const TLogKind *forced = nullptr);
// True when the input is a pipe: telling its format may wait.
bool LogInputIsPipe(const TLogInput &input);
// The same over bytes in memory, named `name` in problems.
std::unique_ptr<TLogReader> OpenLogBytes(const QByteArray &bytes, const QString &name, QString &problem,
                                         const TLogKind *forced = nullptr);
