// `k3316-cli serve` with four socketcand clients, the module at the line rate, against
// `k3316-cli monitor` alone on the same stream. This process plays the module on a
// pseudo-terminal (both tools run with --no-probe) and the four clients, so each line's
// latency is measured from its write on the module's side to its arrival at a client's socket.
// Goals: serve's processor time at most twice monitor's; latency p99 under 5 ms.
// Usage: bench_serve [SECONDS]   (default 5 per run)

#include "BenchSupport.h"
#include "support/CliRun.h"
#include "support/PtyPair.h"
#include "support/ServeProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// 115200 bit/s, ten bits a byte, "t1238" + 16 data digits + CR: 22 bytes a line.
constexpr double LineRate = 115200.0 / 10.0 / 22.0;

int64_t wallNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Writes eight-byte data frames at the line rate, each carrying its sequence number, and keeps
// the time each went out.
class TFeeder {
public:
    explicit TFeeder(PtyPair &pty, const QElapsedTimer &clock) : m_pty(pty), m_clock(clock)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start()
    {
        m_startNs = m_clock.nsecsElapsed();
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    int64_t WrittenAt(uint32_t seq) const { return seq < m_writtenNs.size() ? m_writtenNs[seq] : -1; }
    int64_t WrittenWallNs(uint32_t seq) const { return seq < m_writtenWallNs.size() ? m_writtenWallNs[seq] : -1; }
    size_t Written() const { return m_writtenNs.size(); }

private:
    void Tick()
    {
        const int64_t now = m_clock.nsecsElapsed();
        const size_t due = size_t(double(now - m_startNs) / 1e9 * LineRate);
        QByteArray bytes;
        const size_t first = m_writtenNs.size();
        for (size_t seq = first; seq < due; ++seq)
            bytes += "t1238" + QByteArray::number(qulonglong(seq), 16).toUpper().rightJustified(8, '0') + "00000000\r";
        if (bytes.isEmpty())
            return;
        // Taken just before the write: the line is the module's from then on.
        m_writtenWallNs.resize(due, wallNs());
        m_writtenNs.resize(due, m_clock.nsecsElapsed());
        m_pty.write(bytes);
    }

    PtyPair &m_pty;
    const QElapsedTimer &m_clock;
    QTimer m_timer;
    int64_t m_startNs = 0;
    std::vector<int64_t> m_writtenNs;
    std::vector<int64_t> m_writtenWallNs; // on the wall clock, as serve's frame times and the
                                          // system's receive times are
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QElapsedTimer clock;
    clock.start();

    // monitor alone
    double monitorCpu = -1;
    size_t monitorLines = 0;
    {
        PtyPair pty;
        TFeeder feeder(pty, clock);
        QProcess monitor;
        monitor.start(CliExecutable(), {"--port", pty.slavePath(), "--no-probe", "monitor"});
        if (!monitor.waitForStarted(5000)) {
            std::fprintf(stderr, "bench_serve: k3316-cli did not start\n");
            return 1;
        }
        QObject::connect(&monitor, &QProcess::readyReadStandardOutput,
                         [&] { monitorLines += size_t(monitor.readAllStandardOutput().count('\n')); });
        RunEventsFor(300);
        feeder.Start();
        RunEventsFor(seconds * 1000);
        feeder.Stop();
        RunEventsFor(100);
        monitorCpu = ProcessCpuMs(monitor.processId());
        ::kill(pid_t(monitor.processId()), SIGINT);
        monitor.waitForFinished(5000);
    }

    // serve with four clients
    double serveCpu = -1;
    std::vector<double> latencyMs, seenMs, toServeMs, fromServeMs;
    size_t written = 0;
    std::vector<size_t> received(4, 0);
    {
        PtyPair pty;
        TFeeder feeder(pty, clock);
        ServeProcess serve(pty.slavePath(), {"--no-probe"});
        if (serve.port() == 0) {
            std::fprintf(stderr, "bench_serve: serve did not come up\n");
            return 1;
        }
        // Plain sockets with the system's receive time of each read (SO_TIMESTAMPNS): the
        // latency is to the client's socket, whenever this process gets round to reading it.
        std::vector<int> fds;
        std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
        std::vector<QByteArray> pending(4);
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(serve.port());
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
                std::fprintf(stderr, "bench_serve: cannot connect to serve\n");
                return 1;
            }
            const char open[] = "< open k3316 >< rawmode >";
            [[maybe_unused]] const ssize_t n = ::write(fd, open, sizeof open - 1);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            fds.push_back(fd);
            auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, [&, fd, i] {
                char data[65536];
                char control[256];
                for (;;) {
                    iovec io{data, sizeof data};
                    msghdr msg{};
                    msg.msg_iov = &io;
                    msg.msg_iovlen = 1;
                    msg.msg_control = control;
                    msg.msg_controllen = sizeof control;
                    const ssize_t got = ::recvmsg(fd, &msg, MSG_DONTWAIT);
                    if (got <= 0)
                        return;
                    const int64_t seenNs = clock.nsecsElapsed();
                    int64_t arrivedNs = -1;
                    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                            timespec t;
                            std::memcpy(&t, CMSG_DATA(c), sizeof t);
                            arrivedNs = int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
                        }
                    QByteArray &buffer = pending[size_t(i)];
                    buffer.append(data, got);
                    qsizetype start = 0, end;
                    while ((end = buffer.indexOf('>', start)) >= 0) {
                        // (a blank follows each frame)
                        const QByteArray item = buffer.mid(start, end - start + 1).trimmed();
                        start = end + 1;
                        // "< frame 123 SECONDS.MICROS SSSSSSSS00000000 >"
                        const QList<QByteArray> parts = item.split(' ');
                        if (!item.startsWith("< frame ") || parts.size() < 5)
                            continue;
                        const uint32_t seq = parts[4].left(8).toUInt(nullptr, 16);
                        const int64_t wroteNs = feeder.WrittenWallNs(seq);
                        if (wroteNs < 0)
                            continue;
                        if (arrivedNs >= 0)
                            latencyMs.push_back(double(arrivedNs - wroteNs) / 1e6);
                        seenMs.push_back(double(seenNs - feeder.WrittenAt(seq)) / 1e6);
                        const QList<QByteArray> time = parts[3].split('.');
                        const int64_t readNs = (time.value(0).toLongLong() * 1000000 + time.value(1).toLongLong()) * 1000;
                        if (i == 0) {
                            toServeMs.push_back(double(readNs - wroteNs) / 1e6);
                            if (arrivedNs >= 0)
                                fromServeMs.push_back(double(arrivedNs - readNs) / 1e6);
                        }
                        ++received[size_t(i)];
                    }
                    buffer.remove(0, start);
                }
            });
            notifiers.push_back(std::move(notifier));
        }
        RunEventsFor(300); // past the raw-mode start delay
        feeder.Start();
        RunEventsFor(seconds * 1000);
        feeder.Stop();
        RunEventsFor(100);
        written = feeder.Written();
        serveCpu = ProcessCpuMs(serve.process().processId());
        ::kill(pid_t(serve.process().processId()), SIGINT);
        serve.process().waitForFinished(5000);
        notifiers.clear();
        for (int fd : fds)
            ::close(fd);
    }

    std::printf("bench_serve: %d s a run, %.0f lines/s (8-byte frames at 115200 bit/s)\n", seconds, LineRate);
    std::printf("  monitor alone:        %6.0f ms processor, %zu lines printed\n", monitorCpu, monitorLines);
    std::printf("  serve with 4 clients: %6.0f ms processor (%.2fx monitor's; goal <= 2x)\n", serveCpu,
                monitorCpu > 0 ? serveCpu / monitorCpu : 0.0);
    std::printf("  frames written %zu; received by the clients %zu %zu %zu %zu\n", written, received[0], received[1],
                received[2], received[3]);
    std::printf("  latency module line -> client socket: p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms "
                "(goal p99 < 5 ms)\n",
                Percentile(latencyMs, 0.5), Percentile(latencyMs, 0.9), Percentile(latencyMs, 0.99),
                Percentile(latencyMs, 1.0));
    std::printf("  of which module line -> serve's read p99 %.2f ms, serve's read -> first client p99 %.2f ms\n",
                Percentile(toServeMs, 0.99), Percentile(fromServeMs, 0.99));
    std::printf("  as this process got round to reading them: p50 %.2f ms, p99 %.2f ms\n", Percentile(seenMs, 0.5),
                Percentile(seenMs, 0.99));
    // The machine's load: the figures above include waiting for a processor.
    double load[3] = {};
    if (::getloadavg(load, 3) > 0)
        std::printf("  load average during the runs: %.2f (processors: %ld)\n", load[0], ::sysconf(_SC_NPROCESSORS_ONLN));
    return 0;
}
