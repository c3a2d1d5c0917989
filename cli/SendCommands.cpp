// send, transmit and play: lines, transmit lists and logs to the bus.

#include "cli/CommandRun.h"
#include "cli/Interrupt.h"
#include "common/InputFile.h"
#include "logs/LogReader.h"
#include "transmit/ReplayStream.h"
#include "dbc/SignalCodec.h"
#include "monitor/CandumpLog.h"
#include "protocol/MessageLine.h"
#include "protocol/ModuleModes.h"
#include "transmit/ReplayRunner.h"
#include "transmit/TransmitDbc.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitRunner.h"

#include <QJsonArray>

using namespace Cli;

// MESSAGE SIGNAL=VALUE... -> the composer's line for it; false with `code` set.
bool TCommandRun::EncodeMessageLine(QString &line, int &code)
{
    const QString name = m_o.Lines.first();
    const TDbcMessage *message = m_database.FindByName(name);
    if (!message) {
        code = Fail(CliExit::Usage, QStringLiteral("no message %1 in the database").arg(name));
        return false;
    }
    QList<QPair<QString, QString>> values;
    for (const QString &pair : m_o.Lines.mid(1)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            code = Fail(CliExit::Usage, QStringLiteral("expected SIGNAL=VALUE, found \"%1\"").arg(pair));
            return false;
        }
        values.append({pair.left(eq).trimmed(), pair.mid(eq + 1)});
    }
    if (message->Dlc > 8) {
        code = Fail(CliExit::Usage, QStringLiteral("%1 has %2 bytes; the module sends at most 8").arg(name).arg(message->Dlc));
        return false;
    }
    QByteArray data;
    QString error;
    if (!EncodeSignalTexts(*message, values, data, error)) {
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

int TCommandRun::Send()
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
        if (!m_link.SendLine(line, m_info.UseChecksum)) {
            if (m_link.LineLost())
                return Fail(CliExit::ModuleFault, ModuleTexts::ConnectionLost(m_link.PortName()));
            return Fail(CliExit::ModuleFault, QStringLiteral("%1 (%2)").arg(ModuleTexts::SendFailed(), text));
        }
    }
    return CliExit::Ok;
}

namespace {

// "0 123 Heartbeat": the row's number, identifier and name, as the counts print it.
QString RowTitle(int index, const TTransmitRow &row)
{
    QString title = QStringLiteral("%1 %2").arg(index).arg(row.Id);
    if (!row.Name.isEmpty())
        title += QLatin1Char(' ') + row.Name;
    else if (!row.Message.isEmpty())
        title += QLatin1Char(' ') + row.Message;
    return title;
}

// The rows --send NAME names, in the order given: a row's name, else its database message.
// False with `problem` set for a name no on-demand row has.
bool FindOnDemandRows(const QList<TTransmitRow> &rows, const QStringList &names, QList<int> &found, QString &problem)
{
    for (const QString &name : names) {
        int match = -1;
        for (int i = 0; i < rows.size() && match < 0; ++i)
            if (rows[i].Name == name)
                match = i;
        for (int i = 0; i < rows.size() && match < 0; ++i)
            if (rows[i].Name.isEmpty() && rows[i].Message == name)
                match = i;
        if (match < 0) {
            problem = QStringLiteral("--send %1: no row of the list has that name").arg(name);
            return false;
        }
        if (rows[match].PeriodMs != 0) {
            problem = QStringLiteral("--send %1: the row runs every %2 ms; --send takes rows sent only on demand "
                                     "(period 0)")
                          .arg(name)
                          .arg(rows[match].PeriodMs);
            return false;
        }
        found << match;
    }
    return true;
}

} // namespace

int TCommandRun::Transmit()
{
    QByteArray json;
    QString problem;
    switch (ReadInputFile(m_o.ListFile, TInputKind::TransmitList, json, problem, m_interrupt)) {
    case TInputResult::Read: break;
    case TInputResult::Refused: return Fail(CliExit::Usage, problem);
    case TInputResult::Interrupted: return FailInterrupted();
    }
    QList<TTransmitRow> rows;
    QStringList problems;
    if (!TransmitLists::ParseTransmitList(json, rows, problems))
        return Fail(CliExit::Usage, QStringLiteral("%1: %2").arg(m_o.ListFile, problems.join(QStringLiteral("; "))));
    int code = 0;
    if (!LoadDatabases(code))
        return code;
    if (!TransmitDbc::ResolveRows(rows, m_o.DbcFiles.isEmpty() ? nullptr : &m_database, problems))
        return Fail(CliExit::Usage, QStringLiteral("%1: %2").arg(m_o.ListFile, problems.join(QStringLiteral("; "))));
    QList<int> onDemand;
    if (!FindOnDemandRows(rows, m_o.SendRows, onDemand, problem))
        return Fail(CliExit::Usage, problem);
    if (!Connect(ModuleModes::Operation, code))
        return code;

    // What the list asks of the line, as the window shows it before a run.
    const double load = TransmitRows::LoadBytesPerSecond(rows, m_info.UseChecksum);
    const double capacity = TransmitRows::LineCapacityBytesPerSecond(m_o.Baud);
    err(TransmitRows::LoadText(load, capacity) + QStringLiteral(" (%1 %)").arg(qRound(100 * load / capacity)));
    if (load > capacity)
        err(QStringLiteral("the enabled rows ask for more than the line carries: rows will fall behind their periods"));

    bool failed = false;
    TTransmitRunner runner(SteadyClockUs, [this](const QByteArray &line) { return m_link.SendLine(line, m_info.UseChecksum); });
    QObject::connect(&runner, &TTransmitRunner::SendFailed, [&failed] { failed = true; });
    runner.SetRows(rows);
    const int64_t startUs = SteadyClockUs(); // the rows' grids begin here
    runner.Start();
    const bool periodic = runner.Running();
    // Rows sent only on demand go when asked, once each, after the periodic rows' first sends.
    if (periodic)
        runner.Tick();
    for (int i = 0; i < onDemand.size() && !failed; ++i)
        runner.SendNow(onDemand[i]);
    if (!failed && !periodic && onDemand.isEmpty())
        err(QStringLiteral("no enabled row has a period: nothing runs (rows with period 0 go with --send NAME)"));
    if (!failed)
        RunUntil([&] { return failed || !runner.Running(); });
    runner.Stop();
    const double seconds = double(SteadyClockUs() - startUs) / 1e6;

    // The rows that fell behind, the first few by name: a long list would bury the counts.
    constexpr int NamedBehind = 20;
    QStringList behind;
    int behindCount = 0;
    for (int i = 0; i < rows.size(); ++i)
        if (runner.Missed(i) > 0 && ++behindCount <= NamedBehind)
            behind << QStringLiteral("%1: %2 of %3 sent, %4 periods of %5 ms passed over")
                          .arg(RowTitle(i, rows[i]))
                          .arg(runner.Sent(i))
                          .arg(runner.Sent(i) + runner.Missed(i))
                          .arg(runner.Missed(i))
                          .arg(rows[i].PeriodMs);
    const bool lost = failed || m_link.LineLost() || !m_link.Port().Opened();
    // A loss is told once: in the one JSON object, or after the counts.
    const QString lostText = !lost ? QString()
                             : m_link.LineLost() || !m_link.Port().Opened() ? ModuleTexts::ConnectionLost(m_link.PortName())
                                                                              : ModuleTexts::SendFailed();
    if (m_o.Json) {
        QJsonArray list;
        for (int i = 0; i < rows.size(); ++i)
            list.append(QJsonObject{{"index", i}, {"name", rows[i].Name}, {"message", rows[i].Message},
                                    {"id", rows[i].Id}, {"enabled", rows[i].Enabled}, {"period_ms", rows[i].PeriodMs},
                                    {"sent", qint64(runner.Sent(i))}, {"missed", qint64(runner.Missed(i))}});
        QJsonObject o{{"ok", !lost}, {"seconds", seconds}, {"load_bytes_per_second", qRound64(load)},
                      {"line_bytes_per_second", qRound64(capacity)}, {"messages", list}};
        if (lost) {
            o.insert(QStringLiteral("error"), lostText);
            o.insert(QStringLiteral("exit_code"), CliExit::ModuleFault);
        }
        outJson(o);
    } else {
        for (int i = 0; i < rows.size(); ++i)
            out(QStringLiteral("%1: %2 sent").arg(RowTitle(i, rows[i])).arg(runner.Sent(i)).toUtf8());
    }
    if (behindCount > NamedBehind)
        behind << QStringLiteral("... and %1 rows more").arg(behindCount - NamedBehind);
    if (behindCount > 0)
        err(QStringLiteral("%1 of %2 rows fell behind their periods:\n  ")
                .arg(behindCount)
                .arg(rows.size()) +
            behind.join(QStringLiteral("\n  ")));
    if (lost) {
        err(lostText);
        return CliExit::ModuleFault;
    }
    return CliExit::Ok;
}

namespace {

// "1:02:03", "4:05" or "2.5 s".
QString WaitText(int64_t us)
{
    if (us < 60000000)
        return QStringLiteral("%1 s").arg(double(us) / 1e6, 0, 'f', 1);
    const int64_t s = us / 1000000;
    const QString minSec = QStringLiteral("%1:%2").arg(s / 60 % 60, s >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
                               .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= 3600 ? QStringLiteral("%1:%2").arg(s / 3600).arg(minSec) : minSec;
}

} // namespace

int TCommandRun::Play()
{
    // The log is read as it plays; its format and first bytes are checked before the port opens.
    QString problem;
    std::unique_ptr<TLogReader> reader = OpenLogReader(m_o.LogFile, problem, nullptr, m_interrupt);
    if (!reader)
        return Fail(CliExit::Usage, problem);
    if (m_o.LogFile == QLatin1String("-") && m_o.Loops != 1)
        return Fail(CliExit::Usage, QStringLiteral("--loop plays a file again: standard input is read once"));
    TReplayOptions options;
    options.Speed = m_o.Speed;
    options.Fast = m_o.Fast;
    options.Loops = m_o.Loops;
    options.MaxGapUs = m_o.MaxGapUs;
    ParseIdRanges(m_o.Ids, options.Ids, nullptr);
    int code = 0;
    if (!Connect(ModuleModes::Operation, code))
        return code;
    options.LineBytesPerSecond = TransmitRows::LineCapacityBytesPerSecond(m_o.Baud);
    options.WithChecksum = m_info.UseChecksum;

    bool finished = false;
    bool failed = false;
    TReplaySource source;
    source.next = [&reader](TLogFrame &f) { return reader->Next(f); };
    source.rewind = [&] {
        if (!reader->Problem().isEmpty())
            return false;
        reader = OpenLogReader(m_o.LogFile, problem, nullptr, m_interrupt);
        return reader != nullptr;
    };
    TReplayStream runner(source, options, SteadyClockUs,
                         [this](const QByteArray &line) { return m_link.SendLine(line, m_info.UseChecksum); });
    QObject::connect(&runner, &TReplayStream::Finished, [&](bool f) {
        finished = true;
        failed = f;
    });
    // The log is read as it plays: its length is known once it has been read to its end.
    const auto ofRun = [&runner] {
        const int64_t inRun = runner.FramesInRun();
        return inRun < 0 ? QString() : QStringLiteral(" of %1").arg(inRun);
    };
    // A long gap in the log is told, or the wait would look like a hang.
    QObject::connect(&runner, &TReplayStream::Waiting, [&](int64_t waitUs, int64_t frame) {
        err(QStringLiteral("waiting %1 for frame %2%3 (--max-gap shortens gaps)")
                .arg(WaitText(waitUs))
                .arg(frame)
                .arg(ofRun()));
    });
    runner.Start();
    RunUntil([&] { return finished; });
    const bool cutShort = !finished && Interrupted();
    runner.Stop();
    out(QStringLiteral("%1 frames sent, %2 skipped (CAN FD or error frames), %3 not chosen")
            .arg(runner.Sent())
            .arg(runner.Skipped())
            .arg(runner.NotChosen())
            .toUtf8());
    if (failed || m_link.LineLost())
        return LostOrFailed();
    if (cutShort) {
        err(QStringLiteral("%1: stopped after %2%3 frames").arg(m_interrupt->Word()).arg(runner.Sent()).arg(ofRun()));
        return m_interrupt->ExitCode();
    }
    if (!reader)
        return Fail(CliExit::Usage, problem);
    if (!reader->Problem().isEmpty())
        return Fail(CliExit::Usage, reader->Problem());
    return CliExit::Ok;
}
