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
