// send, transmit and play: lines, transmit lists and logs to the bus.

#include "cli/CommandRun.h"
#include "cli/Interrupt.h"
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

#include <QFile>
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
    runner.Start();
    RunUntil([&] { return finished; });
    runner.Stop();
    out(QStringLiteral("%1 frames sent, %2 skipped (CAN FD or error frames), %3 not chosen")
            .arg(runner.Sent())
            .arg(runner.Skipped())
            .arg(runner.NotChosen())
            .toUtf8());
    if (failed || m_link.LineLost())
        return LostOrFailed();
    if (!reader)
        return Fail(CliExit::Usage, problem);
    if (!reader->Problem().isEmpty())
        return Fail(CliExit::Usage, reader->Problem());
    return CliExit::Ok;
}
