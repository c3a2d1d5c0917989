// `k3316-cli slcan` at the line rate against `k3316-cli monitor` on the same stream. This process
// plays the module on a pseudo-terminal (both tools run with --no-probe) and writes eight-byte
// frames carrying their sequence number. Three runs: monitor, its output read here; slcan with
// python-can's slcan interface reading (every frame must come, in order); slcan with this
// process reading the terminal. Latency is from the module's write to the reader having the frame.
// Goals: slcan's processor time at most 1.5 times monitor's; its p99 at most 2 ms above monitor's.
// Usage: bench_slcan [SECONDS]   (default 5 per run)

#include "BenchSupport.h"
#include "support/CliRun.h"
#include "support/PtyPair.h"
#include "support/SlcanProcess.h"

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
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// 115200 bit/s, ten bits a byte, "t1238" + 16 data digits + CR: 22 bytes a line.
constexpr double LineRate = 115200.0 / 10.0 / 22.0;

// What python-can's slcan interface received: "SEQUENCE TIMESTAMP" a frame, printed at the end
// so that printing costs the reader nothing while frames come.
const char *const kPythonReader = R"(
import sys, can
bus = can.Bus(interface="slcan", channel=sys.argv[1], sleep_after_open=0)
print("ready", flush=True)
seen = []
while True:
    m = bus.recv(3)
    if m is None:
        break
    seen.append("%s %.6f" % (m.data[:4].hex(), m.timestamp))
bus.shutdown()
print("\n".join(seen))
)";

int64_t wallNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The module: frames at the line rate on `pty`, each written at a wall time kept by sequence.
class Module {
public:
    explicit Module(PtyPair &pty) : m_pty(pty)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const size_t due = size_t(double(m_clock.nsecsElapsed()) / 1e9 * LineRate);
            QByteArray bytes;
            for (size_t seq = m_wroteNs.size(); seq < due; ++seq)
                bytes += "t1238" + QByteArray::number(qulonglong(seq), 16).toUpper().rightJustified(8, '0') + "00000000\r";
            if (bytes.isEmpty())
                return;
            m_wroteNs.resize(due, wallNs());
            m_pty.write(bytes);
        });
    }
    void run(int seconds)
    {
        m_clock.start();
        m_timer.start(1);
        RunEventsFor(seconds * 1000);
        m_timer.stop();
    }
    size_t written() const { return m_wroteNs.size(); }
    // Latency of frame `seq` seen at `atNs` (wall clock), in ms; negative when unknown.
    double latencyMs(uint32_t seq, int64_t atNs) const
    {
        return seq < m_wroteNs.size() ? double(atNs - m_wroteNs[seq]) / 1e6 : -1;
    }

private:
    PtyPair &m_pty;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::vector<int64_t> m_wroteNs;
};

struct Result {
    double cpuMs = -1;
    size_t written = 0;
    size_t received = 0;
    bool inOrder = true; // every frame, in order, none twice
    std::vector<double> latencyMs;

    void seen(uint32_t seq, double ms)
    {
        inOrder = inOrder && seq == received;
        ++received;
        if (ms >= 0)
            latencyMs.push_back(ms);
    }
    void print(const char *name) const
    {
        std::printf("  %-26s %6.0f ms processor; %zu of %zu frames%s; latency p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    name, cpuMs, received, written, inOrder && received == written ? ", in order" : " (LOST OR REORDERED)",
                    Percentile(latencyMs, 0.5), Percentile(latencyMs, 0.99), Percentile(latencyMs, 1.0));
    }
};

// Takes "SSSSSSSS" after each "t1238" of `text`.
template <typename Seen> void scanSequences(const QByteArray &text, Seen &&seen)
{
    for (qsizetype at = text.indexOf("t1238"); at >= 0 && at + 13 <= text.size(); at = text.indexOf("t1238", at + 13))
        seen(text.mid(at + 5, 8).toUInt(nullptr, 16));
}

Result runMonitor(int seconds)
{
    Result r;
    PtyPair pty;
    Module module(pty);
    QProcess monitor;
    monitor.start(CliExecutable(), {"--port", pty.slavePath(), "--no-probe", "monitor"});
    if (!monitor.waitForStarted(5000))
        return r;
    QByteArray pending;
    QObject::connect(&monitor, &QProcess::readyReadStandardOutput, [&] {
        const int64_t now = wallNs();
        pending += monitor.readAllStandardOutput();
        const qsizetype end = pending.lastIndexOf('\n') + 1;
        scanSequences(pending.left(end), [&](uint32_t seq) { r.seen(seq, module.latencyMs(seq, now)); });
        pending.remove(0, end);
    });
    RunEventsFor(300);
    module.run(seconds);
    RunEventsFor(300);
    r.written = module.written();
    r.cpuMs = ProcessCpuMs(monitor.processId());
    ::kill(pid_t(monitor.processId()), SIGINT);
    monitor.waitForFinished(5000);
    return r;
}

Result runSlcanWithPython(int seconds)
{
    Result r;
    PtyPair pty;
    Module module(pty);
    SlcanProcess slcan(pty.slavePath(), {"--no-probe"});
    if (slcan.path().isEmpty())
        return r;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QLatin1String(kPythonReader), slcan.path()});
    if (!python.waitForStarted(5000) || !python.waitForReadyRead(30000))
        return r;
    module.run(seconds);
    if (!python.waitForFinished(60000))
        return r;
    r.written = module.written();
    r.cpuMs = ProcessCpuMs(slcan.process().processId());
    for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            r.seen(parts[0].toUInt(nullptr, 16), module.latencyMs(parts[0].toUInt(nullptr, 16),
                                                                   int64_t(parts[1].toDouble() * 1e9)));
    }
    return r;
}

Result runSlcanWithRawReader(int seconds)
{
    Result r;
    PtyPair pty;
    Module module(pty);
    SlcanProcess slcan(pty.slavePath(), {"--no-probe"});
    if (slcan.path().isEmpty())
        return r;
    const int fd = ::open(slcan.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    [[maybe_unused]] const ssize_t opened = ::write(fd, "O\r", 2);
    QByteArray pending;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        const int64_t now = wallNs();
        pending.append(buffer, n);
        const qsizetype end = pending.lastIndexOf('\r') + 1;
        scanSequences(pending.left(end), [&](uint32_t seq) { r.seen(seq, module.latencyMs(seq, now)); });
        pending.remove(0, end);
    });
    RunEventsFor(300);
    module.run(seconds);
    RunEventsFor(300);
    r.written = module.written();
    r.cpuMs = ProcessCpuMs(slcan.process().processId());
    ::close(fd);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    double load[3] = {};
    ::getloadavg(load, 3);
    const double loadBefore = load[0];

    const Result monitor = runMonitor(seconds);
    const Result python = runSlcanWithPython(seconds);
    const Result raw = runSlcanWithRawReader(seconds);

    std::printf("bench_slcan: %d s a run, %.0f lines/s (8-byte frames at 115200 bit/s)\n", seconds, LineRate);
    monitor.print("monitor, output read here");
    python.print("slcan, python-can reading");
    raw.print("slcan, terminal read here");
    std::printf("  slcan's processor: %.2fx monitor's with python-can, %.2fx with the plain reader (goal <= 1.5x)\n",
                monitor.cpuMs > 0 ? python.cpuMs / monitor.cpuMs : 0.0, monitor.cpuMs > 0 ? raw.cpuMs / monitor.cpuMs : 0.0);
    std::printf("  latency p99 over monitor's: %+.2f ms with python-can, %+.2f ms with the plain reader (goal <= +2 ms)\n",
                Percentile(python.latencyMs, 0.99) - Percentile(monitor.latencyMs, 0.99),
                Percentile(raw.latencyMs, 0.99) - Percentile(monitor.latencyMs, 0.99));
    // The machine's load: the figures above include waiting for a processor.
    ::getloadavg(load, 3);
    std::printf("  load average before %.2f, after %.2f (processors: %ld)\n", loadBefore, load[0],
                ::sysconf(_SC_NPROCESSORS_ONLN));
    return 0;
}
