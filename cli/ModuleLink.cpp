#include "cli/ModuleLink.h"

#include "cli/Interrupt.h"
#include "cli/PortError.h"
#include "monitor/LineSplitter.h"
#include "protocol/Framing.h"
#include "protocol/ModuleModes.h"
#include "serial/PortName.h"

namespace {

// How often a line the module stopped taking halfway is tried again.
constexpr int FinishRetryMs = 20;

} // namespace

QString WrongRateHint(int32_t baud)
{
    return QStringLiteral("no answer at %1 bit/s: the module's RS-232 rate may differ; try --baud with the module's "
                          "rate, or --no-probe")
        .arg(baud);
}

QString CutLinesNote(uint64_t count)
{
    return QStringLiteral("%1 line(s) longer than %2 bytes without a CR were cut: the module sends no such line; "
                          "is the baud rate right?")
        .arg(count)
        .arg(TLineSplitter::LongestModuleLine);
}

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
    m_finishTimer.setInterval(FinishRetryMs);
    QObject::connect(&m_finishTimer, &QTimer::timeout, [this] {
        if (FinishUnsent() || LineLost())
            m_finishTimer.stop();
    });
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
        // The window's text, then what most often causes it.
        problem = id.Message + QLatin1Char('\n') + WrongRateHint(m_port.Baud());
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

bool TModuleLink::FinishUnsent()
{
    if (m_unsent.isEmpty())
        return true;
    m_port.setWriteStallMs(0);
    m_port.SendCommand(m_unsent);
    m_port.setWriteStallMs(TQCCom32::DefaultWriteStallMs);
    m_unsent.remove(0, m_port.LastWritten());
    return m_unsent.isEmpty();
}

TModuleLink::TSent TModuleLink::SendLineWhole(const QByteArray &line, bool withChecksum)
{
    if (LineLost())
        return TSent::Lost;
    if (!FinishUnsent())
        return LineLost() ? TSent::Lost : TSent::Busy;
    const QByteArray framed = Framing::FrameLine(line, withChecksum);
    m_port.setWriteStallMs(0);
    m_port.SendCommand(framed);
    m_port.setWriteStallMs(TQCCom32::DefaultWriteStallMs);
    if (LineLost())
        return TSent::Lost;
    if (m_port.LastWritten() == 0)
        return TSent::Busy; // nothing of it went: the line is refused whole
    m_unsent = framed.mid(m_port.LastWritten());
    if (!m_unsent.isEmpty() && !m_finishTimer.isActive())
        m_finishTimer.start();
    return TSent::Sent;
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
