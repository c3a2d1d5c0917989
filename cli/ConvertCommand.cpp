// convert: a log of any format this program reads into any format it writes, one frame at a
// time, with no port.

#include "cli/CommandRun.h"
#include "cli/Interrupt.h"
#include "cli/StdOut.h"
#include "logs/LogFrameRow.h"
#include "logs/LogReader.h"
#include "monitor/FrameFilter.h"

#include <QSaveFile>

#include <cmath>

#include <fcntl.h>
#include <unistd.h>

using namespace Cli;

namespace {

// Where the converted log goes: a file written whole or not at all, or standard output.
class TConvertOutput {
public:
    bool Open(const QString &name, QString &problem)
    {
        if (name == QLatin1String("-"))
            return true;
        m_file = std::make_unique<QSaveFile>(name);
        if (!m_file->open(QIODevice::WriteOnly)) {
            problem = QStringLiteral("%1: cannot be written: %2").arg(name, m_file->errorString());
            return false;
        }
        return true;
    }
    bool Write(const QByteArray &bytes)
    {
        if (!m_file)
            return StdOut::Write(bytes);
        if (m_file->write(bytes) != bytes.size())
            return false;
#ifdef __linux__
        // The disk starts on what is written while the rest is converted, so the flush to disk
        // before the file replaces the old one finds little left (and a long log does not pile
        // up in memory). Only a hint: where it is refused, that flush does it all.
        if (m_file->pos() - m_started >= StartEvery && m_file->flush()) {
            sync_file_range(m_file->handle(), m_started, m_file->pos() - m_started, SYNC_FILE_RANGE_WRITE);
            m_started = m_file->pos();
        }
#endif
        return true;
    }
    bool Commit() { return !m_file || m_file->commit(); }
    QString Problem() const { return m_file ? m_file->errorString() : StdOut::Problem(); }

private:
    static constexpr qint64 StartEvery = 2 * 1024 * 1024;
    std::unique_ptr<QSaveFile> m_file;
    qint64 m_started = 0; // bytes the disk was asked to take
};

} // namespace

int TCommandRun::Convert()
{
    TLogFormat format = TLogFormat::Candump;
    if (m_o.FormatGiven) {
        LogFormatForName(m_o.LogFormatName, format);
    } else if (!LogFormatForFileName(m_o.OutputFile, format) || format == TLogFormat::Raw) {
        return Fail(CliExit::Usage, QStringLiteral("%1: name the output .log (candump), .csv, .pcap, .pcapng, .asc, "
                                                   ".trc or .blf, or give --format")
                                        .arg(m_o.OutputFile));
    }
    if (format == TLogFormat::Raw)
        return Fail(CliExit::Usage, QStringLiteral("raw holds the module's bytes as read; a log has none to give"));
    if (m_o.OutputFile == QLatin1String("-") && format != TLogFormat::Candump && format != TLogFormat::Csv
        && format != TLogFormat::Asc && format != TLogFormat::Trc && isatty(STDOUT_FILENO))
        return Fail(CliExit::Usage, QStringLiteral("%1 is binary: send it to a file or a pipe").arg(LogFormatSuffix(format)));
    std::vector<TIdRange> ids;
    ParseIdRanges(m_o.Ids, ids, nullptr);

    QString problem;
    std::unique_ptr<TLogReader> reader = OpenLogReader(m_o.LogFile, problem, nullptr, m_interrupt);
    if (!reader)
        return Fail(CliExit::Usage, problem);
    TConvertOutput output;
    if (!output.Open(m_o.OutputFile, problem))
        return Fail(CliExit::Usage, problem);

    const auto chosen = [&ids](uint32_t id) {
        return ids.empty() || std::any_of(ids.cbegin(), ids.cend(), [id](const TIdRange &r) { return id >= r.first && id <= r.last; });
    };
    TLogFrame frame;
    bool have = reader->Next(frame);
    // ASC and TRC count from the start: the first frame's time.
    const int64_t firstUs = have ? frame.TimeUs : 0;
    const int64_t fromUs = m_o.FromSeconds >= 0 ? firstUs + std::llround(m_o.FromSeconds * 1e6) : INT64_MIN;
    const int64_t toUs = m_o.ToSeconds >= 0 ? firstUs + std::llround(m_o.ToSeconds * 1e6) : INT64_MAX;
    TLogEncoder encoder(format, std::max(firstUs, fromUs == INT64_MIN ? firstUs : fromUs));
    QByteArray chunk = encoder.Header();
    chunk.reserve(320 * 1024);
    QByteArray text;
    TFrameRow row;
    // Only the CSV writes the module's line; the others take the decoded fields.
    const bool withText = format == TLogFormat::Csv;
    uint64_t leftOut = 0;
    bool writeFailed = false;
    for (; have; have = reader->Next(frame)) {
        if (frame.TimeUs < fromUs || frame.TimeUs > toUs)
            continue;
        // An error frame's identifier is no message's: a choice of identifiers leaves it out.
        if (!ids.empty() && (frame.Error || !chosen(frame.Id)))
            continue;
        if (!LogFrameToRow(frame, text, row, withText)) {
            ++leftOut;
            continue;
        }
        encoder.Append(chunk, row);
        if (chunk.size() >= 256 * 1024) {
            if (!output.Write(chunk)) {
                writeFailed = true;
                break;
            }
            chunk.truncate(0); // keeps its capacity
            if (Interrupted())
                return FailInterrupted();
        }
    }
    if (!writeFailed && reader->Problem().isEmpty()) {
        chunk += encoder.Footer();
        writeFailed = !output.Write(chunk) || !output.Commit();
    }
    if (Interrupted())
        return FailInterrupted();
    if (!reader->Problem().isEmpty())
        return Fail(CliExit::Usage, reader->Problem());
    if (writeFailed)
        return Fail(CliExit::ModuleFault, QStringLiteral("%1: %2").arg(m_o.OutputFile, output.Problem()));
    if (leftOut > 0)
        err(QStringLiteral("%1 CAN FD or error frame(s) were left out of the %2 output: no module line carries them")
                .arg(leftOut)
                .arg(QLatin1String(format == TLogFormat::Candump ? "candump" : LogFormatSuffix(format))));
    return CliExit::Ok;
}
