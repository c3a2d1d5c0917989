// What a socketcand client may send to `serve`, on arbitrary bytes: the stream is split into
// commands with bounded memory whatever arrives, every command is parsed without a crash, and
// a send becomes a module line that reads back as the same frame. Then the same bytes reach a
// server on the loopback from a client that does not read, while frames are published and a
// second client reads everything: the server survives the client it lets go (no use after
// free), and the reader gets whole messages only.
//
// Input: one byte for the chunk size (and the server's backlog), then the bytes the client sends.

#include "FuzzBytes.h"
#include "bridge/CommandReader.h"
#include "bridge/SocketcandProtocol.h"
#include "bridge/SocketcandServer.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QRegularExpression>
#include <QTcpSocket>

#include <memory>

#include <cstdint>
#include <cstring>

namespace {

// "< error ... >" with nothing inside that would end it early or break a client's framing.
void checkErrorText(const QByteArray &text)
{
    FUZZ_CHECK(text.startsWith("< error ") && text.endsWith(" >"), "error text %s", text.toHex().constData());
    const QByteArray inner = text.mid(1, text.size() - 2);
    for (char c : inner)
        FUZZ_CHECK(c != '<' && c != '>' && uint8_t(c) >= 0x20 && uint8_t(c) < 0x7F, "error text %s",
                   text.toHex().constData());
}

void checkCommand(const QByteArray &command)
{
    using namespace Socketcand;
    FUZZ_CHECK(command.size() >= 2 && command.size() <= TCommandReader::MaxCommand + 1, "command of %lld bytes",
               (long long)command.size());
    FUZZ_CHECK(command.front() == '<' && command.back() == '>', "command %s", command.toHex().constData());
    FUZZ_CHECK(command.count('<') == 1 && command.count('>') == 1, "command %s", command.toHex().constData());

    const TCommand c = ParseCommand(command);
    if (c.kind == TCommandKind::Error) {
        FUZZ_CHECK(!c.error.isEmpty(), "error without a reason for %s", command.toHex().constData());
        checkErrorText(FormatError(c.error));
        FUZZ_CHECK(ModuleLine(c).isEmpty(), "a refused command makes a line");
        return;
    }
    if (c.kind != TCommandKind::Send && c.kind != TCommandKind::SendRtr) {
        FUZZ_CHECK(ModuleLine(c).isEmpty(), "only a send makes a line");
        return;
    }
    // The line the module gets reads back, through the monitor's decoder, as the frame asked for.
    const QByteArray line = ModuleLine(c);
    const TDecodedLine back = DecodeLine(line);
    FUZZ_CHECK(IsCanFrame(back.kind), "line %s is no frame", line.constData());
    FUZZ_CHECK(back.id == c.id && IsExtended(back.kind) == c.extended && back.dlc == c.dlc &&
                   IsRemote(back.kind) == (c.kind == TCommandKind::SendRtr),
               "line %s for %s", line.constData(), command.constData());
    if (c.kind == TCommandKind::Send)
        FUZZ_CHECK(std::memcmp(back.data, c.data, c.dlc) == 0, "data of %s", line.constData());
    FUZZ_CHECK(c.extended || c.id <= 0x7FF, "standard identifier %x", unsigned(c.id));
    // And what a client would get for it holds socketcand's form.
    const QByteArray text = FormatFrame(back, 1234567);
    FUZZ_CHECK(text.startsWith(c.kind == TCommandKind::Send ? "< frame " : "< rtr ") && text.endsWith(" >") &&
                   text.count('<') == 1 && text.count('>') == 1,
               "frame text %s", text.constData());
}

void runEvents(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void serveStream(const QByteArray &stream, int backlogBytes)
{
    static int argc = 1;
    static char name[] = "fuzz_socketcand";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    TServeOptions o;
    o.backlogBytes = backlogBytes;
    o.socketBufferBytes = 4096;
    o.rawStartMs = 0;
    o.graceMs = 50;
    o.openWithinMs = 0;
    o.closeWaitMs = 20;
    auto server = std::make_unique<TSocketcandServer>(o, [](const QByteArray &line, QByteArray &) {
        return !line.isEmpty();
    });
    QString problem;
    FUZZ_CHECK(server->Listen(QHostAddress(QHostAddress::LocalHost), 0, problem), "listen: %s", qPrintable(problem));
    QTcpSocket reader, stuck;
    stuck.setReadBufferSize(64);
    for (QTcpSocket *s : {&reader, &stuck})
        s->connectToHost(QHostAddress(QHostAddress::LocalHost), server->Port());
    // Once connected, or Qt applies it to nothing.
    if (stuck.waitForConnected(5000))
        stuck.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
    QByteArray seen;
    QObject::connect(&reader, &QTcpSocket::readyRead, [&] { seen += reader.readAll(); });
    reader.write("< open k3316 >< rawmode >");
    stuck.write(stream);
    static const QByteArray frame = "< frame 123 0.000000 11223344 >";
    for (int turn = 0; turn < 10; ++turn) {
        for (int i = 0; i < 40; ++i)
            server->Publish(frame);
        server->Flush();
        runEvents(1);
    }
    server->CloseAll("closing");
    runEvents(10);
    // Whole messages only, each followed by nothing but blanks before the next.
    static const QRegularExpression whole(QStringLiteral("^(<[^<>]*>\\s*)*$"));
    FUZZ_CHECK(whole.match(QString::fromLatin1(seen)).hasMatch(), "reader got %s", seen.left(200).constData());
    server.reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const int chunk = in.byte() % 32 + 1;
    const QByteArray stream = in.rest();

    TCommandReader reader;
    QList<TReadItem> items;
    for (qsizetype pos = 0; pos < stream.size(); pos += chunk) {
        reader.Feed(QByteArrayView(stream).sliced(pos, std::min<qsizetype>(chunk, stream.size() - pos)), items);
        FUZZ_CHECK(reader.Pending() <= TCommandReader::MaxCommand, "%lld bytes held", (long long)reader.Pending());
    }
    // Never more answers than bytes: garbage cannot be multiplied into replies.
    FUZZ_CHECK(items.size() <= stream.size(), "%lld items from %lld bytes", (long long)items.size(),
               (long long)stream.size());
    for (const TReadItem &item : items) {
        if (item.isError)
            checkErrorText(Socketcand::FormatError(item.text));
        else
            checkCommand(item.text);
    }
    serveStream(stream, 2 << (chunk % 12));
    return 0;
}
