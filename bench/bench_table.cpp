// The benchmark table: every speed and memory goal measured in one run against the virtual
// module on a pseudo-terminal, printed as one Markdown table. Prints figures; it never fails.
//
// Usage: bench_table [seconds-per-rate-step [measure ...]]
// measures: startup million idle receive-path million-monitor linerate-full connect maxrate
// maxrate-monitor (default: all; linerate and linerate-monitor name receive-path)
// Environment: BENCH_RECEIVE_RUNS, how often the receive-path rows are measured (default 3,
// interleaved; the least of the runs shown).

#include "support/MessageBoxRecorder.h"
#include "support/ModalDriver.h"
#include "support/SimProcess.h"
#include "monitor/FrameStore.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/main/MainUnit.h"
#include "ui/main/ReceiveModel.h"
#include "ui/main/SettingsDlg.h"
#include "ui/widgets/WholePasteLineEdit.h"

#include "BenchSupport.h"
#include "serial/PosixSerial.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include "ui/main/ReceiveListView.h"
#include "ui/widgets/WholePasteLineEdit.h"
#include <QProcess>
#include <QPushButton>
#include <QLineEdit>
#include <QSysInfo>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long the window takes to answer: another thread posts a timestamped call to the window's
// thread every 10 ms; the delay until it runs is what a user's click would wait.
class LatencyProbe {
public:
    explicit LatencyProbe(QObject *windowThreadObject) : m_target(windowThreadObject) {}
    ~LatencyProbe() { stop(); }
    void start()
    {
        m_running = true;
        m_thread = std::thread([this] {
            while (m_running.load()) {
                const auto posted = Clock::now();
                QMetaObject::invokeMethod(m_target, [this, posted] {
                    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_samples.push_back(ms);
                }, Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    double p95()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return Percentile95(m_samples);
    }

private:
    QObject *m_target;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::mutex m_mutex;
    std::vector<double> m_samples;
};

struct Results {
    double startupMs = 0;
    QString startupPlatform;
    long millionRssMb = 0;
    double millionSaveS = 0;
    double idlePercent = 0;
    double lineRatePercent = 0;
    double lineRateFullPercent = 0;
    double lineRateBytesPerS = 0;
    double maxRateMBs = 0;
    double maxRateLinesPerS = 0;
    double maxRateP95 = 0;
    QString maxRateNote;
    double connectMs = 0;
    double moduleMs = 0;
    // the receive path at the line rate: medians of interleaved runs
    int receiveRuns = 0;
    double bareReaderPercent = -1;
    double bareReaderBytesPerS = 0;
    double lineRateHiddenPercent = -1;
    double lineRateMinimisedPercent = -1;
    // with the frame monitor open
    double lineRateMonitorPercent = -1;
    double lineRateDecodingPercent = -1; // in front with ISO-TP / UDS chosen
    double maxRateMonitorMBs = 0;
    double maxRateMonitorLinesPerS = 0;
    double maxRateMonitorP95 = 0;
    QString maxRateMonitorNote;
    long monitorMillionRssMb = 0;
    double monitorFilterS = -1;
    double monitorExportS = -1;
    qint64 monitorFilterRows = 0;
};

// Launch to the first paint of the real program's window, median of several runs. The program
// reports the moment of that paint on the shared monotonic clock.
void MeasureStartup(Results &r)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/k3316-utility");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("K3316_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    // On a display when there is one (make bench runs under Xvfb), else off screen.
    if (env.contains(QStringLiteral("DISPLAY")) && !env.value(QStringLiteral("DISPLAY")).isEmpty()) {
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        r.startupPlatform = QStringLiteral("xcb");
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        r.startupPlatform = QStringLiteral("offscreen");
    }
    std::vector<double> times;
    for (int i = 0; i < 11; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.setStandardErrorFile(QProcess::nullDevice());
        const auto launched = std::chrono::steady_clock::now().time_since_epoch();
        p.start(program, {});
        const bool ran = p.waitForFinished(10000) && p.exitCode() == 0;
        const QList<QByteArray> words = p.readAllStandardOutput().trimmed().split(' ');
        if (!ran || words.size() != 2 || words[0] != "painted") {
            r.startupPlatform += QStringLiteral(" (did not run)");
            return;
        }
        const double ms = double(words[1].toLongLong() - std::chrono::nanoseconds(launched).count()) / 1e6;
        if (i > 0) // the first run fills the page cache
            times.push_back(ms);
    }
    r.startupMs = Median(times);
}

// A million one-line items, as the line rate lists them: memory, and the time to save them.
void MeasureMillionLines(Results &r)
{
    TMainForm form;
    form.show();
    for (int i = 0; i < 1000000; ++i) {
        form.ReceiveItems()->Append("t123211AB\r");
        if (i % 10000 == 0) {
            form.ReceiveListBox->scrollToBottom();
            QCoreApplication::processEvents();
        }
    }
    QCoreApplication::processEvents();
    r.millionRssMb = ResidentKb() / 1024;
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QElapsedTimer clock;
    clock.start();
    form.SaveBitBtnClick(nullptr);
    r.millionSaveS = clock.nsecsElapsed() / 1e9;
    if (QFile(QStringLiteral("Receive.txt")).size() != 12 * 1000000)
        r.millionSaveS = -1;
    QDir::setCurrent(old);
}

// A million node lines recorded by the monitor (and listed): the whole program's memory with
// the monitor open, then a filter over them and a candump export of them.
void MeasureMonitorMillion(Results &r)
{
    TMainForm form;
    form.show();
    form.FrameMonitor1->trigger();
    TFrameMonitor *monitor = form.FrameMonitorWindow();
    Sim::BusNode node(1);
    int64_t timeUs = 1765280000000000;
    for (int i = 0; i < 1000000; ++i) {
        const QByteArray line = node.next() + '\r';
        form.ReceiveItems()->Append(line);
        form.FrameStore()->Append(line, timeUs += 100);
        monitor->StoreGrew();
        if (i % 10000 == 0)
            QCoreApplication::processEvents();
    }
    QTest::qWait(2 * TFrameTableModel::ShowIntervalMs);
    QCoreApplication::processEvents();
    r.monitorMillionRssMb = ResidentKb() / 1024;
    if (monitor->Frames()->rowCount() != 1000000)
        return;
    QElapsedTimer clock;
    clock.start();
    monitor->IdEdit->setText(QStringLiteral("100-1FF, 7E8"));
    monitor->ApplyFilter();
    QCoreApplication::processEvents(); // the view takes the new rows
    r.monitorFilterS = clock.nsecsElapsed() / 1e9;
    r.monitorFilterRows = monitor->Frames()->rowCount();
    monitor->IdEdit->clear();
    monitor->ApplyFilter();
    QCoreApplication::processEvents();
    clock.start();
    const QByteArray log = monitor->ExportBytes(TLogFormat::Candump);
    r.monitorExportS = clock.nsecsElapsed() / 1e9;
    if (log.count('\n') != qsizetype(form.FrameStore()->TotalFrames()))
        r.monitorExportS = -1;
}

enum class TMonitorState { Closed, InFront, InFrontDecoding, Hidden, Minimised };

// Processor use of the whole program over `seconds`, one second after operation mode stands.
// Only single-shot timers run meanwhile, so nothing of ours wakes the process.
double MeasureConnectedCpu(const QStringList &simArgs, int seconds, double *bytesPerSecond, int listedBefore = 0,
                           TMonitorState monitor = TMonitorState::Closed)
{
    SimProcess sim(simArgs);
    if (!sim.isRunning())
        return -1;
    TMainForm form;
    form.show();
    if (monitor != TMonitorState::Closed) {
        form.FrameMonitor1->trigger(); // opened, shown and in front
        if (monitor == TMonitorState::Hidden)
            form.FrameMonitorWindow()->close(); // closing only hides it; it keeps recording
        else if (monitor == TMonitorState::Minimised)
            form.FrameMonitorWindow()->showMinimized();
        else if (monitor == TMonitorState::InFrontDecoding)
            form.FrameMonitorWindow()->ProtocolComboBox->setCurrentIndex(1); // ISO-TP / UDS
    }
    for (int i = 0; i < listedBefore; ++i)
        form.ReceiveItems()->Append("t123211AB\r");
    QCoreApplication::processEvents();
    double cpu = -1;
    ListedCounter counter;
    double cpuStart = 0;
    qint64 bytesStart = 0;
    QElapsedTimer clock;
    ConnectInOperationMode(form, sim.path(), [&] {
        QTimer::singleShot(1000, &form, [&] {
            counter.update(*form.ReceiveItems());
            bytesStart = counter.bytes;
            cpuStart = ProcessCpuSeconds();
            clock.start();
            QTimer::singleShot(seconds * 1000, &form, [&] {
                const double wall = clock.nsecsElapsed() / 1e9;
                cpu = (ProcessCpuSeconds() - cpuStart) / wall * 100.0;
                counter.update(*form.ReceiveItems());
                if (bytesPerSecond)
                    *bytesPerSecond = double(counter.bytes - bytesStart) / wall;
                form.DisconnectToolButtonClick(nullptr);
            });
        });
    });
    return cpu;
}

// The bare QSocketNotifier reader (bench_bare_reader) against the same module: its processor use.
double MeasureBareReader(const QStringList &simArgs, int seconds, double *bytesPerSecond)
{
    SimProcess sim(simArgs);
    if (!sim.isRunning())
        return -1;
    QProcess reader;
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_bare_reader"),
                 {sim.path(), QString::number(seconds)});
    if (!reader.waitForFinished((seconds + 10) * 1000) || reader.exitCode() != 0)
        return -1;
    const QList<QByteArray> words = reader.readAllStandardOutput().trimmed().split(' ');
    if (words.size() != 2)
        return -1;
    if (bytesPerSecond)
        *bytesPerSecond = words[1].toDouble();
    return words[0].toDouble();
}

// The bare reader, the receive list alone, and the list with the Frame Monitor in front, closed
// (hidden) and minimised, each for `seconds`, in turns `runs` times: a neighbour's load then
// falls on all of them alike. The least of the runs: another program's load only ever adds.
void MeasureReceivePath(Results &r, const QStringList &simArgs, int seconds, int runs)
{
    std::vector<double> bare, list, front, decoding, hidden, minimised, bareBytes, listBytes;
    for (int i = 0; i < runs; ++i) {
        double bytes = 0;
        bare.push_back(MeasureBareReader(simArgs, seconds, &bytes));
        bareBytes.push_back(bytes);
        list.push_back(MeasureConnectedCpu(simArgs, seconds, &bytes));
        listBytes.push_back(bytes);
        front.push_back(MeasureConnectedCpu(simArgs, seconds, nullptr, 0, TMonitorState::InFront));
        decoding.push_back(MeasureConnectedCpu(simArgs, seconds, nullptr, 0, TMonitorState::InFrontDecoding));
        hidden.push_back(MeasureConnectedCpu(simArgs, seconds, nullptr, 0, TMonitorState::Hidden));
        minimised.push_back(MeasureConnectedCpu(simArgs, seconds, nullptr, 0, TMonitorState::Minimised));
        std::fprintf(stderr, "bench: run %d: bare %.2f%%, list %.2f%%, monitor in front %.2f%%, hidden %.2f%%, "
                             "minimised %.2f%%\n",
                     i + 1, bare.back(), list.back(), front.back(), hidden.back(), minimised.back());
    }
    r.receiveRuns = runs;
    const auto least = [](const std::vector<double> &v) {
        double best = -1;
        for (double x : v)
            if (x >= 0 && (best < 0 || x < best))
                best = x;
        return best;
    };
    r.bareReaderPercent = least(bare);
    r.bareReaderBytesPerS = Median(bareBytes);
    r.lineRatePercent = least(list);
    r.lineRateBytesPerS = Median(listBytes);
    r.lineRateMonitorPercent = least(front);
    r.lineRateDecodingPercent = least(decoding);
    r.lineRateHiddenPercent = least(hidden);
    r.lineRateMinimisedPercent = least(minimised);
}

struct RateStep {
    bool complete = false;
    double seconds = 0;
    double p95 = 0;
    qint64 listed = 0;
};

// The node sends `linesPerSecond` for `seconds`; the step holds when every line is listed, no
// later than the node could send them (a pseudo-terminal never drops bytes; it slows the sender
// down instead), while the window answers within 250 ms at the 95th percentile.
RateStep RunRate(qint64 linesPerSecond, int seconds, bool monitorOpen = false)
{
    RateStep step;
    const qint64 total = linesPerSecond * seconds;
    SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--traffic"),
                    QString::number(linesPerSecond), QStringLiteral("--traffic-count"), QString::number(total),
                    QStringLiteral("--traffic-after"), QStringLiteral("100")});
    if (!sim.isRunning())
        return step;
    TMainForm form;
    form.show();
    if (monitorOpen)
        form.FrameMonitor1->trigger();
    ListedCounter counter;
    LatencyProbe probe(&form);
    QElapsedTimer clock;
    ConnectInOperationMode(form, sim.path(), [&] {
        clock.start();
        probe.start();
        auto *check = new QTimer(&form);
        check->setInterval(20);
        QObject::connect(check, &QTimer::timeout, &form, [&, check] {
            counter.update(*form.ReceiveItems());
            // With the monitor open, its rows must be complete too.
            const bool done = counter.lines >= total
                && (!monitorOpen || form.FrameStore()->Count() >= total);
            if (done || clock.elapsed() > qint64(seconds) * 4000 + 5000) {
                step.seconds = clock.nsecsElapsed() / 1e9;
                check->stop();
                probe.stop();
                form.DisconnectToolButtonClick(nullptr);
            }
        });
        check->start();
    });
    counter.update(*form.ReceiveItems());
    step.listed = counter.lines;
    step.p95 = probe.p95();
    step.complete = counter.lines == total && step.seconds <= seconds * 1.1 + 0.2 && step.p95 <= 250
        && (!monitorOpen || form.FrameStore()->Count() == total);
    return step;
}

void MeasureMaxRate(Results &r, double lineBytes, int seconds, bool monitorOpen = false)
{
    double &bestMBs = monitorOpen ? r.maxRateMonitorMBs : r.maxRateMBs;
    double &bestLines = monitorOpen ? r.maxRateMonitorLinesPerS : r.maxRateLinesPerS;
    double &bestP95 = monitorOpen ? r.maxRateMonitorP95 : r.maxRateP95;
    QString &note = monitorOpen ? r.maxRateMonitorNote : r.maxRateNote;
    const double steps[] = {1, 2, 4, 6, 8, 10, 12, 16, 20, 24, 32, 40, 48};
    for (double mbs : steps) {
        const auto lines = qint64(mbs * 1e6 / lineBytes);
        const RateStep s = RunRate(lines, seconds, monitorOpen);
        std::fprintf(stderr, "bench: %5.1f MB/s (%lld lines/s): %s, %lld of %lld listed in %.2f s, p95 %.1f ms\n",
                     mbs, (long long)lines, s.complete ? "held" : "NOT held", (long long)s.listed,
                     (long long)(lines * seconds), s.seconds, s.p95);
        if (!s.complete) {
            note = QStringLiteral("%1 MB/s not held: %2 of %3 lines in %4 s, p95 %5 ms")
                                .arg(mbs)
                                .arg(s.listed)
                                .arg(lines * seconds)
                                .arg(s.seconds, 0, 'f', 2)
                                .arg(s.p95, 0, 'f', 0);
            return;
        }
        bestMBs = mbs;
        bestLines = double(lines);
        bestP95 = s.p95;
    }
    note = QStringLiteral("the highest step tried");
}

// The configuration-mode connect's own exchanges, written straight to the line: what the
// module and the pseudo-terminal take, without the program.
double RawConfigurationExchangeMs(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    PosixSerial::ApplyLineSettings(fd, 115200, false);
    const char *commands[] = {"#A\r", "#PV\r", "#PC\r", "#PM\r", "#P0\r", "#P1\r"};
    QElapsedTimer clock;
    clock.start();
    for (const char *c : commands) {
        if (::write(fd, c, strlen(c)) != ssize_t(strlen(c)))
            break;
        char buffer[256];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                break;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0 || memchr(buffer, '\r', size_t(n)))
                break;
        }
    }
    const double ms = clock.nsecsElapsed() / 1e6;
    ::close(fd);
    return ms;
}

// From the settings dialog's Ok to the Settings page filled, against the module's own time.
void MeasureConfigurationConnect(Results &r)
{
    SimProcess sim({QStringLiteral("--mode"), QStringLiteral("config")});
    if (!sim.isRunning())
        return;
    TMainForm form;
    form.show();
    std::vector<double> connects;
    std::vector<double> raw;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer clock;
        const QString path = sim.path();
        WhenModal<TSettingsForm>([path, &clock](TSettingsForm *d) {
            d->PortComboBox->setEditText(path);
            clock.start();
            d->OkButton->click();
        });
        form.ConnectToolButtonClick(nullptr);
        const double ms = clock.nsecsElapsed() / 1e6;
        const bool filled = form.Connected && form.ModuleMode == 1;
        form.DisconnectToolButtonClick(nullptr);
        QCoreApplication::processEvents();
        if (!filled)
            return;
        if (i > 0) {
            connects.push_back(ms);
            raw.push_back(RawConfigurationExchangeMs(path));
        }
    }
    r.connectMs = Median(connects);
    r.moduleMs = Median(raw);
}

QString CpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown processor");
}

QString Verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("**missed**");
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rateSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    if (!QFile::exists(SimProcess::executable())) {
        std::printf("bench: the virtual module is missing (%s)\n", qPrintable(SimProcess::executable()));
        return 0;
    }

    // A box would stop the run: each is answered and reported instead.
    MessageBoxRecorder boxes;
    boxes.onBox = [](const RecordedBox &b) { std::fprintf(stderr, "bench: box \"%s\"\n", qPrintable(b.text)); };
    QStringList only;
    for (int i = 2; i < argc; ++i)
        only << QString::fromLocal8Bit(argv[i]);
    auto wanted = [&](const char *name) { return only.isEmpty() || only.contains(QLatin1String(name)); };

    Results r;
    const double lineBytes = AverageNodeLineBytes();
    if (wanted("startup")) {
        std::fprintf(stderr, "bench: start-up\n");
        MeasureStartup(r);
    }
    if (wanted("million")) {
        std::fprintf(stderr, "bench: a million lines\n");
        MeasureMillionLines(r);
    }
    if (wanted("idle")) {
        std::fprintf(stderr, "bench: idle, 10 s\n");
        r.idlePercent = MeasureConnectedCpu({QStringLiteral("--mode"), QStringLiteral("operation")}, 10, nullptr);
    }
    // A node filling the line at 115200 baud; it starts after the probe's answer.
    const QStringList lineRateSim = {QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--traffic"),
                                     QString::number(qint64(11520 / lineBytes + 0.5)),
                                     QStringLiteral("--traffic-after"), QStringLiteral("100")};
    if (wanted("receive-path") || wanted("linerate") || wanted("linerate-monitor")) {
        const int runs = std::max(1, qEnvironmentVariableIntValue("BENCH_RECEIVE_RUNS") > 0
                                         ? qEnvironmentVariableIntValue("BENCH_RECEIVE_RUNS") : 3);
        std::fprintf(stderr, "bench: receive path at the line rate, %d runs of 5 x 10 s\n", runs);
        MeasureReceivePath(r, lineRateSim, 10, runs);
    }
    if (wanted("million-monitor")) {
        std::fprintf(stderr, "bench: a million lines in the frame monitor\n");
        MeasureMonitorMillion(r);
    }
    if (wanted("linerate-full")) {
        std::fprintf(stderr, "bench: line rate with 1,000,000 lines listed, 10 s\n");
        r.lineRateFullPercent = MeasureConnectedCpu(lineRateSim, 10, nullptr, 1000000);
    }
    if (wanted("connect")) {
        std::fprintf(stderr, "bench: configuration connect\n");
        MeasureConfigurationConnect(r);
    }
    if (wanted("maxrate")) {
        std::fprintf(stderr, "bench: highest complete rate, %d s per step\n", rateSeconds);
        MeasureMaxRate(r, lineBytes, rateSeconds);
    }

    if (wanted("maxrate-monitor")) {
        std::fprintf(stderr, "bench: highest complete rate with the frame monitor open, %d s per step\n", rateSeconds);
        MeasureMaxRate(r, lineBytes, rateSeconds, true);
    }

    const double ownConnectMs = r.connectMs - r.moduleMs;
    std::printf("\nMachine: %s, %d cores, Linux %s, Qt %s; virtual module on a pseudo-terminal; "
                "node lines average %.1f bytes.\n\n",
                qPrintable(CpuModel()), int(std::thread::hardware_concurrency()),
                qPrintable(QSysInfo::kernelVersion()), qVersion(), lineBytes);
    std::printf("| Measure | Goal | Qt terminal | K-3316 Utility | |\n|---|---|---|---|---|\n");
    std::printf("| Processor, idle in operation mode (10 s) | <= 0.1%% | 0.0%% | %.3f%% | %s |\n",
                r.idlePercent, qPrintable(Verdict(r.idlePercent >= 0 && r.idlePercent <= 0.1)));
    std::printf("| Processor at the 115200-baud line rate (%.0f bytes/s, 10 s) | <= 1.5%% | 4.2%% | %.2f%% | %s |\n",
                r.lineRateBytesPerS, r.lineRatePercent,
                qPrintable(Verdict(r.lineRatePercent >= 0 && r.lineRatePercent <= 1.5)));
    std::printf("| The same with 1,000,000 lines listed before | <= 1.5%% | - | %.2f%% | %s |\n",
                r.lineRateFullPercent,
                qPrintable(Verdict(r.lineRateFullPercent >= 0 && r.lineRateFullPercent <= 1.5)));
    std::printf("| Highest rate listed completely, window answering within 250 ms (p95) | >= 6 MB/s | 2.1 MB/s "
                "| %.0f MB/s (%.0f lines/s, p95 %.1f ms; next: %s) | %s |\n",
                r.maxRateMBs, r.maxRateLinesPerS, r.maxRateP95, qPrintable(r.maxRateNote),
                qPrintable(Verdict(r.maxRateMBs >= 6)));
    std::printf("| Connect click to Settings page filled, beyond the module's reply time | < 5 ms | - | %.2f ms "
                "(%.2f ms in all, %.2f ms the module's six replies) | %s |\n",
                ownConnectMs, r.connectMs, r.moduleMs,
                qPrintable(Verdict(r.connectMs > 0 && ownConnectMs < 5)));
    std::printf("| Resident memory after 1,000,000 listed lines | < 100 MB | 612 MB | %ld MB | %s |\n",
                r.millionRssMb, qPrintable(Verdict(r.millionRssMb > 0 && r.millionRssMb < 100)));
    std::printf("| Saving those 1,000,000 lines | < 1 s | - | %.2f s | %s |\n", r.millionSaveS,
                qPrintable(Verdict(r.millionSaveS >= 0 && r.millionSaveS < 1)));
    if (r.receiveRuns > 0) {
        const double listRatio = r.bareReaderPercent > 0 ? r.lineRatePercent / r.bareReaderPercent : -1;
        const auto points = [&](double p) { return p - r.lineRatePercent; };
        std::printf("| Line rate: bare QSocketNotifier reader (%.0f bytes/s), the floor | - | - | %.2f%% | |\n",
                    r.bareReaderBytesPerS, r.bareReaderPercent);
        std::printf("| Line rate: receive list alone, over the bare reader | <= 1.25 x | - | %.2f x (%.2f%%) | %s |\n",
                    listRatio, r.lineRatePercent, qPrintable(Verdict(listRatio > 0 && listRatio <= 1.25)));
        std::printf("| Line rate: Frame Monitor open and in front, over the list alone | <= +0.5 points | - "
                    "| %+.2f points (%.2f%%) | %s |\n",
                    points(r.lineRateMonitorPercent), r.lineRateMonitorPercent,
                    qPrintable(Verdict(r.lineRateMonitorPercent >= 0 && points(r.lineRateMonitorPercent) <= 0.5)));
        const double decodingUnits = r.bareReaderPercent > 0 && r.lineRateDecodingPercent >= 0
                                         ? (r.lineRateDecodingPercent - r.lineRateMonitorPercent) / r.bareReaderPercent
                                         : -1;
        std::printf("| Line rate: Frame Monitor in front reading ISO-TP/UDS, over in front alone | <= +0.2 floor units | - "
                    "| %+.2f units (%.2f%%) | %s |\n",
                    decodingUnits, r.lineRateDecodingPercent,
                    qPrintable(Verdict(r.lineRateDecodingPercent >= 0 && decodingUnits <= 0.2)));
        // "No measurable addition": within what repeated runs of the list alone move by.
        std::printf("| Line rate: Frame Monitor open but closed (hidden), over the list alone | no addition "
                    "(<= +0.1 points) | - | %+.2f points (%.2f%%) | %s |\n",
                    points(r.lineRateHiddenPercent), r.lineRateHiddenPercent,
                    qPrintable(Verdict(r.lineRateHiddenPercent >= 0 && points(r.lineRateHiddenPercent) <= 0.1)));
        std::printf("| Line rate: Frame Monitor minimised, over the list alone | no addition (<= +0.1 points) | - "
                    "| %+.2f points (%.2f%%) | %s |\n",
                    points(r.lineRateMinimisedPercent), r.lineRateMinimisedPercent,
                    qPrintable(Verdict(r.lineRateMinimisedPercent >= 0 && points(r.lineRateMinimisedPercent) <= 0.1)));
        std::printf("| (receive-path rows: the least of %d interleaved runs of 10 s each) | | | | |\n", r.receiveRuns);
    }
    std::printf("| Highest rate complete with the Frame Monitor open, window answering within 250 ms (p95) | >= 6 MB/s | - "
                "| %.0f MB/s (%.0f lines/s, p95 %.1f ms; next: %s) | %s |\n",
                r.maxRateMonitorMBs, r.maxRateMonitorLinesPerS, r.maxRateMonitorP95, qPrintable(r.maxRateMonitorNote),
                qPrintable(Verdict(r.maxRateMonitorMBs >= 6)));
    std::printf("| Resident memory after 1,000,000 frames, listed and in the Frame Monitor | <= 100 MB | - | %ld MB | %s |\n",
                r.monitorMillionRssMb, qPrintable(Verdict(r.monitorMillionRssMb > 0 && r.monitorMillionRssMb <= 100)));
    std::printf("| Frame Monitor: filter \"100-1FF, 7E8\" over 1,000,000 rows (%lld pass) | < 1 s | - | %.3f s | %s |\n",
                (long long)r.monitorFilterRows, r.monitorFilterS,
                qPrintable(Verdict(r.monitorFilterS >= 0 && r.monitorFilterS < 1)));
    std::printf("| Frame Monitor: candump export of 1,000,000 rows | < 1 s | - | %.3f s | %s |\n", r.monitorExportS,
                qPrintable(Verdict(r.monitorExportS >= 0 && r.monitorExportS < 1)));
    std::printf("| Start-up to the window shown (%s) | < 100 ms | 160 ms | %.0f ms | %s |\n",
                qPrintable(r.startupPlatform), r.startupMs,
                qPrintable(Verdict(r.startupMs > 0 && r.startupMs < 100)));
    return 0;
}
