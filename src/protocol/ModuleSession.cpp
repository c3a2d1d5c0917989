#include "protocol/ModuleSession.h"

#include "protocol/Framing.h"
#include "protocol/Profile.h"

QByteArray TModuleIdentity::Leftover() const
{
    const qsizetype cr = Reply.indexOf(Framing::CR);
    return cr >= 0 ? Reply.mid(cr + 1) : QByteArray();
}

QString ModuleTexts::SettingVerdict(bool ok)
{
    return ok ? QStringLiteral("Setting OK!!!") : QStringLiteral("Setting Failed!!!");
}

QByteArray TModuleSession::Query(const QByteArray &command)
{
    // The reply is awaited even when the write failed, as the window always did: the wait is
    // where a lost line is reported.
    m_exchange.Send(Framing::FrameLine(command, false));
    return m_exchange.Receive();
}

TWriteStep TModuleSession::Write(const QByteArray &command, const char *confirmation)
{
    TWriteStep step;
    step.Sent = m_exchange.Send(Framing::FrameLine(command, true));
    if (step.Sent) {
        step.Reply = m_exchange.Receive();
        step.Confirmed = step.Reply.startsWith(confirmation);
    }
    return step;
}

TModuleIdentity TModuleSession::Probe(int32_t baud, const QString &port)
{
    TModuleIdentity id;
    auto takeVersion = [&id] {
        id.FirmwareVersion = FirmwareVersionOf(id.Reply);
        id.FirmwareLevel = FirmwareLevelOf(id.Reply);
    };

    id.Reply = Query("#A");
    id.Verdict = JudgeProbeReply(id.Reply, baud);
    switch (id.Verdict) {
    case TProbeVerdict::TooLong:
        id.Message = QStringLiteral("Please remove the CAN connector when connecting!!!");
        return id;
    case TProbeVerdict::Configuration:
    case TProbeVerdict::OperationAsS:
    case TProbeVerdict::Operation:
        takeVersion();
        return id;
    case TProbeVerdict::Failed:
        id.Message = QStringLiteral("Timeout!!! ") + port + QStringLiteral(" Connect Failed!");
        return id;
    case TProbeVerdict::TryChecksummed:
        break;
    }

    // No answer, or a refusal: the module may accept only checksummed commands.
    m_exchange.Send(Framing::FrameLine("#A", true));
    id.Reply = m_exchange.Receive();
    id.Verdict = JudgeChecksummedProbeReply(id.Reply);
    if (id.Verdict == TProbeVerdict::TooLong) {
        id.Message = QStringLiteral("Remove the CAN Connector When Connecting!!!");
    } else if (id.Verdict == TProbeVerdict::Operation) {
        takeVersion();
        id.UseChecksum = true;
    } else {
        id.Message = port + QStringLiteral(" Connect Failed!");
    }
    return id;
}

std::optional<QString> TModuleSession::Ask(TIdentityQuery query)
{
    switch (query) {
    case TIdentityQuery::Version:
        if (const QByteArray r = Query("#PV"); !r.isEmpty())
            return VersionReplyText(r);
        break;
    case TIdentityQuery::Maker:
        if (const QByteArray r = Query("#PC"); !r.isEmpty())
            return MakerReplyText(r);
        break;
    case TIdentityQuery::Model:
        if (const QByteArray r = Query("#PM"); !r.isEmpty())
            return ModelReplyText(r);
        break;
    }
    return std::nullopt;
}

TModuleIdentity TModuleSession::Identify(int32_t baud, const QString &port)
{
    TModuleIdentity id = Probe(baud, port);
    if (id.Verdict != TProbeVerdict::Configuration)
        return id;
    id.FirmwareVersion = Ask(TIdentityQuery::Version).value_or(id.FirmwareVersion);
    id.Maker = Ask(TIdentityQuery::Maker).value_or(id.Maker);
    id.Model = Ask(TIdentityQuery::Model).value_or(id.Model);
    id.Identified = true;
    return id;
}

TStepResult TModuleSession::ReadRS232(TRS232Settings &rs232)
{
    const QByteArray reply = Query("#P0");
    if (reply.isEmpty() || !DecodeRS232Reply(reply, rs232))
        return {false, QStringLiteral("Get Module COM Setting Error!")};
    return {true, QString()};
}

TStepResult TModuleSession::ReadCan(int firmwareLevel, TCanSettings &can)
{
    const QByteArray reply = Query("#P1");
    if (reply.isEmpty() || !DecodeCanReply(reply, firmwareLevel, can))
        return {false, QStringLiteral("Get Module CAN Setting Error!")};
    return {true, QString()};
}

TStepResult TModuleSession::ReadSettings(int firmwareLevel, TRS232Settings &rs232, TCanSettings &can)
{
    if (TStepResult r = ReadRS232(rs232); !r.Ok)
        return r;
    return ReadCan(firmwareLevel, can);
}

TWriteStep TModuleSession::WriteRS232(const TRS232Write &rs232)
{
    if (!IsCompleteRS232Write(rs232))
        return {};
    return Write(BuildRS232Command(rs232), "!P0");
}

TWriteStep TModuleSession::WriteCan(const TCanWrite &can, int firmwareLevel)
{
    if (!IsCompleteCanWrite(can))
        return {};
    return Write(BuildCanCommand(can, firmwareLevel), "!P1");
}

TWriteResult TModuleSession::WriteSettings(const TRS232Write &rs232, const TCanWrite &can, int firmwareLevel)
{
    TWriteResult r;
    r.RS232 = WriteRS232(rs232);
    r.Can = WriteCan(can, firmwareLevel);
    return r;
}

TWriteResult TModuleSession::WriteDefaults(int firmwareLevel)
{
    TRS232Write rs232;
    TCanWrite can;
    Profiles::DefaultWrites(firmwareLevel, rs232, can);
    return WriteSettings(rs232, can, firmwareLevel);
}
