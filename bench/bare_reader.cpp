// The floor of the receive path: a program that only waits on the pseudo-terminal with a
// QSocketNotifier and reads what arrives, nothing else. bench_table runs it beside the utility
// against the same virtual module, so the utility's cost reads as a ratio of it.
//
// Usage: bench_bare_reader PATH SECONDS [LINES]
// Sends the probe "#A" (the virtual module's node starts after answering one), waits a second,
// then prints "<processor percent> <bytes per second>" measured over SECONDS. With LINES it
// instead reads until that many lines (carriage returns) have come, the probe's reply not
// counted, and prints "<reads> <lines> <bytes>": for counting instructions over a fixed amount.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s PATH SECONDS [LINES]\n", argv[0]);
        return 2;
    }
    const int seconds = std::max(1, atoi(argv[2]));
    const qint64 wantLines = argc == 4 ? std::max(1, atoi(argv[3])) : 0;
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        tcsetattr(fd, TCSANOW, &t);
    }
    if (::write(fd, "#A\r", 3) != 3) {
        std::perror("write");
        return 1;
    }

    qint64 bytes = 0;
    qint64 lines = -1; // the probe's reply is the first
    qint64 reads = 0;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes += n;
            ++reads;
            if (wantLines > 0) {
                for (const char *p = buffer, *end = buffer + n; (p = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p)))); ++p)
                    ++lines;
                if (lines >= wantLines) {
                    std::printf("%lld %lld %lld\n", (long long)reads, (long long)lines, (long long)bytes);
                    std::fflush(stdout);
                    app.quit();
                }
            }
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            app.exit(1); // the other side went away: stop rather than wake without end
    });

    double cpuStart = 0;
    qint64 bytesStart = 0;
    QElapsedTimer clock;
    if (wantLines == 0) {
        QTimer::singleShot(1000, [&] {
            cpuStart = CpuSeconds();
            bytesStart = bytes;
            clock.start();
            QTimer::singleShot(seconds * 1000, [&] {
                const double wall = double(clock.nsecsElapsed()) / 1e9;
                std::printf("%.4f %.1f\n", (CpuSeconds() - cpuStart) / wall * 100.0, double(bytes - bytesStart) / wall);
                std::fflush(stdout);
                app.quit();
            });
        });
    }
    const int status = app.exec();
    ::close(fd);
    return status;
}
