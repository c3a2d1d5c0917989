#pragma once
// Why a serial device cannot be opened, in the system's words, for the command line's message.

#include <QString>

// Tries the device once more the way the port component does and names what stops it: the
// system's error text, "not a terminal", or "in use by another program". For a permission
// problem the `dialout` hint follows.
QString PortOpenProblem(const QString &devicePath);
