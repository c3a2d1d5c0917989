// slcan: the module as a serial-line CAN adapter on a pseudo-terminal.

#include "bridge/SlcanProtocol.h"
#include "bridge/SlcanPty.h"
#include "cli/CommandRun.h"
#include "monitor/LineSplitter.h"
#include "protocol/ModuleModes.h"

#include <QSocketNotifier>

#include <memory>

using namespace Cli;

namespace {

// Longer than any line the module sends (an extended frame, checksum and CR LF): a stream with
// no CR (a wrong line speed) is cut here rather than held without end.
constexpr qsizetype MaxModuleLine = 256;
// What one turn of the loop takes from the tool (a dozen frames, some 20 ms of the module's
// line): the rest waits in the terminal, and the module's side is read in between.
constexpr qsizetype ToolRead = 256;

QString countsText(const TSlcanCounts &c)
{
    return QStringLiteral("slcan: %1 frames to the tool (%2 dropped unread), %3 from the tool (%4 not sent); "
                          "not passed on: %5 with a wrong checksum, %6 replies, %7 other lines, %8 while closed")
        .arg(c.toTool)
        .arg(c.dropped)
        .arg(c.fromTool)
        .arg(c.sendFailed)
        .arg(c.badChecksum)
        .arg(c.replies)
        .arg(c.other)
        .arg(c.whileClosed);
}

} // namespace

int TCommandRun::Slcan()
{
    // Made before the module is asked anything: a link that cannot be placed costs the module nothing.
    TSlcanPty pty;
    QString problem;
    if (!pty.Open(m_o.LinkPath, problem))
        return Fail(CliExit::PortFault, problem);
    int code = 0;
    if (!Connect(ModuleModes::Operation, code))
        return code;
    // The first line, for scripts: the path to hand the tool.
    out(pty.Path().toLocal8Bit());
    if (!m_o.LinkPath.isEmpty())
        err(QStringLiteral("slcan adapter on %1 (linked as %2); Ctrl+C ends").arg(pty.Path(), m_o.LinkPath));
    else
        err(QStringLiteral("slcan adapter on %1; Ctrl+C ends").arg(pty.Path()));

    TSlcanProtocol::TSetup setup;
    setup.moduleRate = m_o.Bitrate;
    setup.version = Slcan::FourDigits(m_info.FirmwareVersion);
    // A module in operation mode tells no more of itself than its firmware version.
    setup.serial = setup.version;
    // Never after the line is lost: the port component would open the device again.
    setup.send = [this](const QByteArray &line) {
        return !m_link.LineLost() && m_link.Port().Opened() && m_link.SendLine(line, m_info.UseChecksum);
    };
    setup.warn = [](const QString &message) { err(message); };
    TSlcanProtocol protocol(setup);

    bool ptyFailed = false;
    QSocketNotifier toolReadable(qintptr(pty.MasterFd()), QSocketNotifier::Read);
    QSocketNotifier toolWritable(qintptr(pty.MasterFd()), QSocketNotifier::Write);
    toolWritable.setEnabled(false);
    // Writes what the tool takes; the rest waits for the terminal to have room. While too much
    // waits, the tool's commands stay in the terminal: their answers would have no room either.
    const auto flush = [&] {
        while (!protocol.Pending().isEmpty()) {
            const qsizetype written = pty.Write(protocol.Pending());
            if (written < 0) {
                ptyFailed = true;
                break;
            }
            if (written == 0)
                break;
            protocol.Consumed(written);
        }
        toolWritable.setEnabled(!ptyFailed && !protocol.Pending().isEmpty());
        toolReadable.setEnabled(!ptyFailed && protocol.AcceptsCommands());
    };
    QObject::connect(&toolWritable, &QSocketNotifier::activated, flush);
    QObject::connect(&toolReadable, &QSocketNotifier::activated, [&] {
        QByteArray bytes;
        if (!pty.Read(bytes, ToolRead))
            ptyFailed = true;
        protocol.FeedCommands(bytes);
        flush();
    });
    std::unique_ptr<QSocketNotifier> toolClosed;
    if (pty.WatchFd() >= 0) {
        toolClosed = std::make_unique<QSocketNotifier>(qintptr(pty.WatchFd()), QSocketNotifier::Read);
        // A tool gone without closing the channel: the next one starts as with a new adapter.
        QObject::connect(toolClosed.get(), &QSocketNotifier::activated, [&] {
            if (pty.ClosedByTool()) {
                pty.Flush();
                protocol.Reset();
                flush();
            }
        });
    }

    TLineSplitter splitter;
    const TLineSplitter::Sink pass = [&](const TLine &line) { protocol.ModuleLine(line.text, line.timeUs); };
    // What came after the probe's reply in the same read is the first of the stream.
    splitter.Feed(m_info.Leftover, nowUs(), pass);
    flush();
    while (!Interrupted() && !m_link.LineLost() && m_link.Port().Opened() && !ptyFailed) {
        const QByteArray bytes = m_link.WaitAndRead(); // before the time is taken
        splitter.Feed(bytes, nowUs(), pass);
        if (splitter.PendingRaw().size() > MaxModuleLine) {
            protocol.LineCut();
            splitter = TLineSplitter();
        }
        flush();
    }
    toolReadable.setEnabled(false);
    toolWritable.setEnabled(false);
    if (toolClosed)
        toolClosed->setEnabled(false);
    // The tool sees its adapter go: end-of-file or an error on its next read.
    pty.HangUp();
    err(countsText(protocol.Counts()));
    if (m_link.LineLost() || !m_link.Port().Opened())
        return Fail(CliExit::ModuleFault, ModuleTexts::ConnectionLost(m_link.PortName()));
    if (ptyFailed)
        return Fail(CliExit::ModuleFault, QStringLiteral("the pseudo-terminal %1 failed").arg(pty.Path()));
    return FailInterrupted();
}
