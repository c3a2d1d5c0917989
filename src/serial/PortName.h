#pragma once
// What a typed or chosen port text names, shared by the serial settings dialog and k3316-cli.

#include <QString>

#include <cstdint>

// A port number ("COM12", any case, blanks trimmed) or a device path beginning with "/".
struct TPortChoice {
    int32_t Port = 0;
    QString DevicePath;
};
// False for anything else.
bool ParsePortText(const QString &text, TPortChoice &choice);

// The text without leading and trailing blanks and control characters.
QString TrimBlanksAndControls(const QString &text);
