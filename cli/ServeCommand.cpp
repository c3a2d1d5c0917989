// serve: the module's bus to socketcand clients.

#include "bridge/ListenAddress.h"
#include "bridge/SocketcandProtocol.h"
#include "bridge/SocketcandServer.h"
#include "cli/CommandRun.h"
#include "monitor/FrameDecoder.h"
#include "monitor/LineSplitter.h"
#include "protocol/ModuleModes.h"

using namespace Cli;

// The socketcand server over the module's lines until Ctrl+C or the module is lost.
int TCommandRun::Serve()
{
    TServeOptions options;
    options.channel = m_o.Channel.toLatin1();
    // A module that stops taking bytes holds up no client and gets no line in part: the lines
    // that cannot go are refused to the clients that sent them.
    TSocketcandServer server(options, [this](const QByteArray &line, QByteArray &problem) {
        switch (m_link.SendLineWhole(line, m_info.UseChecksum)) {
        case TModuleLink::TSent::Sent: return true;
        case TModuleLink::TSent::Busy: problem = "the module is not taking bytes: frame not sent"; return false;
        case TModuleLink::TSent::Lost: problem = "the module is lost: frame not sent"; return false;
        }
        return false;
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
    splitter.SetLongestLine(TLineSplitter::LongestModuleLine);
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
    if (splitter.CutLines() > 0)
        err(CutLinesNote(splitter.CutLines()));
    if (m_link.LineLost()) {
        const QString lost = ModuleTexts::ConnectionLost(m_link.PortName());
        server.CloseAll("the module is lost: " + lost.toLatin1());
        return Fail(CliExit::ModuleFault, lost);
    }
    server.CloseAll(QByteArray());
    return FailInterrupted();
}
