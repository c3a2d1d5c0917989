#include "cli/ModuleLink.h"

#include "cli/Interrupt.h"
#include "cli/PortError.h"
#include "protocol/Framing.h"
#include "protocol/ModuleModes.h"
#include "protocol/ProbeReply.h"
#include "serial/PortName.h"

TModuleLink::TModuleLink(const QString &port, int32_t baud, int32_t timeoutMs, TInterrupt *interrupt)
    : m_interrupt(interrupt)
{
    TPortChoice choice;
    ParsePortText(port, choice);
    if (choice.DevicePath.isEmpty())
        m_port.setPort(choice.Port);
    else
        m_port.setDevicePath(choice.DevicePath);
    m_port.setBaud(baud);
    m_port.setHandshaking(hsNone);
    m_port.setEndOfResponse(QStringLiteral("#13"));
    m_port.setResponseTime(uint32_t(timeoutMs));
    m_port.setShowErrors(false);
    // Waits run the event loop, so Ctrl+C is seen while a reply is awaited.
    m_port.setAllowEvents(true);
    m_port.OnLineLost = [this](QObject *) { m_lineLost = true; };
}

bool TModuleLink::Open(QString &problem)
{
    if (m_port.Open())
        return true;
    problem = PortOpenProblem(m_port.PortName());
    return false;
}

QByteArray TModuleLink::Exchange(const QByteArray &line)
{
    if (m_interrupt && m_interrupt->Requested())
        return QByteArray();
    m_port.SendCommand(line);
    return m_port.ReadResponse();
}

bool TModuleLink::Connect(TModuleInfo &info, QString &problem)
{
    const QString port = m_port.DisplayName();
    info = TModuleInfo();
    auto takeVersion = [&info](const QByteArray &reply) {
        info.FirmwareVersion = FirmwareVersionOf(reply);
        info.FirmwareLevel = FirmwareLevelOf(reply);
        // What followed the reply in the same read belongs to the module's first lines.
        if (const qsizetype cr = reply.indexOf(Framing::CR); cr >= 0)
            info.Leftover = reply.mid(cr + 1);
    };

    const QByteArray reply = Exchange(Framing::FrameLine("#A", false));
    switch (JudgeProbeReply(reply, m_port.Baud())) {
    case TProbeVerdict::TooLong:
        problem = QStringLiteral("Please remove the CAN connector when connecting!!!");
        return false;
    case TProbeVerdict::Configuration:
        takeVersion(reply);
        info.Mode = ModuleModes::Configuration;
        // The identification of the window's connect: version, maker, model.
        if (const QByteArray v = Exchange(Framing::FrameLine("#PV", false)); !v.isEmpty())
            info.FirmwareVersion = VersionReplyText(v);
        if (const QByteArray c = Exchange(Framing::FrameLine("#PC", false)); !c.isEmpty())
            info.Maker = MakerReplyText(c);
        if (const QByteArray m = Exchange(Framing::FrameLine("#PM", false)); !m.isEmpty())
            info.Model = ModelReplyText(m);
        info.Identified = true;
        return true;
    case TProbeVerdict::OperationAsS:
    case TProbeVerdict::Operation:
        takeVersion(reply);
        info.Mode = ModuleModes::Operation;
        return true;
    case TProbeVerdict::Failed:
        problem = QStringLiteral("Timeout!!! ") + port + QStringLiteral(" Connect Failed!");
        return false;
    case TProbeVerdict::TryChecksummed:
        break;
    }

    const QByteArray checked = Exchange(Framing::FrameLine("#A", true));
    switch (JudgeChecksummedProbeReply(checked)) {
    case TProbeVerdict::TooLong:
        problem = QStringLiteral("Remove the CAN Connector When Connecting!!!");
        return false;
    case TProbeVerdict::Operation:
        takeVersion(checked);
        info.Mode = ModuleModes::Operation;
        info.UseChecksum = true;
        return true;
    default:
        problem = port + QStringLiteral(" Connect Failed!");
        return false;
    }
}

bool TModuleLink::ReadSettings(int firmwareLevel, TRS232Settings &rs232, TCanSettings &can, QString &problem)
{
    const QByteArray p0 = Exchange(Framing::FrameLine("#P0", false));
    if (p0.isEmpty() || !DecodeRS232Reply(p0, rs232)) {
        problem = QStringLiteral("Get Module COM Setting Error!");
        return false;
    }
    const QByteArray p1 = Exchange(Framing::FrameLine("#P1", false));
    if (p1.isEmpty() || !DecodeCanReply(p1, firmwareLevel, can)) {
        problem = QStringLiteral("Get Module CAN Setting Error!");
        return false;
    }
    return true;
}

TWriteResult TModuleLink::WriteSettings(const TRS232Write &rs232, const TCanWrite &can, int firmwareLevel)
{
    TWriteResult r;
    if (IsCompleteRS232Write(rs232) && !(m_interrupt && m_interrupt->Requested())) {
        r.RS232Sent = m_port.SendCommand(Framing::FrameLine(BuildRS232Command(rs232), true));
        if (r.RS232Sent) {
            r.RS232Reply = m_port.ReadResponse();
            r.RS232Confirmed = r.RS232Reply.startsWith("!P0");
        }
    }
    if (IsCompleteCanWrite(can) && !(m_interrupt && m_interrupt->Requested())) {
        r.CanSent = m_port.SendCommand(Framing::FrameLine(BuildCanCommand(can, firmwareLevel), true));
        if (r.CanSent) {
            r.CanReply = m_port.ReadResponse();
            r.CanConfirmed = r.CanReply.startsWith("!P1");
        }
    }
    return r;
}

bool TModuleLink::SendLine(const QByteArray &line, bool withChecksum)
{
    return m_port.SendCommand(Framing::FrameLine(line, withChecksum));
}

QByteArray TModuleLink::WaitAndRead()
{
    m_port.WaitForInputOrEvents();
    const int count = m_port.InCount();
    if (count <= 0)
        return QByteArray();
    // With no terminator the port hands over exactly what is queued, without waiting.
    const QString terminator = m_port.EndOfResponse();
    m_port.setEndOfResponse(QString());
    const QByteArray bytes = m_port.ReadResponse();
    m_port.setEndOfResponse(terminator);
    return bytes;
}
