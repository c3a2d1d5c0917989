// send, transmit and play: lines, transmit lists and logs to the bus.

#include "cli/CommandRun.h"
#include "cli/Interrupt.h"
#include "common/InputFile.h"
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
        if (!m_link.SendLine(line, m_info.UseChecksum))
            return Fail(CliExit::ModuleFault, QStringLiteral("%1 (%2)").arg(ModuleTexts::SendFailed(), text));
    }
    return CliExit::Ok;
}

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

int TCommandRun::Play()
{
    QVector<TLogFrame> frames;
    QString problem;
    if (!ReadCandumpFile(m_o.LogFile, frames, problem, m_interrupt))
        return Interrupted() ? FailInterrupted() : Fail(CliExit::Usage, problem);
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
