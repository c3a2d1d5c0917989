// Timing and processor time of transmit lists and log replay, measured where the lines arrive:
// a virtual module stamps each received line with its arrival time on the monotonic clock.
//   k3316-cli: ten rows every 10 ms on an idle line; `monitor` alone with the module's node at
//   the line rate (115200 bit/s); the same list with that node sending back; both again with the
//   node as fast as the pseudo-terminal takes lines (far beyond a real line); a log of
//   100 frames/s played at 1x.
//   The window: the Frame Monitor open at the line rate, then the Transmit List running beside
//   it; Replay Log at 1x.
// The load average is printed beside each figure: the machine may be shared.
// Usage: bench_transmit [SECONDS] (default 60). Prints figures; judges nothing.

#include "support/CliRun.h"
#include "support/MessageBoxRecorder.h"
#include "support/SimProcess.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitRunner.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/transmit/ReplayDialog.h"
#include "ui/transmit/TransmitTableModel.h"
#include "ui/transmit/TransmitWindow.h"

#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QDoubleSpinBox>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

double ChildrenCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray LoadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? load.readAll().split(' ').value(0) : QByteArray("?");
}

constexpr double LineBytesPerSecond = 11520; // 115200 bit/s, ten bits a byte

// The node's lines per second that fill the line.
int LineRateLines()
{
    return int(LineBytesPerSecond / AverageNodeLineBytes() + 0.5);
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

struct TStamp {
    int64_t us;
    QByteArray line;
};

QList<TStamp> ReadStamps(const QString &path)
{
    QList<TStamp> stamps;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return stamps;
    for (const QByteArray &l : f.readAll().split('\n')) {
        const qsizetype blank = l.indexOf(' ');
        if (blank > 0 && !l.mid(blank + 1).startsWith('#'))
            stamps.append({l.left(blank).toLongLong(), l.mid(blank + 1)});
    }
    return stamps;
}

// Runs k3316-cli with `args` against a module started with `simArgs`; returns the stamps, the
// cli's output and its processor seconds.
QList<TStamp> Run(const QStringList &simArgs, const QStringList &args, const QString &stampPath, QByteArray &out,
                  double &cpuSeconds, int timeoutMs)
{
    QFile::remove(stampPath);
    {
        SimProcess sim(simArgs + QStringList{"--stamp", stampPath});
        if (!sim.isRunning()) {
            std::fprintf(stderr, "k3316-sim did not start\n");
            return {};
        }
        const double before = ChildrenCpuSeconds();
        const CliResult r = RunCli(QStringList{"--port", sim.path()} + args, timeoutMs);
        cpuSeconds = ChildrenCpuSeconds() - before;
        out = r.out;
        if (r.exitCode != 0)
            std::fprintf(stderr, "k3316-cli ended with %d: %s\n", r.exitCode, r.err.constData());
    } // the module ends here and writes its stamps out
    return ReadStamps(stampPath);
}

QList<TTransmitRow> TenRows()
{
    QList<TTransmitRow> rows;
    for (int i = 0; i < 10; ++i) {
        TTransmitRow r;
        r.Id = QString::number(0x100 + i, 16);
        r.Dlc = 8;
        r.Data = QByteArray::fromHex("0011223344556677");
        r.PeriodMs = 10;
        rows << r;
    }
    return rows;
}

// Interval errors of every row against its 10 ms period, in ms.
std::vector<double> IntervalErrors(const QList<TStamp> &stamps, QHash<QByteArray, std::vector<int64_t>> &byId)
{
    for (const TStamp &s : stamps)
        if (s.line.startsWith('t') && s.line.mid(1, 1) == "1")
            byId[s.line.mid(1, 3)].push_back(s.us);
    std::vector<double> deviationMs;
    for (const std::vector<int64_t> &t : byId)
        for (size_t i = 1; i < t.size(); ++i)
            deviationMs.push_back(std::abs(double(t[i] - t[i - 1]) / 1000.0 - 10.0));
    return deviationMs;
}

void PrintIntervals(const std::vector<double> &deviationMs)
{
    std::printf("  interval - 10 ms, p50/p99/max  %.3f / %.3f / %.3f ms  (%zu intervals)\n",
                Percentile(deviationMs, 0.5), Percentile(deviationMs, 0.99), Percentile(deviationMs, 1.0),
                deviationMs.size());
}

// k3316-cli transmit with the ten rows; returns its processor share of a core in percent.
double TransmitList(const QString &title, const QStringList &simArgs, double seconds, const QTemporaryDir &dir)
{
    const QString list = dir.filePath(QStringLiteral("ten.json"));
    QFile f(list);
    f.open(QIODevice::WriteOnly);
    f.write(TransmitLists::WriteTransmitList(TenRows()));
    f.close();

    const QByteArray load = LoadAverage();
    QByteArray out;
    double cpu = 0;
    const QList<TStamp> stamps = Run(simArgs, {"transmit", list, "--seconds", QString::number(seconds), "--json"},
                                     dir.filePath(QStringLiteral("tx.stamp")), out, cpu, int(seconds * 1000) + 30000);
    QHash<QByteArray, std::vector<int64_t>> byId;
    const std::vector<double> deviationMs = IntervalErrors(stamps, byId);
    const QJsonObject result = QJsonDocument::fromJson(out).object();
    const QJsonArray rows = result.value(QStringLiteral("messages")).toArray();
    // What the period gives over the time the rows really ran: a send at the start, then one a period.
    const double ran = result.value(QStringLiteral("seconds")).toDouble();
    const double expected = std::floor(ran * 100) + 1;
    int64_t minSent = INT64_MAX, maxSent = 0, minArrived = INT64_MAX, maxArrived = 0, missed = 0;
    for (const QJsonValue &row : rows) {
        minSent = std::min<int64_t>(minSent, row.toObject().value(QStringLiteral("sent")).toInteger());
        maxSent = std::max<int64_t>(maxSent, row.toObject().value(QStringLiteral("sent")).toInteger());
        missed += row.toObject().value(QStringLiteral("missed")).toInteger();
    }
    for (const std::vector<int64_t> &t : byId) {
        minArrived = std::min<int64_t>(minArrived, int64_t(t.size()));
        maxArrived = std::max<int64_t>(maxArrived, int64_t(t.size()));
    }
    const double share = 100 * cpu / seconds;
    std::printf("%s  [load %s]\n", qPrintable(title), load.constData());
    std::printf("  rows seen by the module      %lld\n", qlonglong(byId.size()));
    std::printf("  count per row (cli)          %lld .. %lld  (the period gives %.0f in the %.3f s they ran; "
                "%lld periods passed over)\n",
                qlonglong(minSent), qlonglong(maxSent), expected, ran, qlonglong(missed));
    std::printf("  lines per row at the module  %lld .. %lld\n", qlonglong(minArrived), qlonglong(maxArrived));
    PrintIntervals(deviationMs);
    std::printf("  k3316-cli processor          %.2f s in %.0f s = %.2f %% of a core\n", cpu, seconds, share);
    std::fflush(stdout);
    return share;
}

// k3316-cli monitor alone against a module started with `simArgs`; its processor share.
double Monitor(const QString &title, const QStringList &simArgs, double seconds, const QTemporaryDir &dir)
{
    const QByteArray load = LoadAverage();
    QByteArray out;
    double cpu = 0;
    Run(simArgs, {"monitor", "--seconds", QString::number(seconds)}, dir.filePath(QStringLiteral("mon.stamp")), out,
        cpu, int(seconds * 1000) + 30000);
    const double share = 100 * cpu / seconds;
    std::printf("%s  [load %s]\n", qPrintable(title), load.constData());
    std::printf("  lines printed                %lld (%.0f lines/s)\n", qlonglong(out.count('\n')),
                double(out.count('\n')) / seconds);
    std::printf("  k3316-cli processor          %.2f s in %.0f s = %.2f %% of a core\n", cpu, seconds, share);
    std::fflush(stdout);
    return share;
}

QString WriteDriveLog(double seconds, const QTemporaryDir &dir, std::vector<int64_t> &logUs)
{
    // 100 frames a second, ids cycling, times on a 10 ms grid with a little spread as a bus has.
    const QString log = dir.filePath(QStringLiteral("drive.log"));
    QFile f(log);
    f.open(QIODevice::WriteOnly);
    const int frames = int(seconds * 100);
    for (int i = 0; i < frames; ++i) {
        const int64_t us = int64_t(i) * 10000 + (i * 7919) % 3000;
        logUs.push_back(us);
        const int64_t t = 1765280000000000 + us;
        f.write(QStringLiteral("(%1.%2) can0 %3#%4\n")
                    .arg(t / 1000000)
                    .arg(t % 1000000, 6, 10, QLatin1Char('0'))
                    .arg(0x100 + i % 32, 3, 16, QLatin1Char('0'))
                    .arg(QStringLiteral("%1").arg(i, 16, 16, QLatin1Char('0')))
                    .toLatin1());
    }
    f.close();
    return log;
}

std::vector<double> ArrivalErrors(const QList<TStamp> &all, const std::vector<int64_t> &logUs)
{
    // The log's frames only: what connecting sent before them is no part of the replay.
    QList<TStamp> stamps;
    for (const TStamp &s : all)
        if (s.line.startsWith("t1") && s.line.size() == 21)
            stamps << s;
    std::vector<double> lateMs;
    for (qsizetype i = 0; i < stamps.size() && i < qsizetype(logUs.size()); ++i)
        lateMs.push_back(std::abs(double((stamps[i].us - stamps[0].us) - (logUs[size_t(i)] - logUs[0])) / 1000.0));
    return lateMs;
}

void Replay(double seconds, const QTemporaryDir &dir)
{
    std::vector<int64_t> logUs;
    const QString log = WriteDriveLog(seconds, dir, logUs);
    const int frames = int(logUs.size());
    const QByteArray load = LoadAverage();
    QByteArray out;
    double cpu = 0;
    const QList<TStamp> stamps = Run({"--mode", "operation"}, {"play", log}, dir.filePath(QStringLiteral("play.stamp")),
                                     out, cpu, int(seconds * 1000) + 30000);
    const std::vector<double> lateMs = ArrivalErrors(stamps, logUs);
    std::printf("Replay (k3316-cli play): %d frames at 100 frames/s, 1x  [load %s]\n", frames, load.constData());
    std::printf("  frames seen by the module    %zu  (%s)\n", lateMs.size(), out.trimmed().constData());
    std::printf("  arrival - log time, p50/p99/max  %.3f / %.3f / %.3f ms\n", Percentile(lateMs, 0.5),
                Percentile(lateMs, 0.99), Percentile(lateMs, 1.0));
    std::printf("  k3316-cli processor          %.2f s = %.2f %% of a core\n", cpu, 100 * cpu / seconds);
    std::fflush(stdout);
}

// The window connected to a module started with `simArgs`, the Frame Monitor open; with `list`
// the Transmit List runs the ten rows beside it, with `replayLog` Replay Log plays it at 1x.
// Returns the stamps; `share` is this process's processor share over the run.
QList<TStamp> WindowRun(const QStringList &simArgs, double seconds, const QString &stampPath, bool list,
                        const QString &replayLog, double &share)
{
    QFile::remove(stampPath);
    share = -1;
    {
        SimProcess sim(simArgs + QStringList{"--stamp", stampPath});
        if (!sim.isRunning()) {
            std::fprintf(stderr, "k3316-sim did not start\n");
            return {};
        }
        MessageBoxRecorder boxes;
        TMainForm form;
        form.show();
        double cpuStart = 0;
        QElapsedTimer clock;
        ConnectInOperationMode(form, sim.path(), [&] {
            form.FrameMonitor1->trigger();
            TTransmitWindow *w = nullptr;
            if (list) {
                form.TransmitList1->trigger();
                w = form.TransmitWindow();
                w->Runner()->SetRows(TenRows());
                w->Model()->Reset();
            }
            QCoreApplication::processEvents();
            cpuStart = ProcessCpuSeconds();
            clock.start();
            if (w)
                w->Runner()->Start(); // past the window's question about the load
            TReplayDialog *d = nullptr;
            if (!replayLog.isEmpty()) {
                form.ReplayLog1->trigger();
                d = form.ReplayDialog();
                d->FileEdit()->setText(replayLog);
                d->StartClick();
            }
            auto *watch = new QTimer(&form);
            watch->setInterval(100);
            QObject::connect(watch, &QTimer::timeout, &form, [&, w, d, watch] {
                const bool replayDone = d && d->Runner() && !d->Runner()->Running();
                if (!replayDone && clock.elapsed() < qint64(seconds * 1000) + (d ? 10000 : 0))
                    return;
                watch->stop();
                share = 100 * (ProcessCpuSeconds() - cpuStart) / (double(clock.nsecsElapsed()) / 1e9);
                if (w)
                    w->Runner()->Stop();
                form.DisconnectToolButtonClick(nullptr);
            });
            watch->start();
        });
        if (!boxes.boxes.isEmpty())
            std::fprintf(stderr, "the window said: %s\n", qPrintable(boxes.texts().join(QLatin1Char('|'))));
    } // the module ends here and writes its stamps out
    return ReadStamps(stampPath);
}

void Window(double seconds, const QTemporaryDir &dir, double &monitorShare, double &listShare)
{
    const QStringList busy{"--mode", "operation", "--traffic", QString::number(LineRateLines()), "--traffic-after",
                           "200"};
    QByteArray load = LoadAverage();
    WindowRun(busy, seconds, dir.filePath(QStringLiteral("w0.stamp")), false, QString(), monitorShare);
    std::printf("Window: Frame Monitor open, node at the line rate  [load %s]\n", load.constData());
    std::printf("  window processor             %.2f %% of a core\n", monitorShare);
    load = LoadAverage();
    const QList<TStamp> stamps = WindowRun(busy, seconds, dir.filePath(QStringLiteral("w1.stamp")), true, QString(), listShare);
    QHash<QByteArray, std::vector<int64_t>> byId;
    std::printf("Window: Transmit List (10 rows every 10 ms) beside the Frame Monitor at the line rate  [load %s]\n",
                load.constData());
    PrintIntervals(IntervalErrors(stamps, byId));
    std::printf("  window processor             %.2f %% of a core (%.2f points over the Frame Monitor alone)\n",
                listShare, listShare - monitorShare);
    std::vector<int64_t> logUs;
    const QString log = WriteDriveLog(seconds, dir, logUs);
    load = LoadAverage();
    double replayShare = 0;
    const QList<TStamp> played = WindowRun({"--mode", "operation"}, seconds, dir.filePath(QStringLiteral("w2.stamp")),
                                           false, log, replayShare);
    const std::vector<double> lateMs = ArrivalErrors(played, logUs);
    std::printf("Window: Replay Log, %zu frames at 100 frames/s, 1x  [load %s]\n", logUs.size(), load.constData());
    std::printf("  frames seen by the module    %zu\n", lateMs.size());
    std::printf("  arrival - log time, p50/p99/max  %.3f / %.3f / %.3f ms\n", Percentile(lateMs, 0.5),
                Percentile(lateMs, 0.99), Percentile(lateMs, 1.0));
    std::printf("  window processor             %.2f %% of a core\n", replayShare);
    std::fflush(stdout);
}

// The runner in this process, its sends going nowhere: how late each send leaves after its
// deadline on the grid. Without the port and the module's wake-up this is the wake-up path alone
// (the alarm, the event loop, the clock), and under load the wait for a processor.
void WakeUps(double seconds)
{
    const QByteArray load = LoadAverage();
    std::vector<double> lateMs;
    int64_t start = 0;
    TTransmitRunner runner(SteadyClockUs, [&](const QByteArray &) {
        lateMs.push_back(double((SteadyClockUs() - start) % 10000) / 1000.0);
        return true;
    });
    runner.SetRows(TenRows());
    start = SteadyClockUs();
    runner.Start();
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    runner.Stop();
    std::printf("Wake-up path alone (the runner in this process, no port)  [load %s]\n", load.constData());
    std::printf("  send after its deadline, p50/p99/max  %.3f / %.3f / %.3f ms  (%zu sends)\n",
                Percentile(lateMs, 0.5), Percentile(lateMs, 0.99), Percentile(lateMs, 1.0), lateMs.size());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, QByteArray(argv[1]).toDouble()) : 60.0;
    QTemporaryDir dir;
    const int lineRate = LineRateLines();
    std::printf("bench_transmit: %.0f s a run; the node's line rate: %d lines/s (115200 bit/s)  [load at start %s]\n",
                seconds, lineRate, LoadAverage().constData());
    const QStringList idle{"--mode", "operation"};
    const QStringList busy{"--mode", "operation", "--traffic", QString::number(lineRate), "--traffic-after", "200"};
    const QStringList flood{"--mode", "operation", "--traffic", "max", "--traffic-after", "200"};
    WakeUps(std::min(seconds, 10.0));
    const double own = TransmitList(QStringLiteral("k3316-cli transmit: 10 rows every 10 ms, idle line"), idle, seconds, dir);
    const double monitor = Monitor(QStringLiteral("k3316-cli monitor alone, node at the line rate"), busy, seconds, dir);
    const double list = TransmitList(QStringLiteral("k3316-cli transmit: the same list, node at the line rate"), busy,
                                     seconds, dir);
    std::printf("  => transmit at the line rate: %.2f %% against 1.5 x (monitor %.2f %% + the list's own %.2f %%) = "
                "%.2f %%: %.2f of that bound\n",
                list, monitor, own, 1.5 * (monitor + own), (monitor + own) > 0 ? list / (1.5 * (monitor + own)) : 0.0);
    Monitor(QStringLiteral("k3316-cli monitor alone, node as fast as the pseudo-terminal takes lines"), flood, seconds, dir);
    TransmitList(QStringLiteral("k3316-cli transmit: the same list, node as fast as the pseudo-terminal takes lines"),
                 flood, seconds, dir);
    Replay(seconds, dir);
    double windowMonitor = 0, windowList = 0;
    Window(seconds, dir, windowMonitor, windowList);
    return 0;
}
