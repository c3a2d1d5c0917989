#include "serial/PortName.h"

#include <QRegularExpression>

QString TrimBlanksAndControls(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 0x20)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}

bool ParsePortText(const QString &text, TPortChoice &choice)
{
    const QString t = TrimBlanksAndControls(text);
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,9})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = comName.match(t);
    if (m.hasMatch()) {
        const int port = m.captured(1).toInt();
        if (port < 1)
            return false;
        choice.Port = port;
        choice.DevicePath.clear();
        return true;
    }
    if (t.startsWith(QLatin1Char('/'))) {
        choice.DevicePath = t;
        return true;
    }
    return false;
}
