#pragma once
// How received bytes are shown wherever the program lists them: printable ASCII as is, a
// backslash as \\, every other byte as \xHH, so nothing received is hidden or altered.

#include <QByteArray>
#include <QString>

QByteArray EscapeBytes(const char *data, qsizetype size);
inline QByteArray EscapeBytes(const QByteArray &bytes)
{
    return EscapeBytes(bytes.constData(), bytes.size());
}
// The same text as a QString (Latin-1 only ever holds ASCII here).
QString EscapedText(const char *data, qsizetype size);
