#pragma once
// Reading the profile that `k3316-cli set` is given: a regular file, or standard input ("-")
// when it is a regular file or a pipe. At most Profiles::MaxProfileBytes are taken (as the
// window); a device, a FIFO or a terminal is refused before anything is read, and an interrupt
// ends a slow standard input.

#include <QByteArray>
#include <QString>

class TInterrupt;

enum class TProfileInput { Read, Refused, Interrupted };

TProfileInput ReadProfileInput(const QString &name, TInterrupt *interrupt, QByteArray &bytes, QString &problem);
