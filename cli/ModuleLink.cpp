#include "cli/ModuleLink.h"

#include "cli/Interrupt.h"
#include "cli/PortError.h"
#include "protocol/Framing.h"
#include "protocol/ModuleModes.h"
#include "serial/PortName.h"

TModuleLink::TModuleLink(const QString &port, int32_t baud, int32_t timeoutMs, TInterrupt *interrupt)
    : m_interrupt(interrupt),
      m_session({[this](const QByteArray &line) { return !Interrupted() && m_port.SendCommand(line); },
                 [this] { return Interrupted() ? QByteArray() : m_port.ReadResponse(); }})
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

bool TModuleLink::Interrupted() const
{
    return m_interrupt && m_interrupt->Requested();
}

bool TModuleLink::Open(QString &problem)
{
    if (m_port.Open())
        return true;
    problem = PortOpenProblem(m_port.PortName());
    return false;
}

bool TModuleLink::Connect(TModuleInfo &info, QString &problem)
{
    const TModuleIdentity id = m_session.Identify(m_port.Baud(), m_port.DisplayName());
    info = TModuleInfo();
    if (!id.Decided()) {
        problem = id.Message;
        return false;
    }
    info.Mode = id.Verdict == TProbeVerdict::Configuration ? ModuleModes::Configuration : ModuleModes::Operation;
    info.FirmwareVersion = id.FirmwareVersion;
    info.FirmwareLevel = id.FirmwareLevel;
    info.UseChecksum = id.UseChecksum;
    info.Identified = id.Identified;
    info.Maker = id.Maker;
    info.Model = id.Model;
    info.Leftover = id.Leftover();
    return true;
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
