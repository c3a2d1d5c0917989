#include "bridge/SlcanPty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString reason(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

TSlcanPty::~TSlcanPty()
{
    HangUp();
}

bool TSlcanPty::Open(const QString &link, QString &problem)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
        || ::ptsname_r(m_master, name, sizeof name) != 0) {
        problem = reason(QStringLiteral("cannot create a pseudo-terminal"));
        return false;
    }
    m_path = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        problem = reason(QStringLiteral("cannot open ") + m_path);
        return false;
    }
    // Raw until the tool sets its own: a CR must reach it as a CR, not as a line feed.
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(m_slave, TCSANOW, &tio);

    m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0 && ::inotify_add_watch(m_watch, name, IN_CLOSE) < 0)
        closeFd(m_watch);

    if (link.isEmpty())
        return true;
    const QByteArray linkPath = link.toLocal8Bit();
    struct stat st{};
    if (::lstat(linkPath.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            problem = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        ::unlink(linkPath.constData());
    }
    if (::symlink(name, linkPath.constData()) != 0) {
        problem = reason(QStringLiteral("cannot make the link ") + link);
        return false;
    }
    m_link = link;
    m_linked = true;
    return true;
}

bool TSlcanPty::Read(QByteArray &bytes, qsizetype most)
{
    bytes.resize(most);
    ssize_t n;
    do
        n = ::read(m_master, bytes.data(), size_t(most));
    while (n < 0 && errno == EINTR);
    bytes.resize(n > 0 ? n : 0);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

qsizetype TSlcanPty::Write(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return 0;
    ssize_t n;
    do
        n = ::write(m_master, bytes.data(), size_t(bytes.size()));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    return n;
}

bool TSlcanPty::ClosedByTool()
{
    bool closed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_watch, buffer, sizeof buffer);
        if (n <= 0)
            return closed;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            closed = closed || (event->mask & IN_CLOSE);
            at += ssize_t(sizeof(inotify_event)) + ssize_t(event->len);
        }
    }
}

void TSlcanPty::Flush()
{
    if (m_slave >= 0)
        ::tcflush(m_slave, TCIOFLUSH);
}

void TSlcanPty::HangUp()
{
    closeFd(m_watch);
    closeFd(m_slave);
    closeFd(m_master);
    if (!m_linked)
        return;
    m_linked = false;
    // Only our own link: another instance may have replaced it meanwhile.
    const QByteArray link = m_link.toLocal8Bit();
    char target[4096];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n >= 0 && QByteArray(target, n) == m_path.toLocal8Bit())
        ::unlink(link.constData());
}
