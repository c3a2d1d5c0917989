#pragma once
// The few operating-system serial-port calls the port component rests on, over POSIX termios.
// Every descriptor is non-blocking; nothing here shows messages or touches Qt's event loop.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace PosixSerial {

constexpr int InvalidHandle = -1;

// Opens a terminal device for exclusive reading and writing: an advisory lock keeps out every
// other opener that asks for it (root included), TIOCEXCL keeps out the rest. A path that is
// not a terminal, or whose lock is held, is refused. Returns the descriptor or InvalidHandle.
int OpenExclusive(const char *path);

enum class TLineSetup {
    Done,         // the line runs at the rate asked for
    Unreadable,   // the current settings could not be read; nothing was changed
    SpeedRefused, // the driver does not run the line at that rate (or the rate is not positive)
};

// Raw 8N1 at `baud` (any positive rate, not only those with a Bxxx constant), receiver on, modem
// status lines ignored, no software flow control, RTS/CTS when `hardwareFlow`. DTR is lowered,
// and RTS too without `hardwareFlow`: opening raised both, and an adapter may take power or a
// mode from them. A device without modem lines (a pseudo-terminal) refuses that quietly.
TLineSetup ApplyLineSettings(int fd, int32_t baud, bool hardwareFlow);

// The modem-control request (TIOCMBIC) as the line set-up makes it. Tests put a recorder in its
// place; an empty function restores the system's ioctl.
using TModemControl = std::function<int(int fd, unsigned long request, int *bits)>;
void SetModemControl(TModemControl call);

// Outcome of an operation that can find the device gone.
enum class TLineState { Up, Lost };

// Bytes waiting in the receive queue; 0 when the driver cannot tell. An empty queue is checked
// for a hang-up unless `checkHangUp` is false.
int QueuedBytes(int fd, TLineState &line, bool checkHangUp = true);

// Reads at most `size` bytes that are already queued; never blocks. Returns the count read.
// End of file or an I/O error on a descriptor that reported data marks the line lost.
std::size_t ReadQueued(int fd, char *buffer, std::size_t size, TLineState &line);

// Writes all bytes, waiting for room up to `stallMs` at a time. Returns the count written.
std::size_t WriteAll(int fd, const char *data, std::size_t size, int stallMs, TLineState &line);

enum class TWaitResult { Readable, TimedOut, HungUp };

// Waits up to `timeoutMs` (negative: without limit) for the descriptor to become readable.
// With fd == InvalidHandle it only sleeps for `timeoutMs`.
TWaitResult WaitReadable(int fd, int timeoutMs);

// True when the descriptor reports a hang-up or an error right now (without waiting).
bool HungUp(int fd);

void CloseHandle(int fd);

// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t TickCount();

} // namespace PosixSerial
