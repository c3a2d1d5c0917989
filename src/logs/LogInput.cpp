#include "logs/LogInput.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool OpenLogInput(const QString &path, TLogInput &input, QString &problem)
{
    struct stat st {};
    if (path == QLatin1String("-")) {
        if (::fstat(STDIN_FILENO, &st) != 0) {
            problem = QStringLiteral("standard input: %1").arg(SystemError());
            return false;
        }
        input.fd = STDIN_FILENO;
        input.ownsFd = false;
        input.size = S_ISREG(st.st_mode) ? qint64(st.st_size) : -1;
        return true;
    }
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0) {
        problem = QStringLiteral("%1: cannot be opened: %2").arg(path, SystemError());
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        problem = QStringLiteral("%1: is a directory, not a log").arg(path);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = QStringLiteral("%1: is a FIFO or a device, not a log file (give it on standard input as \"-\")")
                      .arg(path);
        return false;
    }
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        problem = QStringLiteral("%1: cannot be opened: %2").arg(path, SystemError());
        return false;
    }
    // The name may have been swapped for a FIFO between the look and the open.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        problem = QStringLiteral("%1: is no longer a regular file").arg(path);
        return false;
    }
    input.fd = fd;
    input.ownsFd = true;
    input.size = qint64(st.st_size);
    return true;
}

void CloseLogInput(TLogInput &input)
{
    if (input.ownsFd && input.fd >= 0)
        ::close(input.fd);
    input.fd = -1;
    input.ownsFd = false;
}
