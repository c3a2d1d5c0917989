#include "protocol/ModuleReplies.h"

#include "protocol/Framing.h"

namespace {

// Position counted from 1, as the protocol counts.
char at(const QByteArray &reply, int position)
{
    return reply.at(position - 1);
}

int digit(const QByteArray &reply, int position)
{
    return Framing::AscToInt(at(reply, position));
}

QString text(const QByteArray &reply, int first, int last)
{
    return QString::fromLatin1(reply.mid(first - 1, last - first + 1));
}

} // namespace

qsizetype ReplyBodyLength(const QByteArray &reply)
{
    return reply.endsWith(Framing::CR) ? reply.size() - 1 : reply.size();
}

bool DecodeRS232Reply(const QByteArray &reply, TRS232Settings &out)
{
    if (ReplyBodyLength(reply) < 9)
        return false;
    out.BaudIndex = digit(reply, 3) * 16 + digit(reply, 4);
    out.DataBits = digit(reply, 5);
    out.StopBits = digit(reply, 6);
    out.Parity = digit(reply, 7);
    out.Checksum = digit(reply, 8);
    out.Respond = digit(reply, 9);
    return true;
}

bool DecodeCanReply(const QByteArray &reply, int firmwareLevel, TCanSettings &out)
{
    const qsizetype length = ReplyBodyLength(reply);
    if (length < 3)
        return false;
    const bool layout20A = digit(reply, 3) == 0;
    const qsizetype needed = firmwareLevel >= 2 ? 33 : (layout20A ? 17 : 21);
    if (length < needed)
        return false;

    TCanSettings s;
    s.Spec = digit(reply, 3);
    s.Baud = digit(reply, 4);
    s.Hidden = digit(reply, 5);
    s.Layout20A = layout20A;
    if (layout20A) {
        s.Code = text(reply, 7, 9);
        s.Mask = text(reply, 15, 17);
    } else {
        s.Code = text(reply, 6, 13);
        s.Mask = text(reply, 14, 21);
    }
    if (firmwareLevel >= 2) {
        s.HasPairFields = true;
        s.TxCanId = layout20A ? text(reply, 27, 29) : text(reply, 22, 29);
        // An all-zero Tx CAN ID is not a usable identifier; the module means the first one.
        if (s.TxCanId == QLatin1String("000"))
            s.TxCanId = QStringLiteral("001");
        else if (s.TxCanId == QLatin1String("00000000"))
            s.TxCanId = QStringLiteral("00000001");
        s.PairFlag = text(reply, 30, 30);
        s.TxIdFlag = text(reply, 31, 31);
        s.RespIdFlag = text(reply, 32, 32);
        s.EndOfCommand = digit(reply, 33);
    }
    out = s;
    return true;
}
