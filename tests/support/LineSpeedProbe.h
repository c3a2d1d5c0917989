#pragma once
// Reads a terminal's speeds the way the kernel keeps them (termios2), independently of the code
// under test: any rate, not only those with a Bxxx constant.

#include <cstdint>

struct LineSpeeds {
    int64_t input = -1;  // bit/s; -1 when the settings could not be read
    int64_t output = -1;
};

LineSpeeds ReadLineSpeeds(int fd);
