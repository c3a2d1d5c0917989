#include "CanBus.h"

#include "common/HexDigit.h"
#include "protocol/CanIdentifier.h"

namespace Sim {

namespace {

// Value of `count` hex digits from `at`; -1 when one is not a hex digit.
int64_t hexNumber(const QByteArray &text, qsizetype at, int count)
{
    int64_t value = 0;
    for (int i = 0; i < count; ++i) {
        const int digit = HexDigitValue(text[at + i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

void appendHex(QByteArray &out, uint64_t value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += hex[(value >> shift) & 0xF];
}

} // namespace

bool IsWellFormedMessage(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    const char kind = text[0];
    const bool extended = kind == 'e' || kind == 'E';
    const bool remote = kind == 'T' || kind == 'E';
    if (!extended && kind != 't' && kind != 'T')
        return false;
    const int idDigits = CanId::Digits(extended);
    if (text.size() < 1 + idDigits + 1)
        return false;
    const int64_t id = hexNumber(text, 1, idDigits);
    if (id < 0 || id > CanId::Max(extended))
        return false;
    const char dlcChar = text[1 + idDigits];
    if (dlcChar < '0' || dlcChar > '8')
        return false;
    const int dataBytes = remote ? 0 : dlcChar - '0';
    const qsizetype dataAt = 2 + idDigits;
    if (text.size() != dataAt + 2 * dataBytes)
        return false;
    for (qsizetype i = dataAt; i < text.size(); ++i)
        if (HexDigitValue(text[i]) < 0)
            return false;
    return true;
}

uint64_t BusNode::random()
{
    // splitmix64: any seed, zero included, gives a full-period stream.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

QByteArray BusNode::line(int kind, int dlc)
{
    static const char kinds[] = "tTeE";
    const bool extended = kind >= 2;
    const bool remote = kind % 2 == 1;
    QByteArray out;
    out += kinds[kind];
    appendHex(out, random() & uint32_t(CanId::Max(extended)), CanId::Digits(extended));
    out += char('0' + dlc);
    if (!remote)
        for (int i = 0; i < dlc; ++i)
            appendHex(out, random() & 0xFF, 2);
    return out;
}

QByteArray BusNode::next()
{
    const uint64_t r = random();
    return line(int(r % 4), int((r >> 8) % 9));
}

QByteArray BusNode::nextLong()
{
    return line(0, 8);
}

} // namespace Sim
