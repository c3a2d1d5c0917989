#pragma once
// The line's speed through the kernel's termios2 interface, which takes any rate in bit/s, not
// only the ones with a Bxxx constant. Kept apart from PosixSerial.cpp: <asm/termbits.h> and
// <termios.h> cannot share a translation unit.

#include <cstdint>

namespace LineSpeed {

// Sets input and output speed to `baud` bit/s: the standard constant where there is one, an
// arbitrary rate otherwise. False when the driver refuses the call or the rate is not positive.
bool Set(int fd, int32_t baud);

// The output speed the driver reports now, in bit/s; -1 when it cannot be read.
int64_t Read(int fd);

} // namespace LineSpeed
