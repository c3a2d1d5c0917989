#include "support/LineSpeedProbe.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

LineSpeeds ReadLineSpeeds(int fd)
{
    termios2 settings{};
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return {};
    return {int64_t(settings.c_ispeed), int64_t(settings.c_ospeed)};
}
