#include "serial/LineSpeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace LineSpeed {

namespace {

// Drivers and other programs reading the classic settings see the usual constant for the usual
// rates; BOTHER only where there is none.
tcflag_t Constant(int32_t baud)
{
    struct Rate { int32_t bits; tcflag_t constant; };
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
    return BOTHER;
}

bool Get(int fd, termios2 &settings)
{
    int result;
    do
        result = ::ioctl(fd, TCGETS2, &settings);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace

bool Set(int fd, int32_t baud)
{
    // 0 would mean "hang up" to the driver, a negative rate means nothing.
    if (baud <= 0)
        return false;
    termios2 settings{};
    if (!Get(fd, settings))
        return false;
    // Input speed bits cleared: the input runs at the output's speed.
    settings.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= Constant(baud);
    settings.c_ispeed = speed_t(baud);
    settings.c_ospeed = speed_t(baud);
    int result;
    do
        result = ::ioctl(fd, TCSETS2, &settings);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

int64_t Read(int fd)
{
    termios2 settings{};
    if (!Get(fd, settings))
        return -1;
    return int64_t(settings.c_ospeed);
}

} // namespace LineSpeed
