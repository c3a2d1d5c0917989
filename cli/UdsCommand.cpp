// uds: one diagnostic request over ISO-TP and its answer, read as UDS.

#include "cli/CommandRun.h"
#include "cli/ProtocolOutput.h"
#include "monitor/LineSplitter.h"
#include "protocol/CanIdentifier.h"
#include "protocol/MessageLine.h"
#include "protocol/ModuleModes.h"
#include "protocols/IsoTpClient.h"
#include "protocols/Uds.h"
#include "transmit/TransmitRunner.h"

#include <QJsonArray>
#include <QTimer>

#include <algorithm>

using namespace Cli;

namespace {

// How long an ECU may take once it said "response pending" (UDS's P2* default).
constexpr int64_t PendingWaitUs = 5000000;

QByteArray lineOf(const TBusFrame &f)
{
    TComposerFields fields;
    fields.IdText = QString::number(f.Id, 16).toUpper().rightJustified(CanId::Digits(f.Extended), QLatin1Char('0'));
    fields.ModeText = f.Extended ? QStringLiteral("1") : QStringLiteral("0");
    fields.RtrText = QStringLiteral("0");
    fields.DlcText = QString::number(f.Dlc);
    for (int i = 0; i < 8; ++i)
        fields.Data[i] = f.Data[i];
    return ComposeMessageLine(fields).toLatin1();
}

QString idText(uint32_t id, bool extended)
{
    return QString::number(id, 16).toUpper().rightJustified(CanId::Digits(extended), QLatin1Char('0'));
}

} // namespace

int TCommandRun::Uds()
{
    TIsoTpClientOptions options;
    options.Tx = m_o.UdsTx;
    options.Rx = m_o.UdsRx;
    options.Extended = m_o.UdsExtended;
    options.Functional = options.Extended ? (options.Tx & 0x1FFF0000u) == 0x18DB0000u : options.Tx == 0x7DF;
    TIsoTpClient client(options);

    int code = 0;
    if (!Connect(ModuleModes::Operation, code))
        return code;
    QString problem;
    if (!client.Start(m_o.UdsRequest, SteadyClockUs(), problem))
        return Fail(CliExit::Usage, problem);

    const int64_t timeoutUs = int64_t(m_o.TimeoutMs) * 1000;
    int64_t deadline = SteadyClockUs() + timeoutUs;
    QList<TIsoTpAnswer> finals;
    int pending = 0;
    TLineSplitter splitter;
    const TLineSplitter::Sink take = [&](const TLine &line) {
        const TDecodedLine frame = DecodeLine(line.text.data(), line.text.size());
        if (!IsCanFrame(frame.kind) || frame.checksum == TChecksum::Wrong)
            return;
        QList<TIsoTpAnswer> got;
        client.Feed(BusFrameOf(frame, SteadyClockUs()), got);
        for (const TIsoTpAnswer &a : got) {
            const TUdsMeaning m = DescribeUds(a.Payload, true);
            if (m.Pending) {
                ++pending;
                err(QStringLiteral("%1: response pending").arg(idText(a.From, options.Extended)));
                deadline = qMax(deadline, SteadyClockUs() + PendingWaitUs);
            } else {
                finals << a;
            }
        }
    };
    splitter.Feed(m_info.Leftover, SteadyClockUs(), take);

    QTimer wake; // ends the wait for bytes when a frame is due or the time is up
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const int64_t now = SteadyClockUs();
        for (const TBusFrame &f : client.TakeDue(now))
            if (m_link.LineLost() || !m_link.SendLine(lineOf(f), m_info.UseChecksum))
                return LostOrFailed();
        if (!client.Fault().isEmpty())
            return Fail(CliExit::ModuleFault, client.Fault());
        if (Interrupted())
            return FailInterrupted();
        if (m_link.LineLost())
            return LostOrFailed();
        // A physical request has one answer; a functional one collects them until the time is up.
        if ((!options.Functional && !finals.isEmpty()) || now >= deadline)
            break;
        const int64_t due = client.NextDueUs();
        const int64_t until = due >= 0 ? qMin(due, deadline) : deadline;
        wake.start(int(std::clamp<int64_t>((until - now + 999) / 1000, 0, 3600000)));
        splitter.Feed(m_link.WaitAndRead(), SteadyClockUs(), take);
    }

    int positive = 0, negative = 0;
    QJsonArray list;
    for (const TIsoTpAnswer &a : finals) {
        const TUdsMeaning m = DescribeUds(a.Payload, true);
        (m.Nrc >= 0 ? negative : positive)++;
        if (m_o.Json) {
            QJsonObject o{{"from", idText(a.From, options.Extended)},
                          {"data", QString::fromLatin1(a.Payload.toHex().toUpper())},
                          {"meaning", m.Text},
                          {"positive", m.Nrc < 0}};
            if (m.Nrc >= 0)
                o.insert(QStringLiteral("nrc"), m.Nrc);
            list.append(o);
        } else {
            out(QStringLiteral("%1: %2").arg(idText(a.From, options.Extended), m.Text).toUtf8());
            out(QStringLiteral("  %1").arg(HexBytes(a.Payload)).toUtf8());
        }
    }
    const int exit = finals.isEmpty() ? CliExit::NoAnswer : negative > 0 ? CliExit::ModuleFault : CliExit::Ok;
    if (m_o.Json)
        outJson({{"ok", exit == CliExit::Ok}, {"answers", list}, {"pending", pending}, {"exit_code", exit}});
    if (finals.isEmpty())
        err(QStringLiteral("no answer from %1 within %2 ms")
                .arg(options.Functional ? QStringLiteral("any ECU") : idText(options.Rx, options.Extended))
                .arg(m_o.TimeoutMs));
    return exit;
}
