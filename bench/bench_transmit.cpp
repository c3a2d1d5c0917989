// Timing of transmit lists and log replay, measured where the lines arrive: k3316-cli drives a
// virtual module that stamps each received line with its arrival time on the monotonic clock.
//   1. ten rows every 10 ms for S seconds, idle line;
//   2. the same while the module's line-rate node fills the other direction (busy receive);
//   3. a log of 100 frames/s over S seconds played at 1x.
// Usage: bench_transmit [SECONDS] (default 60). Prints figures; judges nothing.

#include "support/CliRun.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

void TransmitList(const QString &title, const QStringList &simArgs, double seconds, const QTemporaryDir &dir)
{
    QJsonArray messages;
    for (int i = 0; i < 10; ++i)
        messages.append(QJsonObject{{"enabled", true}, {"id", QString::number(0x100 + i, 16)}, {"extended", false},
                                    {"remote", false}, {"dlc", 8}, {"data", "0011223344556677"},
                                    {"period_ms", 10}, {"count", 0}});
    const QString list = dir.filePath(QStringLiteral("ten.json"));
    QFile f(list);
    f.open(QIODevice::WriteOnly);
    f.write(QJsonDocument(QJsonObject{{"format", "k3316-transmit"}, {"version", 1}, {"messages", messages}}).toJson());
    f.close();

    QByteArray out;
    double cpu = 0;
    const QList<TStamp> stamps = Run(simArgs, {"transmit", list, "--seconds", QString::number(seconds), "--json"},
                                     dir.filePath(QStringLiteral("tx.stamp")), out, cpu, int(seconds * 1000) + 30000);
    QHash<QByteArray, std::vector<int64_t>> byId;
    for (const TStamp &s : stamps)
        if (s.line.startsWith('t'))
            byId[s.line.mid(1, 3)].push_back(s.us);
    const QJsonObject result = QJsonDocument::fromJson(out).object();
    const QJsonArray rows = result.value(QStringLiteral("messages")).toArray();
    // What the period gives over the time the rows really ran: a send at the start, then one a period.
    const double ran = result.value(QStringLiteral("seconds")).toDouble();
    const double expected = std::floor(ran * 100) + 1;
    int64_t minSent = INT64_MAX, maxSent = 0, minArrived = INT64_MAX, maxArrived = 0;
    for (const QJsonValue &row : rows) {
        minSent = std::min<int64_t>(minSent, row.toObject().value(QStringLiteral("sent")).toInteger());
        maxSent = std::max<int64_t>(maxSent, row.toObject().value(QStringLiteral("sent")).toInteger());
    }
    std::vector<double> deviationMs;
    for (const std::vector<int64_t> &t : byId) {
        minArrived = std::min<int64_t>(minArrived, int64_t(t.size()));
        maxArrived = std::max<int64_t>(maxArrived, int64_t(t.size()));
        for (size_t i = 1; i < t.size(); ++i)
            deviationMs.push_back(std::abs(double(t[i] - t[i - 1]) / 1000.0 - 10.0));
    }
    std::printf("%s\n", qPrintable(title));
    std::printf("  rows seen by the module      %lld\n", qlonglong(byId.size()));
    std::printf("  count per row (cli)          %lld .. %lld  (the period gives %.0f in the %.3f s they ran)\n",
                qlonglong(minSent), qlonglong(maxSent), expected, ran);
    std::printf("  lines per row at the module  %lld .. %lld\n", qlonglong(minArrived), qlonglong(maxArrived));
    std::printf("  interval - 10 ms, p50/p99/max  %.3f / %.3f / %.3f ms\n", Percentile(deviationMs, 0.5),
                Percentile(deviationMs, 0.99), Percentile(deviationMs, 1.0));
    std::printf("  k3316-cli processor          %.2f s in %.0f s = %.2f %% of a core\n", cpu, seconds, 100 * cpu / seconds);
    std::fflush(stdout);
}

void Replay(double seconds, const QTemporaryDir &dir)
{
    // 100 frames a second, ids cycling, times on a 10 ms grid with a little spread as a bus has.
    const QString log = dir.filePath(QStringLiteral("drive.log"));
    QFile f(log);
    f.open(QIODevice::WriteOnly);
    const int frames = int(seconds * 100);
    std::vector<int64_t> logUs;
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
    QByteArray out;
    double cpu = 0;
    const QList<TStamp> stamps = Run({"--mode", "operation"}, {"play", log}, dir.filePath(QStringLiteral("play.stamp")),
                                     out, cpu, int(seconds * 1000) + 30000);
    std::vector<double> lateMs;
    for (qsizetype i = 0; i < stamps.size() && i < qsizetype(logUs.size()); ++i)
        lateMs.push_back(std::abs(double((stamps[i].us - stamps[0].us) - (logUs[size_t(i)] - logUs[0])) / 1000.0));
    std::printf("Replay: %d frames at 100 frames/s, 1x\n", frames);
    std::printf("  frames seen by the module    %lld  (%s)\n", qlonglong(stamps.size()), out.trimmed().constData());
    std::printf("  arrival - log time, p50/p99/max  %.3f / %.3f / %.3f ms\n", Percentile(lateMs, 0.5),
                Percentile(lateMs, 0.99), Percentile(lateMs, 1.0));
    std::printf("  k3316-cli processor          %.2f s = %.2f %% of a core\n", cpu, 100 * cpu / seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, QByteArray(argv[1]).toDouble()) : 60.0;
    QTemporaryDir dir;
    std::printf("bench_transmit: %.0f s a run (load average at start: ", seconds);
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("%s", load.readAll().split(' ').value(0).constData());
    std::printf(")\n");
    TransmitList(QStringLiteral("Transmit list: 10 rows every 10 ms, idle line"), {"--mode", "operation"}, seconds, dir);
    TransmitList(QStringLiteral("Transmit list: 10 rows every 10 ms, line-rate node sending back"),
                 {"--mode", "operation", "--traffic", "max", "--traffic-after", "200"}, seconds, dir);
    Replay(seconds, dir);
    return 0;
}
