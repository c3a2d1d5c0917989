#include "cli/CliCommands.h"

#include "bridge/ListenAddress.h"
#include "bridge/SocketcandProtocol.h"
#include "bridge/SocketcandServer.h"
#include "cli/Interrupt.h"
#include "cli/ModuleLink.h"
#include "cli/MonitorFormat.h"
#include "cli/ProfileInput.h"
#include "cli/StdOut.h"
#include "dbc/DbcDatabase.h"
#include "dbc/FrameJson.h"
#include "dbc/SignalCodec.h"
#include "dbc/SignalCsv.h"
#include "monitor/CandumpLog.h"
#include "monitor/FrameDecoder.h"
#include "monitor/LineSplitter.h"
#include "monitor/LogRecorder.h"
#include "monitor/LogWriters.h"
#include "protocol/Framing.h"
#include "protocol/MessageLine.h"
#include "protocol/ModuleModes.h"
#include "monitor/CandumpLog.h"
#include "protocol/Profile.h"
#include "transmit/ReplayRunner.h"
#include "transmit/TransmitDbc.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitRunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <chrono>
#include <functional>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

// Every line goes out whole and at once, so a script (or Ctrl+C) never sees half of one. A
// failed write is kept by StdOut and decides the exit code at the end.
void out(const QByteArray &line)
{
    StdOut::Write(line + '\n');
}

void outRaw(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        StdOut::Write(bytes);
}

int64_t nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void err(const QString &message)
{
    std::fprintf(stderr, "k3316-cli: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

void outJson(const QJsonObject &object)
{
    out(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString modeName(int32_t mode)
{
    return mode == ModuleModes::Configuration ? QStringLiteral("configuration") : QStringLiteral("operation");
}

class TCommandRun {
public:
    TCommandRun(const TCliOptions &options, TInterrupt *interrupt)
        : m_o(options), m_interrupt(interrupt), m_link(options.Port, options.Baud, options.TimeoutMs, interrupt)
    {
    }

    int Run()
    {
        switch (m_o.Command) {
        case TCliCommand::Info: return Info();
        case TCliCommand::Get: return Get();
        case TCliCommand::Set: return Set();
        case TCliCommand::Defaults: return WriteProfile(Profiles::Defaults(), true);
        case TCliCommand::Send: return Send();
        case TCliCommand::Monitor: return Monitor();
        case TCliCommand::Transmit: return Transmit();
        case TCliCommand::Play: return Play();
        case TCliCommand::Decode: return Decode();
        case TCliCommand::Serve: return Serve();
        case TCliCommand::None: break;
        }
        return CliExit::Usage;
    }

private:
    // Prints the failure (as JSON too when asked) and returns `code`.
    int Fail(int code, const QString &message)
    {
        if (m_o.Json) {
            QJsonObject o{{"ok", false}, {"error", message}, {"exit_code", code}};
            if (!m_adjusted.isEmpty())
                o.insert(QStringLiteral("adjusted"), m_adjusted);
            outJson(o);
        }
        err(message);
        return code;
    }

    bool Interrupted() const { return m_interrupt && m_interrupt->Requested(); }
    // 130 after Ctrl+C, 143 after SIGTERM.
    int FailInterrupted() { return Fail(m_interrupt->ExitCode(), m_interrupt->Word()); }

    // The verdict on an exchange with the module: Ctrl+C ends the exchanges early, and what they
    // then lacked is no fault of the module.
    bool ExchangeSucceeded(bool ok, const QString &problem, int &code)
    {
        if (Interrupted()) {
            code = FailInterrupted();
            return false;
        }
        if (!ok)
            code = Fail(CliExit::ModuleFault, problem);
        return ok;
    }

    // Opens the port and decides the mode; `wanted` 0 takes any mode.
    bool Connect(int32_t wanted, int &code)
    {
        QString problem;
        if (!m_link.Open(problem)) {
            code = Fail(CliExit::PortFault, QStringLiteral("cannot open %1 (%2): %3")
                                                .arg(m_o.Port, m_link.Port().PortName(), problem));
            return false;
        }
        if (m_o.NoProbe) {
            // As the window's pair test: nothing is asked, lines go out without checksums.
            m_info = TModuleInfo();
            m_info.Mode = ModuleModes::PairTest;
            return true;
        }
        if (!ExchangeSucceeded(m_link.Connect(m_info, problem), problem, code))
            return false;
        if (wanted != 0 && m_info.Mode != wanted) {
            const QString hint = wanted == ModuleModes::Configuration
                                     ? QStringLiteral("; it answers in configuration mode only at 115200 bit/s")
                                     : QString();
            code = Fail(CliExit::ModuleFault, QStringLiteral("the module is in %1 mode, this command needs %2 mode%3")
                                                  .arg(modeName(m_info.Mode), modeName(wanted), hint));
            return false;
        }
        return true;
    }

    int Info()
    {
        int code = 0;
        if (!Connect(0, code))
            return code;
        if (m_o.Json) {
            QJsonObject o{{"ok", true},
                          {"port", m_o.Port},
                          {"mode", modeName(m_info.Mode)},
                          {"firmware_version", m_info.FirmwareVersion},
                          {"firmware_level", m_info.FirmwareLevel},
                          {"checksums", m_info.UseChecksum}};
            o.insert(QStringLiteral("maker"), m_info.Identified ? QJsonValue(m_info.Maker) : QJsonValue());
            o.insert(QStringLiteral("model"), m_info.Identified ? QJsonValue(m_info.Model) : QJsonValue());
            outJson(o);
        } else {
            out("mode: " + modeName(m_info.Mode).toUtf8());
            out("firmware version: " + m_info.FirmwareVersion.toLatin1());
            out("firmware level: " + QByteArray::number(m_info.FirmwareLevel));
            // Operation mode answers no identification queries, as in the window.
            out("maker: " + (m_info.Identified ? m_info.Maker.toLatin1() : QByteArray("(not asked in operation mode)")));
            out("model: " + (m_info.Identified ? m_info.Model.toLatin1() : QByteArray("(not asked in operation mode)")));
            out(QByteArray("checksums: ") + (m_info.UseChecksum ? "on" : "off"));
        }
        return CliExit::Ok;
    }

    bool ReadModule(TProfile &profile, int32_t &hidden, int &code)
    {
        TRS232Settings rs232;
        TCanSettings can;
        const TStepResult read = m_link.Session().ReadSettings(m_info.FirmwareLevel, rs232, can);
        if (!ExchangeSucceeded(read.Ok, read.Message, code))
            return false;
        profile = Profiles::FromModule(rs232, can, m_info.FirmwareLevel);
        hidden = can.Hidden;
        return true;
    }

    int Get()
    {
        int code = 0;
        if (!Connect(ModuleModes::Configuration, code))
            return code;
        TProfile profile;
        int32_t hidden = 0;
        if (!ReadModule(profile, hidden, code))
            return code;
        if (const QStringList faults = Profiles::ModuleFaults(profile); !faults.isEmpty())
            return Fail(CliExit::ModuleFault,
                        QStringLiteral("the module reported values outside their lists: %1").arg(faults.join(", ")));
        const QByteArray json = Profiles::WriteProfile(profile);
        if (m_o.OutputFile.isEmpty()) {
            outRaw(json);
            return CliExit::Ok;
        }
        // Written beside and renamed over, so a full disk never leaves half a profile.
        QSaveFile file(m_o.OutputFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
            return Fail(CliExit::Usage, QStringLiteral("cannot write %1: %2").arg(m_o.OutputFile, file.errorString()));
        return CliExit::Ok;
    }

    int Set()
    {
        QByteArray json;
        QString problem;
        switch (ReadProfileInput(m_o.ProfileFile, m_interrupt, json, problem)) {
        case TProfileInput::Read: break;
        case TProfileInput::Refused: return Fail(CliExit::Usage, problem);
        case TProfileInput::Interrupted: return FailInterrupted();
        }
        TProfile profile;
        QStringList problems;
        if (!Profiles::ParseProfile(json, profile, problems)) {
            // Checked as a whole before the port is even opened: nothing is written.
            if (m_o.Json)
                outJson({{"ok", false}, {"error", QStringLiteral("bad profile")},
                         {"problems", QJsonArray::fromStringList(problems)}, {"exit_code", CliExit::Usage}});
            for (const QString &p : problems)
                err(m_o.ProfileFile + QStringLiteral(": ") + p);
            return CliExit::Usage;
        }
        return WriteProfile(profile, false);
    }

    // Writes `profile` and compares the read-back. A profile keeps the module's hidden CAN
    // digit; the defaults put 0 there.
    int WriteProfile(const TProfile &profile, bool defaults)
    {
        int code = 0;
        if (!Connect(ModuleModes::Configuration, code))
            return code;
        // The window reads the settings on connecting; the hidden digit is written back from it.
        TProfile before;
        int32_t moduleHidden = 0;
        if (!ReadModule(before, moduleHidden, code))
            return code;
        const int level = m_info.FirmwareLevel;
        // The page's rules, as the window runs them on opening a profile; every value they
        // change is told, so the read-back's verdict surprises no one.
        QList<Profiles::TAdjustment> adjusted;
        const TProfile expected = Profiles::ApplyPageRules(profile, level, &adjusted);
        for (const Profiles::TAdjustment &a : adjusted) {
            err(QStringLiteral("%1: adjusted %2").arg(defaults ? QStringLiteral("defaults") : m_o.ProfileFile,
                                                      Profiles::AdjustmentText(a)));
            m_adjusted.append(QJsonObject{{"key", a.Key}, {"from", a.From}, {"to", a.To}, {"why", a.Why}});
        }
        TRS232Write rs232;
        TCanWrite can;
        Profiles::ToWrites(expected, defaults ? 0 : moduleHidden, rs232, can);
        if (!IsCompleteCanWrite(can))
            return Fail(CliExit::ModuleFault,
                        QStringLiteral("the module's hidden CAN parameter reads %1, outside 0 to F: nothing was written")
                            .arg(can.Hidden));

        TModuleSession &session = m_link.Session();
        const TWriteResult written = defaults ? session.WriteDefaults(level) : session.WriteSettings(rs232, can, level);
        if (Interrupted())
            return FailInterrupted();
        if (!written.Ok()) {
            auto said = [](const TWriteStep &step) {
                if (!step.Sent)
                    return QStringLiteral("could not be sent");
                if (step.Reply.isEmpty())
                    return QStringLiteral("got no reply");
                return QStringLiteral("got \"%1\"").arg(QString::fromLatin1(step.Reply).trimmed());
            };
            QStringList parts;
            if (!written.RS232.Confirmed)
                parts << QStringLiteral("the RS-232 settings (\"$P0\") %1").arg(said(written.RS232));
            if (!written.Can.Confirmed)
                parts << QStringLiteral("the CAN settings (\"$P1\") %1").arg(said(written.Can));
            return Fail(CliExit::ModuleFault,
                        ModuleTexts::SettingVerdict(false) + QLatin1Char(' ') + parts.join(QStringLiteral("; ")));
        }

        TProfile back;
        int32_t backHidden = 0;
        if (!ReadModule(back, backHidden, code))
            return code;
        QStringList differing = Profiles::DifferingKeys(expected, back, level);
        QJsonArray diffs;
        for (const QString &key : differing)
            diffs.append(QJsonObject{{"key", key},
                                     {"written", Profiles::ValueText(expected, key)},
                                     {"module", Profiles::ValueText(back, key)}});
        if (m_o.Json) {
            outJson({{"ok", differing.isEmpty()},
                     {"confirmed", true},
                     {"firmware_level", level},
                     {"short_form", level < 2},
                     {"differing", diffs},
                     {"adjusted", m_adjusted},
                     {"exit_code", differing.isEmpty() ? CliExit::Ok : CliExit::ModuleFault}});
        } else {
            // One verdict: a write the module confirmed but does not hold is no success.
            if (differing.isEmpty()) {
                out(ModuleTexts::SettingVerdict(true).toUtf8() + " (confirmed \"!P0\" and \"!P1\")");
                out("read back: the module holds what was written");
            } else {
                out(ModuleTexts::SettingVerdict(false).toUtf8() +
                    " (confirmed \"!P0\" and \"!P1\", but the module holds something else)");
            }
            for (const QString &key : differing)
                out(QStringLiteral("differs: %1: written \"%2\", module holds \"%3\"")
                        .arg(key, Profiles::ValueText(expected, key), Profiles::ValueText(back, key))
                        .toUtf8());
        }
        if (!differing.isEmpty()) {
            err(QStringLiteral("the module confirmed the write but holds something else: %1").arg(differing.join(", ")));
            return CliExit::ModuleFault;
        }
        return CliExit::Ok;
    }

    // --dbc FILE...: all or nothing, before any port is opened.
    bool LoadDatabases(int &code)
    {
        for (const QString &path : m_o.DbcFiles) {
            QString error;
            if (!m_database.LoadFile(path, error)) {
                code = Fail(CliExit::Usage, error);
                return false;
            }
        }
        return true;
    }

    // MESSAGE SIGNAL=VALUE... -> the composer's line for it; false with `code` set.
    bool EncodeMessageLine(QString &line, int &code)
    {
        const QString name = m_o.Lines.first();
        const TDbcMessage *message = m_database.FindByName(name);
        if (!message) {
            code = Fail(CliExit::Usage, QStringLiteral("no message %1 in the database").arg(name));
            return false;
        }
        QHash<QString, double> values;
        for (const QString &pair : m_o.Lines.mid(1)) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            bool ok = false;
            const double value = eq > 0 ? pair.mid(eq + 1).trimmed().toDouble(&ok) : 0; // C locale, always
            if (!ok) {
                code = Fail(CliExit::Usage, QStringLiteral("expected SIGNAL=VALUE with a number, found \"%1\"").arg(pair));
                return false;
            }
            values.insert(pair.left(eq).trimmed(), value);
        }
        if (message->Dlc > 8) {
            code = Fail(CliExit::Usage, QStringLiteral("%1 has %2 bytes; the module sends at most 8").arg(name).arg(message->Dlc));
            return false;
        }
        QByteArray data;
        QString error;
        if (!EncodeSignals(*message, values, data, error)) {
            code = Fail(CliExit::Usage, error);
            return false;
        }
        TComposerFields fields;
        fields.IdText = QString::number(message->Id, 16).toUpper();
        fields.ModeText = message->Extended ? QStringLiteral("1") : QStringLiteral("0");
        fields.RtrText = QStringLiteral("0");
        fields.DlcText = QString::number(message->Dlc);
        for (qsizetype i = 0; i < data.size() && i < 8; ++i)
            fields.Data[i] = uint8_t(data[i]);
        line = ComposeMessageLine(fields);
        return true;
    }

    int Send()
    {
        int code = 0;
        QStringList lines = m_o.Lines;
        if (!m_o.DbcFiles.isEmpty()) {
            QString line;
            if (!LoadDatabases(code) || !EncodeMessageLine(line, code))
                return code;
            lines = QStringList{line};
        }
        if (!Connect(ModuleModes::Operation, code))
            return code;
        for (const QString &text : lines) {
            if (Interrupted())
                return FailInterrupted();
            // Checked with the arguments: no CR, nothing outside Latin-1.
            const QByteArray line = text.toLatin1();
            if (!m_link.SendLine(line, m_info.UseChecksum))
                return Fail(CliExit::ModuleFault, QStringLiteral("%1 (%2)").arg(ModuleTexts::SendFailed(), text));
        }
        return CliExit::Ok;
    }


    // The format of monitor -o FILE: its name's ending, else --format's.
    bool RecordingFormat(TLogFormat &format) const
    {
        if (LogFormatForFileName(m_o.OutputFile, format))
            return true;
        if (!m_o.FormatGiven || m_o.Format == TMonitorFormat::Lines || m_o.Format == TMonitorFormat::Json)
            return false;
        format = LogFormatOf(m_o.Format);
        return true;
    }

    int Monitor()
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
                return Fail(CliExit::Usage, QStringLiteral("-o %1: name the file .log (candump), .csv, .raw, .pcap, .asc "
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
        int64_t count = 0;
        // The window's splitter: a line ends at its CR, a line feed beside it included.
        TLineSplitter splitter;
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
        if (!recording)
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
        if (m_link.LineLost())
            return Fail(CliExit::ModuleFault, ModuleTexts::ConnectionLost(m_link.PortName()));
        return CliExit::Ok;
    }

    // Runs the event loop, draining what the module sends, until `done`, the time is up, Ctrl+C,
    // or the line is lost.
    void RunUntil(const std::function<bool()> &done)
    {
        bool timeUp = false;
        QTimer timer;
        if (m_o.Seconds > 0) {
            // Precise: a coarse timer may end a 20 s run a second late, and the counts with it.
            timer.setTimerType(Qt::PreciseTimer);
            timer.setSingleShot(true);
            QObject::connect(&timer, &QTimer::timeout, [&timeUp] { timeUp = true; });
            timer.start(int(std::min(m_o.Seconds * 1000.0, 2147483647.0)));
        }
        while (!timeUp && !Interrupted() && !m_link.LineLost() && !done())
            m_link.WaitAndRead();
    }

    int LostOrFailed()
    {
        // A write that finds the device gone closes the port at once but reports the loss only
        // from the event loop: a closed port is the loss already.
        if (m_link.LineLost() || !m_link.Port().Opened())
            return Fail(CliExit::ModuleFault, ModuleTexts::ConnectionLost(m_link.PortName()));
        return Fail(CliExit::ModuleFault, ModuleTexts::SendFailed());
    }

    int Transmit()
    {
        QFile file(m_o.ListFile);
        if (!file.open(QIODevice::ReadOnly))
            return Fail(CliExit::Usage, QStringLiteral("cannot read %1: %2").arg(m_o.ListFile, file.errorString()));
        QList<TTransmitRow> rows;
        QStringList problems;
        if (!TransmitLists::ParseTransmitList(file.readAll(), rows, problems))
            return Fail(CliExit::Usage, QStringLiteral("%1: %2").arg(m_o.ListFile, problems.join(QStringLiteral("; "))));
        int code = 0;
        if (!LoadDatabases(code))
            return code;
        if (!TransmitDbc::ResolveRows(rows, m_o.DbcFiles.isEmpty() ? nullptr : &m_database, problems))
            return Fail(CliExit::Usage, QStringLiteral("%1: %2").arg(m_o.ListFile, problems.join(QStringLiteral("; "))));
        if (!Connect(ModuleModes::Operation, code))
            return code;

        bool failed = false;
        TTransmitRunner runner(SteadyClockUs, [this](const QByteArray &line) { return m_link.SendLine(line, m_info.UseChecksum); });
        QObject::connect(&runner, &TTransmitRunner::SendFailed, [&failed] { failed = true; });
        runner.SetRows(rows);
        const int64_t startUs = SteadyClockUs(); // the rows' grids begin here
        // Rows sent only on demand go out once, at the start.
        for (int i = 0; i < rows.size() && !failed; ++i)
            if (rows[i].Enabled && rows[i].PeriodMs == 0)
                runner.SendNow(i);
        if (!failed)
            runner.Start();
        RunUntil([&] { return failed || !runner.Running(); });
        runner.Stop();
        const double seconds = double(SteadyClockUs() - startUs) / 1e6;
        if (m_o.Json) {
            QJsonArray list;
            for (int i = 0; i < rows.size(); ++i)
                list.append(QJsonObject{{"index", i}, {"name", rows[i].Name}, {"id", rows[i].Id},
                                        {"enabled", rows[i].Enabled}, {"sent", qint64(runner.Sent(i))}});
            outJson({{"ok", !failed && !m_link.LineLost()}, {"seconds", seconds}, {"messages", list}});
        } else {
            for (int i = 0; i < rows.size(); ++i)
                out(QStringLiteral("%1 %2%3: %4 sent")
                        .arg(i)
                        .arg(rows[i].Id, rows[i].Name.isEmpty() ? QString() : QStringLiteral(" ") + rows[i].Name)
                        .arg(runner.Sent(i))
                        .toUtf8());
        }
        if (failed || m_link.LineLost())
            return LostOrFailed();
        return CliExit::Ok;
    }

    int Play()
    {
        QVector<TLogFrame> frames;
        QString problem;
        if (!ReadCandumpFile(m_o.LogFile, frames, problem))
            return Fail(CliExit::Usage, problem);
        TReplayOptions options;
        options.Speed = m_o.Speed;
        options.Fast = m_o.Fast;
        options.Loops = m_o.Loops;
        ParseIdRanges(m_o.Ids, options.Ids, nullptr);
        int code = 0;
        if (!Connect(ModuleModes::Operation, code))
            return code;
        options.LineBytesPerSecond = TransmitRows::LineCapacityBytesPerSecond(m_o.Baud);
        options.WithChecksum = m_info.UseChecksum;

        bool finished = false;
        bool failed = false;
        TReplayRunner runner(frames, options, SteadyClockUs,
                             [this](const QByteArray &line) { return m_link.SendLine(line, m_info.UseChecksum); });
        QObject::connect(&runner, &TReplayRunner::Finished, [&](bool f) {
            finished = true;
            failed = f;
        });
        runner.Start();
        RunUntil([&] { return finished; });
        runner.Stop();
        const TReplayClock &c = runner.Clock();
        out(QStringLiteral("%1 frames sent, %2 skipped (CAN FD or error frames), %3 not chosen")
                .arg(c.Sent())
                .arg(c.Skipped())
                .arg(c.NotChosen())
                .toUtf8());
        if (failed || m_link.LineLost())
            return LostOrFailed();
        return CliExit::Ok;
    }

    // A candump log decoded with the databases; no port.
    int Decode()
    {
        int code = 0;
        if (!LoadDatabases(code))
            return code;
        QVector<TLogFrame> frames;
        QString error;
        if (!ReadCandumpFile(m_o.LogFile, frames, error))
            return Fail(CliExit::Usage, error);
        const bool csv = m_o.Format == TMonitorFormat::Csv;
        if (csv)
            outRaw(SignalCsvHeader());
        uint64_t leftOut = 0;
        QByteArray chunk;
        for (const TLogFrame &f : frames) {
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
            line.dlc = f.Dlc;
            std::memcpy(line.data, f.Data.constData(), size_t(f.Data.size()));
            if (csv) {
                chunk += SignalCsvRecords(f.TimeUs, line, m_database);
            } else {
                chunk += FrameJsonRecord(f.TimeUs, {}, line, &m_database);
                chunk += '\n';
            }
            if (chunk.size() > 65536) {
                outRaw(chunk);
                chunk.clear();
            }
        }
        outRaw(chunk);
        if (leftOut > 0)
            err(QStringLiteral("%1 CAN FD or error frame(s) were left out").arg(leftOut));
        return CliExit::Ok;
    }

    // The socketcand server over the module's lines until Ctrl+C or the module is lost.
    int Serve()
    {
        TServeOptions options;
        options.channel = m_o.Channel.toLatin1();
        // Never after the line is lost: the port component would try to open the device again.
        TSocketcandServer server(options, [this](const QByteArray &line) {
            return !m_link.LineLost() && m_link.SendLine(line, m_info.UseChecksum);
        });
        QString problem;
        // Bound before the module is asked anything: a taken address costs the module nothing.
        if (!server.Listen(m_o.Listen.address, m_o.Listen.port, problem))
            return Fail(CliExit::PortFault, QStringLiteral("cannot listen on %1: %2")
                                                .arg(ListenText(m_o.Listen.address, m_o.Listen.port), problem));
        int code = 0;
        if (!Connect(ModuleModes::Operation, code))
            return code;
        if (const QString warning = ListenWarning(m_o.Listen); !warning.isEmpty())
            err(warning);
        out(QStringLiteral("serving channel %1 on %2 (socketcand, raw mode); Ctrl+C ends")
                .arg(m_o.Channel, ListenText(m_o.Listen.address, server.Port()))
                .toUtf8());

        TLineSplitter splitter;
        const TLineSplitter::Sink publish = [&](const TLine &line) {
            // A frame whose checksum is wrong was garbled on the way: as in candump logs, no
            // client gets it.
            const TDecodedLine frame = DecodeLine(line.text.data(), line.text.size());
            if (!IsBadFrame(frame))
                if (const QByteArray text = Socketcand::FormatFrame(frame, line.timeUs); !text.isEmpty())
                    server.Publish(text);
        };
        // What came after the probe's reply in the same read is the first of the stream.
        splitter.Feed(m_info.Leftover, nowUs(), publish);
        server.Flush();
        while (!Interrupted() && !m_link.LineLost()) {
            const QByteArray bytes = m_link.WaitAndRead(); // before the time is taken
            splitter.Feed(bytes, nowUs(), publish);
            server.Flush();
        }
        if (m_link.LineLost()) {
            const QString lost = ModuleTexts::ConnectionLost(m_link.PortName());
            server.CloseAll("the module is lost: " + lost.toLatin1());
            return Fail(CliExit::ModuleFault, lost);
        }
        server.CloseAll(QByteArray());
        return FailInterrupted();
    }

    const TCliOptions &m_o;
    TInterrupt *m_interrupt;
    TDbcDatabase m_database;
    TModuleLink m_link;
    TModuleInfo m_info;
    QJsonArray m_adjusted; // what the page's rules changed in the profile written
};

} // namespace

int RunCliCommand(const TCliOptions &options, TInterrupt *interrupt)
{
    TCommandRun run(options, interrupt);
    const int code = run.Run();
    // Output that could not be written makes a success a failure.
    if (StdOut::Failed()) {
        err(StdOut::Problem());
        return code == CliExit::Ok ? CliExit::ModuleFault : code;
    }
    return code;
}
