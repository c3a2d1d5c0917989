#include "common/EscapeBytes.h"

QByteArray EscapeBytes(const char *data, qsizetype size)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(size);
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            out += char(b);
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

QString EscapedText(const char *data, qsizetype size)
{
    return QString::fromLatin1(EscapeBytes(data, size));
}
