#include "bridge/SocketcandProtocol.h"

#include "common/HexDigit.h"
#include "common/StrToInt.h"
#include "protocol/CanIdentifier.h"
#include "protocol/MessageLine.h"

#include <QList>

#include <algorithm>
#include <cstdio>

namespace Socketcand {

namespace {

bool parseHex(QByteArrayView text, qsizetype maxDigits, uint32_t &value)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0)
            return false;
        value = value << 4 | uint32_t(d);
    }
    return true;
}

TCommand error(const QByteArray &reason)
{
    TCommand c;
    c.error = reason;
    return c;
}

// A client's word quoted in an error, cut short so the reply stays small.
QByteArray clip(QByteArrayView word)
{
    return word.first(std::min<qsizetype>(16, word.size())).toByteArray();
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QList<QByteArrayView> words(QByteArrayView text)
{
    QList<QByteArrayView> out;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !isBlank(text[i]))
            ++i;
        if (i > start)
            out << text.sliced(start, i - start);
    }
    return out;
}

// "send ID DLC B1 ..." and "sendrtr ID DLC" after the command word.
TCommand parseFrame(const QList<QByteArrayView> &w, bool remote)
{
    const QByteArray name = remote ? "sendrtr" : "send";
    if (w.size() < 3)
        return error(name + " needs an identifier and a length");
    TCommand c;
    c.kind = remote ? TCommandKind::SendRtr : TCommandKind::Send;
    if (!parseHex(w[1], 8, c.id) || !CanId::Fits(c.id, true))
        return error(name + ": identifier \"" + clip(w[1]) + "\" is not 1 to 8 hex digits up to 1FFFFFFF");
    c.extended = w[1].size() == 8 || c.id > 0x7FF;
    uint32_t dlc = 0;
    // socketcand reads the length in decimal, python-can writes it in hex: 0 to 8 mean the same.
    if (!parseHex(w[2], 2, dlc) || dlc > 8 || (w[2].size() == 2 && w[2][0] != '0'))
        return error(name + ": length \"" + clip(w[2]) + "\" is not 0 to 8");
    c.dlc = uint8_t(dlc);
    const qsizetype bytes = w.size() - 3;
    if (remote) {
        if (bytes != 0)
            return error("sendrtr takes no data bytes");
        return c;
    }
    if (bytes != c.dlc)
        return error("send: length " + QByteArray::number(c.dlc) + " but " + QByteArray::number(bytes) + " data bytes");
    for (qsizetype i = 0; i < bytes; ++i) {
        uint32_t b = 0;
        if (!parseHex(w[3 + i], 2, b))
            return error("send: data byte \"" + clip(w[3 + i]) + "\" is not 1 or 2 hex digits");
        c.data[i] = uint8_t(b);
    }
    return c;
}

} // namespace

TCommand ParseCommand(QByteArrayView command)
{
    if (command.size() < 2 || command.front() != '<' || command.back() != '>')
        return error("not a bracketed command");
    const QByteArrayView inner = command.sliced(1, command.size() - 2);
    for (char c : inner)
        if ((uint8_t(c) < 0x20 && !isBlank(c)) || uint8_t(c) >= 0x7F || c == '<')
            return error("binary data in a command");
    const QList<QByteArrayView> w = words(inner);
    if (w.isEmpty())
        return error("empty command");
    const QByteArrayView verb = w[0];
    auto noArguments = [&](TCommandKind kind) {
        if (w.size() != 1)
            return error(verb.toByteArray() + " takes no arguments");
        TCommand c;
        c.kind = kind;
        return c;
    };
    if (verb == "open") {
        if (w.size() != 2)
            return error("open takes one bus name");
        if (w[1].size() > MaxChannelLength)
            return error("bus name longer than 16 characters");
        TCommand c;
        c.kind = TCommandKind::Open;
        c.channel = w[1].toByteArray();
        return c;
    }
    if (verb == "rawmode")
        return noArguments(TCommandKind::RawMode);
    if (verb == "echo")
        return noArguments(TCommandKind::Echo);
    if (verb == "send")
        return parseFrame(w, false);
    if (verb == "sendrtr")
        return parseFrame(w, true);
    if (verb == "bcmmode" || verb == "controlmode" || verb == "isotpmode" || verb == "fdsend" || verb == "add" ||
        verb == "update" || verb == "delete" || verb == "filter" || verb == "muxfilter" || verb == "subscribe" ||
        verb == "unsubscribe" || verb == "statistics")
        return error(verb.toByteArray() + " is not offered: this server speaks raw mode only");
    return error("unknown command");
}

QByteArray FormatFrame(const TDecodedLine &frame, int64_t timeUs)
{
    if (!IsCanFrame(frame.kind))
        return QByteArray();
    if (timeUs < 0)
        timeUs = 0;
    char head[64];
    const char *word = IsRemote(frame.kind) ? "rtr" : "frame";
    const char *idFormat = IsExtended(frame.kind) ? "%08X" : "%03X";
    char id[16];
    std::snprintf(id, sizeof id, idFormat, unsigned(frame.id));
    const int n = std::snprintf(head, sizeof head, "< %s %s %lld.%06lld ", word, id, (long long)(timeUs / 1000000),
                                (long long)(timeUs % 1000000));
    QByteArray out(head, n);
    if (IsRemote(frame.kind)) {
        out += QByteArray::number(frame.dlc);
        out += " >";
        return out;
    }
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < frame.dlc && i < 8; ++i) {
        out += digits[frame.data[i] >> 4];
        out += digits[frame.data[i] & 0xF];
    }
    out += " >";
    return out;
}

QByteArray FormatError(QByteArrayView reason)
{
    QByteArray text = reason.toByteArray();
    for (char &c : text)
        if (c == '<' || c == '>' || uint8_t(c) < 0x20 || uint8_t(c) >= 0x7F)
            c = ' ';
    return "< error " + text + " >";
}

QByteArray ModuleLine(const TCommand &command)
{
    if (command.kind != TCommandKind::Send && command.kind != TCommandKind::SendRtr)
        return QByteArray();
    TComposerFields f;
    f.IdText = QString::number(command.id, 16).toUpper();
    f.ModeText = command.extended ? QStringLiteral("1") : QStringLiteral("0");
    f.RtrText = command.kind == TCommandKind::SendRtr ? QStringLiteral("1") : QStringLiteral("0");
    f.DlcText = QString::number(command.dlc);
    for (int i = 0; i < 8; ++i)
        f.Data[i] = command.data[i];
    try {
        return ComposeMessageLine(f).toLatin1();
    } catch (const EConvertError &) {
        return QByteArray(); // cannot happen for a parsed command: the fields are digits
    }
}

} // namespace Socketcand
