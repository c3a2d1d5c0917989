#include "support/ModuleScript.h"

QByteArray ModuleScript::operator()(const QByteArray &line) const
{
    if (const auto it = answers.constFind(line); it != answers.constEnd())
        return *it;
    if (line.startsWith("$P0") || line.startsWith("$P1"))
        return answers.value(line.left(3), otherwise);
    return otherwise;
}

ModuleScript ModuleScript::with(const QByteArray &line, const QByteArray &answer) const
{
    ModuleScript changed = *this;
    changed.answers.insert(line, answer);
    return changed;
}

ModuleScript ModuleScript::Configuration()
{
    return {{{"#A", "!S2.05\r"},
             {"#PV", "!V2.05\r"},
             {"#PC", "!CTERAVOX\r"},
             {"#PM", "!MK-3316\r"},
             {"#P0", "!P0B30000\r"},
             {"#P1", "!P" "0" "4" "0" + QByteArray(23, '0') + "1" "0000" "\r"},
             {"$P0", "!P0\r"},
             {"$P1", "!P1\r"}},
            "?\r"};
}

ModuleScript ModuleScript::Operation()
{
    return {{{"#A", "!R2.05\r"}}, {}};
}
