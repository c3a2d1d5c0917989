#include "monitor/FrameDecoder.h"

namespace {

// Value of an upper-case hex digit, or -1: the module writes frames in upper case.
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Checksum digits may come in either case; a lower-case one never counts as right.
int anyCaseHexDigit(char c)
{
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return hexDigit(c);
}

bool readHex(const char *p, int digits, uint32_t &value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(p[i]);
        if (d < 0)
            return false;
        value = value << 4 | uint32_t(d);
    }
    return true;
}

} // namespace

const char *FrameKindName(TFrameKind kind)
{
    switch (kind) {
    case TFrameKind::StandardData: return "t";
    case TFrameKind::StandardRemote: return "T";
    case TFrameKind::ExtendedData: return "e";
    case TFrameKind::ExtendedRemote: return "E";
    case TFrameKind::Reply: return "reply";
    case TFrameKind::Other: break;
    }
    return "other";
}

TDecodedLine DecodeLine(const char *line, qsizetype size)
{
    TDecodedLine out;
    if (size == 0)
        return out;
    if (line[0] == '!' || line[0] == '?') {
        out.kind = TFrameKind::Reply;
        return out;
    }
    TFrameKind kind;
    switch (line[0]) {
    case 't': kind = TFrameKind::StandardData; break;
    case 'T': kind = TFrameKind::StandardRemote; break;
    case 'e': kind = TFrameKind::ExtendedData; break;
    case 'E': kind = TFrameKind::ExtendedRemote; break;
    default: return out;
    }
    const int idDigits = IsExtended(kind) ? 8 : 3;
    const uint32_t idLimit = IsExtended(kind) ? 0x1FFFFFFF : 0x7FF;
    qsizetype pos = 1;
    uint32_t id = 0;
    if (size < pos + idDigits + 1 || !readHex(line + pos, idDigits, id) || id > idLimit)
        return out;
    pos += idDigits;
    const char dlcChar = line[pos++];
    if (dlcChar < '0' || dlcChar > '8')
        return out;
    const int dlc = dlcChar - '0';
    TDecodedLine frame;
    frame.kind = kind;
    frame.id = id;
    frame.dlc = uint8_t(dlc);
    if (!IsRemote(kind)) {
        if (size < pos + 2 * dlc)
            return out;
        for (int i = 0; i < dlc; ++i, pos += 2) {
            uint32_t byte = 0;
            if (!readHex(line + pos, 2, byte))
                return out;
            frame.data[i] = uint8_t(byte);
        }
    }
    if (pos == size)
        return frame;
    if (size - pos != 2)
        return out;
    const int high = anyCaseHexDigit(line[pos]);
    const int low = anyCaseHexDigit(line[pos + 1]);
    if (high < 0 || low < 0)
        return out;
    uint8_t sum = 0;
    for (qsizetype i = 0; i < pos; ++i)
        sum = uint8_t(sum + static_cast<unsigned char>(line[i]));
    frame.received = uint8_t(high << 4 | low);
    frame.expected = sum;
    const bool upperCase = hexDigit(line[pos]) >= 0 && hexDigit(line[pos + 1]) >= 0;
    frame.checksum = upperCase && frame.received == sum ? TChecksum::Right : TChecksum::Wrong;
    return frame;
}
