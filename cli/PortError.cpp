#include "cli/PortError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString PortOpenProblem(const QString &devicePath)
{
    const QByteArray path = QFile::encodeName(devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        QString reason = QString::fromLocal8Bit(std::strerror(error));
        if (error == EACCES || error == EPERM)
            reason += QStringLiteral(" (add yourself to the group that owns the device, usually "
                                     "dialout: sudo usermod -aG dialout $USER, then log in again)");
        return reason;
    }
    QString reason;
    if (!::isatty(fd))
        reason = QStringLiteral("not a serial device");
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        reason = QStringLiteral("in use by another program");
    else
        reason = QStringLiteral("busy"); // opened exclusively by someone else a moment ago
    ::close(fd);
    return reason;
}
