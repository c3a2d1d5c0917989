#pragma once

#include <QString>

// The maker's copyright line, built around the maker text the module reports.
inline QString CopyrightLine(const QString &makerName)
{
    return QStringLiteral("Copyright (C) ") + makerName + QStringLiteral(" Co., Ltd.");
}
