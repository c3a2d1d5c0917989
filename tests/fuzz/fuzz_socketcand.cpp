// What a socketcand client may send to `serve`, on arbitrary bytes: the stream is split into
// commands with bounded memory whatever arrives, every command is parsed without a crash, and
// a send becomes a module line that reads back as the same frame.
//
// Input: one byte for the chunk size, then the bytes the client sends.

#include "FuzzBytes.h"
#include "bridge/CommandReader.h"
#include "bridge/SocketcandProtocol.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QList>

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
    return 0;
}
