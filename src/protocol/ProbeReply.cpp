#include "protocol/ProbeReply.h"

#include "protocol/Framing.h"

namespace {

constexpr qsizetype MaxProbeReply = 10;

// Character at a 1-based position, or NUL past the end of a short reply.
char charAt(const QByteArray &reply, int position)
{
    return position >= 1 && position <= reply.size() ? reply.at(position - 1) : '\0';
}

} // namespace

TProbeVerdict JudgeProbeReply(const QByteArray &reply, int32_t baud)
{
    if (reply.size() > MaxProbeReply)
        return TProbeVerdict::TooLong;
    if (charAt(reply, 2) == 'S')
        return baud == 115200 ? TProbeVerdict::Configuration : TProbeVerdict::OperationAsS;
    if (charAt(reply, 2) == 'R')
        return TProbeVerdict::Operation;
    if (!reply.isEmpty() && reply.at(0) != '?')
        return TProbeVerdict::Failed;
    return TProbeVerdict::TryChecksummed;
}

TProbeVerdict JudgeChecksummedProbeReply(const QByteArray &reply)
{
    if (reply.size() > MaxProbeReply)
        return TProbeVerdict::TooLong;
    return charAt(reply, 2) == 'R' ? TProbeVerdict::Operation : TProbeVerdict::Failed;
}

QString FirmwareVersionOf(const QByteArray &reply)
{
    return QString::fromLatin1(reply.mid(2, 4));
}

int32_t FirmwareLevelOf(const QByteArray &reply)
{
    return reply.size() >= 3 ? Framing::AscToInt(reply.at(2)) : 0;
}

QString VersionReplyText(const QByteArray &reply)
{
    return QString::fromLatin1(reply.mid(2, 4));
}

QString MakerReplyText(const QByteArray &reply)
{
    return QString::fromLatin1(reply.mid(2, 7));
}

QString ModelReplyText(const QByteArray &reply)
{
    return QString::fromLatin1(reply.mid(2, 6));
}
