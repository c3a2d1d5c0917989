#include "cli/ProfileInput.h"

#include "cli/Interrupt.h"
#include "protocol/Profile.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString tooLarge(const QString &what)
{
    return QStringLiteral("%1 is too large for a profile (more than %2 bytes)").arg(what).arg(Profiles::MaxProfileBytes);
}

// A regular file: read to its end or one byte past the limit.
bool readRegular(int fd, const QString &what, QByteArray &bytes, QString &problem)
{
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            problem = QStringLiteral("cannot read %1: %2").arg(what, systemReason());
            return false;
        }
        if (n == 0)
            return true;
        bytes.append(buffer, n);
        if (bytes.size() > Profiles::MaxProfileBytes) {
            problem = tooLarge(what);
            return false;
        }
    }
}

// A pipe: each read follows a readiness notice, so the wait runs the event loop and an
// interrupt ends it.
TProfileInput readPipe(int fd, TInterrupt *interrupt, QByteArray &bytes, QString &problem)
{
    const QString what = QStringLiteral("standard input");
    bytes.clear();
    QEventLoop loop;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    bool done = false;
    bool failed = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n < 0) {
            problem = QStringLiteral("cannot read %1: %2").arg(what, systemReason());
            failed = true;
        } else if (n == 0) {
            done = true;
        } else {
            bytes.append(buffer, n);
            if (bytes.size() > Profiles::MaxProfileBytes) {
                problem = tooLarge(what);
                failed = true;
            }
        }
        if (done || failed)
            loop.quit();
    });
    if (interrupt)
        QObject::connect(interrupt, &TInterrupt::Raised, &loop, &QEventLoop::quit);
    if (!(interrupt && interrupt->Requested()))
        loop.exec();
    if (interrupt && interrupt->Requested()) {
        problem = interrupt->Word();
        return TProfileInput::Interrupted;
    }
    return failed ? TProfileInput::Refused : TProfileInput::Read;
}

} // namespace

TProfileInput ReadProfileInput(const QString &name, TInterrupt *interrupt, QByteArray &bytes, QString &problem)
{
    if (name == QLatin1String("-")) {
        struct stat st = {};
        if (::fstat(STDIN_FILENO, &st) != 0) {
            problem = QStringLiteral("cannot read standard input: %1").arg(systemReason());
            return TProfileInput::Refused;
        }
        if (S_ISREG(st.st_mode))
            return readRegular(STDIN_FILENO, QStringLiteral("standard input"), bytes, problem) ? TProfileInput::Read
                                                                                               : TProfileInput::Refused;
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
            return readPipe(STDIN_FILENO, interrupt, bytes, problem);
        problem = ::isatty(STDIN_FILENO)
                      ? QStringLiteral("standard input is a terminal: give the profile as a file, or through a pipe")
                      : QStringLiteral("standard input is neither a file nor a pipe");
        return TProfileInput::Refused;
    }

    // Opened without waiting (a FIFO would block in open) and without becoming a terminal's
    // controlling process; anything but a regular file is then refused unread.
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem = QStringLiteral("cannot read %1: %2").arg(name, systemReason());
        return TProfileInput::Refused;
    }
    struct stat st = {};
    bool ok = false;
    if (::fstat(fd, &st) != 0)
        problem = QStringLiteral("cannot read %1: %2").arg(name, systemReason());
    else if (!S_ISREG(st.st_mode))
        problem = QStringLiteral("%1 is not a regular file").arg(name);
    else if (st.st_size > Profiles::MaxProfileBytes)
        problem = tooLarge(name);
    else
        ok = readRegular(fd, name, bytes, problem);
    ::close(fd);
    return ok ? TProfileInput::Read : TProfileInput::Refused;
}
