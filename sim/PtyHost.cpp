#include "PtyHost.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace Sim {

namespace {

struct Rate {
    int32_t bits;
    speed_t constant;
};

constexpr Rate Rates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

speed_t speedConstant(int32_t bits)
{
    for (const Rate &r : Rates)
        if (r.bits == bits)
            return r.constant;
    return B115200;
}

int32_t speedBits(speed_t constant)
{
    for (const Rate &r : Rates)
        if (r.constant == constant)
            return r.bits;
    return 0;
}

QString systemError(const char *what, const QString &path = {})
{
    const QString subject = path.isEmpty() ? QString() : QStringLiteral(" %1").arg(path);
    return QStringLiteral("%1%2: %3").arg(QString::fromLatin1(what), subject,
                                          QString::fromLocal8Bit(std::strerror(errno)));
}

// Raw 8N1 without flow control, as the module's UART runs.
bool makeRaw(int fd, int32_t baud)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speedConstant(baud));
    ::cfsetospeed(&tio, speedConstant(baud));
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

uint64_t MonotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

PtyHost::PtyHost(const SimOptions &options)
    : m_options(options), m_module(options, MonotonicMs())
{
    m_module.setLineObserver([this](const QByteArray &line) { logLine(line); });
}

PtyHost::~PtyHost()
{
    removeLink();
    closeFd(m_notify);
    closeFd(m_slave);
    closeFd(m_io);
    closeFd(m_signals);
    if (m_log)
        std::fclose(m_log);
    if (m_stamp)
        std::fclose(m_stamp);
}

bool PtyHost::open(QString &error)
{
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &ending, nullptr) != 0
        || (m_signals = ::signalfd(-1, &ending, SFD_NONBLOCK | SFD_CLOEXEC)) < 0) {
        error = systemError("signalfd");
        return false;
    }
    std::signal(SIGPIPE, SIG_IGN);

    if (!m_options.logFile.isEmpty()) {
        m_log = std::fopen(m_options.logFile.toLocal8Bit().constData(), "a");
        if (!m_log) {
            error = systemError("cannot open the log", m_options.logFile);
            return false;
        }
    }
    if (!m_options.stampFile.isEmpty()) {
        // Buffered: a flush a line would cost the timing it measures. Written out at exit.
        m_stamp = std::fopen(m_options.stampFile.toLocal8Bit().constData(), "a");
        if (!m_stamp) {
            error = systemError("cannot open the stamp file", m_options.stampFile);
            return false;
        }
    }
    const bool opened = m_options.device.isEmpty() ? openPseudoTerminal(error) : openDevice(error);
    return opened && placeLink(error);
}

bool PtyHost::openPseudoTerminal(QString &error)
{
    m_io = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (m_io < 0 || ::grantpt(m_io) != 0 || ::unlockpt(m_io) != 0
        || ::ptsname_r(m_io, name, sizeof name) != 0) {
        error = systemError("cannot create a pseudo-terminal");
        return false;
    }
    m_path = QString::fromLocal8Bit(name);
    makeRaw(m_io, ConfigModeBaud);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // A program that opens the path without setting a speed talks at the module's speed.
    if (m_slave < 0 || !makeRaw(m_slave, m_module.moduleBaud())) {
        error = systemError("cannot open", m_path);
        return false;
    }
    // Watching opens and closes lets the terminal behave like a port: what the module sent
    // while nobody listened is dropped, and an exclusive claim ends with its holder's close
    // (our own slave descriptor would otherwise keep it in force). Both happen when the loop
    // sees the event, so a program that reads at once after opening may still catch old bytes.
    m_notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_notify < 0 || ::inotify_add_watch(m_notify, name, IN_OPEN | IN_CLOSE) < 0) {
        std::fprintf(stderr, "k3316-sim: %s (stale output and exclusive opens stay)\n",
                     qPrintable(systemError("inotify")));
        closeFd(m_notify);
    }
    return true;
}

bool PtyHost::openDevice(QString &error)
{
    m_path = m_options.device;
    m_io = ::open(m_path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_io < 0) {
        error = systemError("cannot open", m_path);
        return false;
    }
    if (!makeRaw(m_io, m_module.moduleBaud())) {
        error = systemError("cannot set the line of", m_path);
        return false;
    }
    return true;
}

bool PtyHost::placeLink(QString &error)
{
    if (m_options.link.isEmpty())
        return true;
    const QByteArray link = m_options.link.toLocal8Bit();
    struct stat st{};
    if (::lstat(link.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_options.link);
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(m_path.toLocal8Bit().constData(), link.constData()) != 0) {
        error = systemError("cannot place the link", m_options.link);
        return false;
    }
    m_linked = true;
    return true;
}

void PtyHost::removeLink()
{
    if (!m_linked)
        return;
    m_linked = false;
    // Only our own link: another instance may have replaced it meanwhile.
    const QByteArray link = m_options.link.toLocal8Bit();
    char target[4096];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n >= 0 && QByteArray(target, n) == m_path.toLocal8Bit())
        ::unlink(link.constData());
}

int32_t PtyHost::lineBaud() const
{
    // A real port garbles a mismatch on the wire by itself.
    if (m_slave < 0)
        return 0;
    // On Linux the master reports the slave's settings: the speed the utility chose.
    termios tio{};
    if (::tcgetattr(m_io, &tio) != 0)
        return 0;
    return speedBits(::cfgetospeed(&tio));
}

void PtyHost::handleOpenCloseEvents()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_notify, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            // What the closed session left unread is gone, as on a port nobody holds; the
            // flush comes before the claim ends, so whoever sees the claim gone finds it done.
            // An open drops what was sent while the port stood closed.
            if (event->mask & (IN_CLOSE | IN_OPEN))
                ::tcflush(m_slave, TCIFLUSH);
            if (event->mask & IN_OPEN)
                m_module.lineOpened(MonotonicMs());
            if (event->mask & IN_CLOSE)
                ::ioctl(m_slave, TIOCNXCL);
            at += ssize_t(sizeof(inotify_event)) + ssize_t(event->len);
        }
    }
}

bool PtyHost::readLine(QString &error)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_io, buffer, sizeof buffer);
        if (n > 0) {
            m_module.receive(QByteArray(buffer, n), lineBaud(), MonotonicMs());
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n == 0)
            errno = EIO;
        error = systemError("the line failed", m_path);
        return false;
    }
}

bool PtyHost::writePending(QString &error)
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_io, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true; // the line is full: poll says when it takes more
        } else {
            error = systemError("the line failed", m_path);
            return false;
        }
    }
    return true;
}

void PtyHost::logLine(const QByteArray &line)
{
    if (m_stamp) {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        const int64_t us = int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
        const QByteArray text = QByteArray::number(qint64(us)) + ' ' + EscapeBytes(line) + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), m_stamp);
    }
    if (!m_log && !m_options.verbose)
        return;
    const QByteArray text = "rx " + EscapeBytes(line) + '\n';
    if (m_log) {
        std::fwrite(text.constData(), 1, size_t(text.size()), m_log);
        std::fflush(m_log);
    }
    if (m_options.verbose)
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

int PtyHost::run(QString &error)
{
    for (;;) {
        // Opens and closes first: an open queued before the new session's first line must
        // flush the old output before anything answering that line goes out.
        if (m_notify >= 0)
            handleOpenCloseEvents();
        if (m_pending.isEmpty()) {
            m_module.setLineBaud(lineBaud());
            m_pending = m_module.takeOutput(MonotonicMs());
        }
        if (!writePending(error))
            return 1;

        int timeout = -1; // pending output waits for the line, not for the clock
        if (m_pending.isEmpty()) {
            const uint64_t due = m_module.nextDueMs();
            const uint64_t now = MonotonicMs();
            if (due != VirtualModule::NeverDue)
                timeout = due <= now ? 0 : int(std::min<uint64_t>(due - now, INT_MAX));
        }

        pollfd fds[3] = {{m_signals, POLLIN, 0},
                         {m_notify, POLLIN, 0},
                         {m_io, short(POLLIN | (m_pending.isEmpty() ? 0 : POLLOUT)), 0}};
        const int ready = ::poll(fds, 3, timeout);
        if (ready < 0 && errno != EINTR) {
            error = systemError("poll");
            return 1;
        }
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(m_signals, &info, sizeof info) > 0)
                return 0;
        }
        // fds[1] only wakes the loop; its events are taken at the top.
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            // A hang-up with nothing left to read would wake poll without end.
            if ((fds[2].revents & POLLNVAL) || !(fds[2].revents & POLLIN)) {
                error = QStringLiteral("the line failed: %1").arg(m_path);
                return 1;
            }
            if (!readLine(error))
                return 1;
        }
    }
}

} // namespace Sim
