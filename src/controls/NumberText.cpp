#include "controls/NumberText.h"

namespace {

const char HexDigits[] = "0123456789ABCDEF";

// Value of a hexadecimal digit, or -1.
int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

QString StripLeadingZeros(QString s)
{
    qsizetype k = 0;
    while (k < s.size() - 1 && s[k] == QLatin1Char('0'))
        ++k;
    return s.mid(k);
}

} // namespace

QString IntToHexText(int32_t v)
{
    const uint32_t u = uint32_t(v);
    QString s(8, QLatin1Char('0'));
    for (int i = 0; i < 8; ++i)
        s[7 - i] = QLatin1Char(HexDigits[(u >> (4 * i)) & 0xF]);
    return StripLeadingZeros(s);
}

QString IntToBinText(int32_t v)
{
    const uint32_t u = uint32_t(v);
    QString s(32, QLatin1Char('0'));
    for (int i = 0; i < 32; ++i)
        if (u & (1u << i))
            s[31 - i] = QLatin1Char('1');
    return StripLeadingZeros(s);
}

int32_t HexTextToInt(const QString &t)
{
    // The weight wraps to 0 after eight digits, which is exactly the modulo rule.
    uint32_t acc = 0;
    uint32_t weight = 1;
    for (qsizetype i = t.size() - 1; i >= 0; --i) {
        const int d = HexDigitValue(t[i]);
        if (d > 0)
            acc += uint32_t(d) * weight;
        weight *= 16u;
    }
    return int32_t(acc);
}

int32_t BinTextToInt(const QString &t)
{
    uint32_t acc = 0;
    uint32_t weight = 1;
    for (qsizetype i = t.size() - 1; i >= 0; --i) {
        if (t[i] == QLatin1Char('1'))
            acc += weight;
        weight *= 2u;
    }
    return int32_t(acc);
}

bool IsHexText(const QString &t)
{
    for (QChar c : t)
        if (HexDigitValue(c) < 0)
            return false;
    return true;
}

bool IsBinText(const QString &t)
{
    for (QChar c : t)
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            return false;
    return true;
}
