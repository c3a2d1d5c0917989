#include "common/StrToInt.h"

EConvertError::EConvertError(const QString &message)
    : std::runtime_error(message.toStdString()), m_message(message)
{
}

namespace {

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

} // namespace

bool TryStrToInt(const QString &text, int32_t &value)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == QLatin1Char('$') || text[i] == QLatin1Char('x') || text[i] == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return false;

    if (hex) {
        uint32_t acc = 0;
        int significant = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0)
                return false;
            if (significant > 0 || d != 0)
                ++significant;
            if (significant > 8)
                return false;
            acc = (acc << 4) | uint32_t(d);
        }
        value = int32_t(negative ? 0u - acc : acc);
        return true;
    }

    // Accumulate as a negative magnitude so that -2147483648 fits.
    int64_t acc = 0;
    for (; i < n; ++i) {
        const ushort u = text[i].unicode();
        if (u < '0' || u > '9')
            return false;
        acc = acc * 10 + (u - '0');
        if (acc > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        acc = -acc;
    if (acc > INT32_MAX || acc < INT32_MIN)
        return false;
    value = int32_t(acc);
    return true;
}

int32_t StrToInt(const QString &text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

QString IntToStr(int32_t value)
{
    return QString::number(value);
}

QString IntToHex(int32_t value, int digits)
{
    return QString::number(uint32_t(value), 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}
