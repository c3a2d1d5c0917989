#include "serial/PosixSerial.h"

#include "serial/LineSpeed.h"

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

TModemControl &ModemControlSlot()
{
    static TModemControl call;
    return call;
}

int ModemControl(int fd, unsigned long request, int *bits)
{
    if (const TModemControl &call = ModemControlSlot())
        return call(fd, request, bits);
    return ::ioctl(fd, request, bits);
}

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

void SetModemControl(TModemControl call)
{
    ModemControlSlot() = std::move(call);
}

TLineSetup ApplyLineSettings(int fd, int32_t baud, bool hardwareFlow)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return TLineSetup::Unreadable;
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
    ::tcsetattr(fd, TCSANOW, &tio);

    // With RTS/CTS handshaking the driver drives RTS itself.
    int lower = TIOCM_DTR | (hardwareFlow ? 0 : TIOCM_RTS);
    ModemControl(fd, TIOCMBIC, &lower); // a pseudo-terminal has no modem lines: not an error

    // A driver that cannot run the rate falls back to another one; only reading back tells.
    if (!LineSpeed::Set(fd, baud) || LineSpeed::Read(fd) != baud)
        return TLineSetup::SpeedRefused;
    return TLineSetup::Done;
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
