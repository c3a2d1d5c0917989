#include "protocol/Framing.h"

#include <cstdint>

namespace Framing {

namespace {

QByteArray lowByteHex(uint32_t sum)
{
    static const char digits[] = "0123456789ABCDEF";
    const uint8_t low = uint8_t(sum & 0xFF);
    const char pair[2] = {digits[low >> 4], digits[low & 0xF]};
    return QByteArray(pair, 2);
}

uint32_t byteSum(const char *data, qsizetype count)
{
    uint32_t sum = 0;
    for (qsizetype i = 0; i < count; ++i)
        sum += uint8_t(data[i]);
    return sum;
}

} // namespace

QByteArray AddChksum(const QByteArray &text)
{
    return lowByteHex(byteSum(text.constData(), text.size()));
}

bool Chksum(const QByteArray &reply)
{
    const qsizetype len = reply.size();
    const uint32_t sum = len >= 4 ? byteSum(reply.constData(), len - 3) : 0;
    if (len < 3)
        return false; // no two characters before the last one
    return reply.mid(len - 3, 2) == lowByteHex(sum);
}

int AscToInt(char c)
{
    const int code = uint8_t(c);
    return code <= '9' ? code - 48 : code - 55;
}

QByteArray FrameLine(const QByteArray &command, bool withChecksum)
{
    QByteArray line = command;
    if (withChecksum)
        line += AddChksum(command);
    line += CR;
    return line;
}

} // namespace Framing
