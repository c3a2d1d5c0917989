// monitor and decode: what the bus carries, printed, recorded or decoded with databases.

#include "cli/CommandRun.h"
#include "cli/Interrupt.h"
#include "cli/MonitorFormat.h"
#include "cli/ProtocolOutput.h"
#include "cli/StdOut.h"
#include "dbc/FrameJson.h"
#include "dbc/SignalCsv.h"
#include "logs/LogReader.h"
#include "monitor/CandumpLog.h"
#include "monitor/FrameDecoder.h"
#include "monitor/LineSplitter.h"
#include "monitor/LogRecorder.h"
#include "protocol/ModuleModes.h"

#include <QTimer>

#include <cstring>

#include <unistd.h>

using namespace Cli;

// The format of monitor -o FILE: its name's ending, else --format's.
bool TCommandRun::RecordingFormat(TLogFormat &format) const
{
    if (LogFormatForFileName(m_o.OutputFile, format))
        return true;
    if (!m_o.FormatGiven || m_o.Format == TMonitorFormat::Lines || m_o.Format == TMonitorFormat::Json)
        return false;
    format = LogFormatOf(m_o.Format);
    return true;
}

int TCommandRun::Monitor()
{
    int code = 0;
    if (!LoadDatabases(code))
        return code;
    TMonitorPrinter printer(m_o.Format, nowUs(), m_o.DbcFiles.isEmpty() ? nullptr : &m_database);
    // Record to file: the window's recorder and writers; checked before the port is opened.
    TLogRecorder recorder;
    const bool recording = !m_o.OutputFile.isEmpty();
    if (recording) {
        TLogFormat format = TLogFormat::Candump;
        if (!RecordingFormat(format))
            return Fail(CliExit::Usage, QStringLiteral("-o %1: name the file .log (candump), .csv, .raw, .pcap, .pcapng, .asc, .blf "
                                                       "or .trc, or give --format")
                                            .arg(m_o.OutputFile));
        QString problem;
        if (!recorder.Start(m_o.OutputFile, format, &problem, nowUs()))
            return Fail(CliExit::Usage, problem);
    } else if (printer.IsBinary() && isatty(STDOUT_FILENO)) {
        // pcap is binary: a terminal would show garbage and could take escape sequences from it.
        return Fail(CliExit::Usage, QStringLiteral("pcap is binary: send it to a file or a pipe (> bus.pcap)"));
    }
    if (!Connect(ModuleModes::Operation, code))
        return code;
    if (!recording)
        outRaw(printer.Header());
    // At least once a second on the disk: a crash or a power cut loses no more.
    QTimer flush;
    flush.setInterval(TLogRecorder::FlushIntervalMs);
    QObject::connect(&flush, &QTimer::timeout, [&recorder] { recorder.Flush(); });
    if (recording)
        flush.start();

    bool timeUp = false;
    QTimer timer;
    if (m_o.Seconds > 0) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&timeUp] { timeUp = true; });
        timer.start(int(std::min(m_o.Seconds * 1000.0, 2147483647.0)));
    }
    TProtocol protocol = TProtocol::None;
    ProtocolFromName(m_o.Protocol, protocol);
    TProtocolPrinter protocols(protocol, {}, m_o.DbcFiles.isEmpty() ? nullptr : &m_database);
    int64_t count = 0;
    // The window's splitter: a line ends at its CR, a line feed beside it included.
    TLineSplitter splitter;
    splitter.SetLongestLine(TLineSplitter::LongestModuleLine);
    const TLineSplitter::Sink print = [&](const TLine &line) {
        if (m_o.Count >= 0 && count >= m_o.Count)
            return;
        ++count;
        if (recording) {
            TFrameRow row;
            row.timeUs = line.timeUs;
            row.text = line.text;
            row.raw = line.raw;
            row.decoded = DecodeLine(line.text.data(), line.text.size());
            recorder.Add(row);
            return;
        }
        if (protocol != TProtocol::None) {
            // Frames with a wrong checksum were garbled on the way: no protocol reads them.
            const TDecodedLine frame = DecodeLine(line.text.data(), line.text.size());
            if (IsCanFrame(frame.kind) && frame.checksum != TChecksum::Wrong)
                outRaw(protocols.Frame(BusFrameOf(frame, line.timeUs)));
            return;
        }
        // The module's checksum, when it adds one, is read by the frame decoder itself.
        outRaw(printer.Record(line.text, line.timeUs));
    };
    // What came after the probe's reply in the same read is the first of the stream.
    splitter.Feed(m_info.Leftover, nowUs(), print);
    auto recordingFailed = [&] { return recording && !recorder.Recording(); };
    while (!timeUp && !Interrupted() && !m_link.LineLost() && !recordingFailed() && !StdOut::Failed()
           && (m_o.Count < 0 || count < m_o.Count)) {
        // The time is taken once the read is back, not before the wait.
        const QByteArray read = m_link.WaitAndRead();
        splitter.Feed(read, nowUs(), print);
    }
    // The log ends properly however the monitor ends.
    if (protocol != TProtocol::None)
        outRaw(protocols.Finish());
    else if (!recording)
        outRaw(printer.Footer());
    recorder.Stop();
    if (recording && !recorder.Error().isEmpty())
        return Fail(CliExit::ModuleFault, recorder.Error());
    const uint64_t leftOut = recording ? recorder.LeftOut() : printer.LeftOut();
    const TLogFormat written = recording ? recorder.Format() : LogFormatOf(m_o.Format);
    if (leftOut > 0)
        err(QStringLiteral("%1 frame(s) with a wrong checksum were left out of the %2 output")
                .arg(leftOut)
                .arg(QLatin1String(written == TLogFormat::Candump ? "candump" : LogFormatSuffix(written))));
    if (splitter.CutLines() > 0)
        err(CutLinesNote(splitter.CutLines()));
    if (m_link.LineLost())
        return Fail(CliExit::ModuleFault, ModuleTexts::ConnectionLost(m_link.PortName()));
    return CliExit::Ok;
}

// A log of any readable format decoded with the databases, streamed; no port.
int TCommandRun::Decode()
{
    int code = 0;
    if (!LoadDatabases(code))
        return code;
    QString error;
    const std::unique_ptr<TLogReader> reader = OpenLogReader(m_o.LogFile, error, nullptr, m_interrupt);
    if (!reader)
        return Fail(CliExit::Usage, error);
    const bool csv = m_o.Format == TMonitorFormat::Csv;
    TProtocol protocol = TProtocol::None;
    ProtocolFromName(m_o.Protocol, protocol);
    TProtocolPrinter protocols(protocol, {}, m_o.DbcFiles.isEmpty() ? nullptr : &m_database);
    TFrameJsonWriter json(&m_database);
    QByteArray chunk;
    if (csv)
        chunk = SignalCsvHeader();
    chunk.reserve(65536 + 4096);
    uint64_t leftOut = 0;
    TLogFrame f;
    // The first lines go out at once; later ones in chunks.
    qsizetype flushAt = 1;
    while (reader->Next(f)) {
        if (Interrupted())
            return FailInterrupted();
        if (StdOut::Failed())
            break;
        // The module carries classic frames only; FD and error frames have no line of its own.
        if (f.Fd || f.Error || f.Data.size() > 8) {
            ++leftOut;
            continue;
        }
        TDecodedLine line;
        line.kind = f.Extended ? (f.Remote ? TFrameKind::ExtendedRemote : TFrameKind::ExtendedData)
                               : (f.Remote ? TFrameKind::StandardRemote : TFrameKind::StandardData);
        line.id = f.Id;
        line.dlc = uint8_t(std::min<int>(f.Dlc, 8)); // a length code 9-15 still carries 8 bytes
        std::memcpy(line.data, f.Data.constData(), size_t(f.Data.size()));
        if (protocol != TProtocol::None) {
            chunk += protocols.Frame(BusFrameOf(line, f.TimeUs));
        } else if (csv) {
            chunk += SignalCsvRecords(f.TimeUs, line, m_database);
        } else {
            json.Append(chunk, f.TimeUs, {}, line);
            chunk += '\n';
        }
        if (chunk.size() >= flushAt) {
            outRaw(chunk);
            chunk.resize(0); // its room kept for the next chunk
            flushAt = 65536;
        }
    }
    outRaw(chunk + protocols.Finish());
    if (Interrupted())
        return FailInterrupted();
    if (!reader->Problem().isEmpty())
        return Fail(CliExit::Usage, reader->Problem());
    if (leftOut > 0)
        err(QStringLiteral("%1 CAN FD or error frame(s) were left out").arg(leftOut));
    return CliExit::Ok;
}
