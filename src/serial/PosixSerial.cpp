#include "serial/PosixSerial.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace PosixSerial {

namespace {

// Errors that mean the device itself is gone (unplugged, hung up, other side of a pty closed).
bool DeviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

constexpr short HangUpEvents = POLLHUP | POLLERR | POLLNVAL;

} // namespace

int OpenExclusive(const char *path)
{
    int fd;
    do
        fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return InvalidHandle;
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return InvalidHandle;
    }
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

unsigned BaudConstant(int32_t baud)
{
    struct Rate { int32_t bits; speed_t constant; };
    static constexpr Rate rates[] = {
        {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
        {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
        {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Rate &r : rates)
        if (r.bits == baud)
            return r.constant;
    return 0;
}

bool ApplyLineSettings(int fd, int32_t baud, bool hardwareFlow)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    // cfmakeraw leaves these: a stray XOFF from the line must never stop our output.
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSTOPB | PARENB | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (hardwareFlow)
        tio.c_cflag |= CRTSCTS;
    else
        tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (const speed_t speed = BaudConstant(baud)) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    ::tcsetattr(fd, TCSANOW, &tio);
    return true;
}

int QueuedBytes(int fd, TLineState &line, bool checkHangUp)
{
    if (fd < 0)
        return 0;
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0) {
        if (DeviceGone(errno))
            line = TLineState::Lost;
        return 0;
    }
    // A hung-up terminal may still answer the count with 0; only poll tells it apart.
    if (count == 0 && checkHangUp && HungUp(fd))
        line = TLineState::Lost;
    return count > 0 ? count : 0;
}

std::size_t ReadQueued(int fd, char *buffer, std::size_t size, TLineState &line)
{
    if (fd < 0 || size == 0)
        return 0;
    ssize_t n;
    do
        n = ::read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    if (n > 0)
        return std::size_t(n);
    if (n == 0 || DeviceGone(errno))
        line = TLineState::Lost;
    return 0;
}

std::size_t WriteAll(int fd, const char *data, std::size_t size, int stallMs, TLineState &line)
{
    std::size_t done = 0;
    while (fd >= 0 && done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            if (n < 0 && DeviceGone(errno))
                line = TLineState::Lost;
            break;
        }
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&p, 1, stallMs);
        while (ready < 0 && errno == EINTR);
        if (ready <= 0)
            break; // no room within the limit: a short write
        if (p.revents & HangUpEvents) {
            line = TLineState::Lost;
            break;
        }
    }
    return done;
}

TWaitResult WaitReadable(int fd, int timeoutMs)
{
    if (fd < 0) {
        if (timeoutMs >= 0) {
            timespec pause{timeoutMs / 1000, long(timeoutMs % 1000) * 1000000L};
            while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
            }
        }
        return TWaitResult::TimedOut;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready <= 0)
        return TWaitResult::TimedOut; // EINTR included: the caller re-checks its deadline
    if (p.revents & HangUpEvents)
        return TWaitResult::HungUp;
    return TWaitResult::Readable;
}

bool HungUp(int fd)
{
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & HangUpEvents);
}

void CloseHandle(int fd)
{
    if (fd >= 0)
        ::close(fd); // also drops the lock
}

uint32_t TickCount()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

} // namespace PosixSerial
