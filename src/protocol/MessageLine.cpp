#include "protocol/MessageLine.h"

#include "common/StrToInt.h"

QString ComposeMessageLine(const TComposerFields &f)
{
    const int32_t id = StrToInt(QStringLiteral("$") + f.IdText);
    const bool dataFrame = f.RtrText == QLatin1String("0");
    QString line;
    if (f.ModeText == QLatin1String("0"))
        line = (dataFrame ? QStringLiteral("t") : QStringLiteral("T")) + IntToHex(id, 3);
    else
        line = (dataFrame ? QStringLiteral("e") : QStringLiteral("E")) + IntToHex(id, 8);
    line += f.DlcText;
    if (dataFrame) {
        const int32_t n = StrToInt(f.DlcText);
        for (int k = 1; k <= 8; ++k)
            if (n >= k)
                line += IntToHex(f.Data[k - 1], 2);
    }
    return line;
}

qsizetype FirstUnsendableChar(const QString &line)
{
    for (qsizetype i = 0; i < line.size(); ++i)
        if (line.at(i).unicode() > 0xFF)
            return i;
    return -1;
}

QString UnsendableCharMessage(const QString &line, qsizetype position)
{
    // A character beyond the basic plane is two UTF-16 units: name it whole.
    const char32_t code = line.at(position).isHighSurrogate() && position + 1 < line.size()
                              ? QChar::surrogateToUcs4(line.at(position), line.at(position + 1))
                              : line.at(position).unicode();
    const QString hex = QString::number(uint(code), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    return QStringLiteral("The line was not sent: the character \"%1\" (U+%2) at position %3 cannot be sent "
                          "to the module, which takes only Latin-1 characters.")
        .arg(QString::fromUcs4(&code, 1), hex)
        .arg(position + 1);
}
