#pragma once
// Standard output of k3316-cli. Every write is checked: a full disk or a closed pipe is a
// failure the command ends with (exit 1), never a success with the output lost.

#include <QByteArray>
#include <QString>

namespace StdOut {
// Writes `bytes` whole and flushes them. False when this or an earlier write failed; nothing
// more is written after a failure.
bool Write(const QByteArray &bytes);
bool Failed();
// "cannot write standard output: " and the system's reason.
QString Problem();
} // namespace StdOut
