// Log conversion figures: k3316-cli convert against python-can's LogReader feeding its Logger on
// the same files (candump -> ASC, ASC -> BLF, BLF -> candump, pcapng -> candump), their wall time
// and peak memory (each the median of three runs); decode --dbc to JSON Lines against convert to
// candump; optionally a 2 GB log.
// Usage: bench_logs [FRAMES]   (default 1000000; K3316_BENCH_2GB=1 adds the 2 GB log)

#include "GeneratedLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

struct TRun {
    double seconds = -1;
    double cpu = -1; // user and system seconds: steadier than wall time on a shared machine
    long peakKb = -1;
    int status = -1;
};

double Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs the program with its output to /dev/null: wall time, and peak memory of that one child.
TRun Run(const QStringList &args)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    TRun r;
    const double start = Now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return r;
    }
    posix_spawn_file_actions_destroy(&actions);
    rusage usage{};
    int status = 0;
    wait4(pid, &status, 0, &usage);
    r.seconds = Now() - start;
    r.peakKb = usage.ru_maxrss;
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The run of median wall time of three, so one stall of a shared machine does not decide a ratio;
// a failed run is kept, so it shows. `output`, when given, is removed before each run: replacing
// the last run's file would add the freeing of its blocks and pages (about 10 ms for 38 MB) to
// the time of whichever program writes it.
TRun Median3(const QStringList &args, const QString &output = QString())
{
    const auto once = [&] {
        if (!output.isEmpty())
            QFile::remove(output);
        return Run(args);
    };
    TRun runs[3] = {once(), once(), once()};
    std::sort(std::begin(runs), std::end(runs), [](const TRun &a, const TRun &b) { return a.seconds < b.seconds; });
    for (const TRun &r : runs)
        if (r.status != 0)
            return r;
    return runs[1];
}

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().trimmed()) : QStringLiteral("?");
}

// 100 messages of 8 one-byte signals, on the identifiers the log uses.
bool WriteDbc(const QString &path)
{
    QByteArray text = "VERSION \"\"\nNS_ :\nBS_:\nBU_: A B\n";
    for (int m = 0; m < 100; ++m) {
        const bool extended = m % 3 == 0;
        const uint32_t id = extended ? (0x18FEF100u + uint32_t(m)) | 0x80000000u : 0x100u + uint32_t(m);
        text += "BO_ " + QByteArray::number(id) + " M" + QByteArray::number(m) + ": 8 A\n";
        for (int s = 0; s < 8; ++s)
            text += " SG_ S" + QByteArray::number(s) + " : " + QByteArray::number(s * 8) + "|8@1+ (0.5,0) [0|127.5] \"u\" B\n";
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

void Print(const char *what, const TRun &ours, const TRun &theirs)
{
    std::printf("%-18s ours %6.2f s (cpu %5.2f) %6.1f MB | python-can %6.2f s (cpu %6.2f) %6.1f MB | %5.1fx wall, %5.1fx cpu%s\n",
                what, ours.seconds, ours.cpu, double(ours.peakKb) / 1024, theirs.seconds, theirs.cpu,
                double(theirs.peakKb) / 1024, theirs.seconds / ours.seconds, theirs.cpu / ours.cpu,
                ours.status != 0 || theirs.status != 0 ? "  (a run failed)" : "");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 frames = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/k3316-cli");
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    QTemporaryDir dir;
    const auto p = [&dir](const char *name) { return dir.filePath(QLatin1String(name)); };
    std::printf("bench_logs: %lld frames; load average before: %s\n", (long long)frames, qPrintable(LoadAverage()));
    if (!WriteGeneratedLog(p("in.log"), TLogFormat::Candump, frames) || !WriteDbc(p("db.dbc"))) {
        std::printf("cannot write the inputs\n");
        return 1;
    }
    // The inputs of the other conversions, made by ours (not timed).
    Run({cli, QStringLiteral("convert"), p("in.log"), p("in.asc")});
    Run({cli, QStringLiteral("convert"), p("in.log"), p("in.blf")});
    Run({cli, QStringLiteral("convert"), p("in.log"), p("in.pcapng")});
    const QString pyConvert = QStringLiteral("import sys, can\nw = can.Logger(sys.argv[2])\n"
                                             "for m in can.LogReader(sys.argv[1]):\n    w.on_message_received(m)\nw.stop()\n");
    struct TCase {
        const char *what, *in, *out;
        bool pythonReads;
    };
    const TCase cases[] = {{"candump -> ASC", "in.log", "o1.asc", true},
                           {"ASC -> BLF", "in.asc", "o2.blf", true},
                           {"BLF -> candump", "in.blf", "o3.log", true},
                           {"pcapng -> candump", "in.pcapng", "o4.log", false}};
    for (const TCase &c : cases) {
        const TRun ours = Median3({cli, QStringLiteral("convert"), p(c.in), p(c.out)}, p(c.out));
        TRun theirs;
        const QString theirOut = p(c.out) + QStringLiteral(".py.") + QFileInfo(c.out).suffix();
        if (c.pythonReads)
            theirs = Median3({python, QStringLiteral("-c"), pyConvert, p(c.in), theirOut}, theirOut);
        if (!c.pythonReads)
            std::printf("%-18s ours %6.2f s (cpu %5.2f) %6.1f MB | python-can has no pcapng reader\n", c.what, ours.seconds,
                        ours.cpu, double(ours.peakKb) / 1024);
        else
            Print(c.what, ours, theirs);
    }
    const TRun decode = Median3({cli, QStringLiteral("decode"), QStringLiteral("--dbc"), p("db.dbc"), p("in.log"),
                                 QStringLiteral("--format"), QStringLiteral("json")});
    const TRun toCandump = Median3({cli, QStringLiteral("convert"), p("in.log"), QStringLiteral("-"), QStringLiteral("--format"),
                                QStringLiteral("candump")});
    std::printf("decode --dbc (100 messages) to JSON Lines %.2f s (cpu %.2f) %.1f MB; convert to candump %.2f s (cpu %.2f); "
                "ratio %.2f wall, %.2f cpu\n",
                decode.seconds, decode.cpu, double(decode.peakKb) / 1024, toCandump.seconds, toCandump.cpu,
                decode.seconds / toCandump.seconds, decode.cpu / toCandump.cpu);
    // The first line of decode, as a script reading its output sees it.
    for (const char *format : {"json", "csv"}) {
        QProcess decodeFirst;
        QElapsedTimer clock;
        clock.start();
        decodeFirst.start(cli, {QStringLiteral("decode"), QStringLiteral("--dbc"), p("db.dbc"), p("in.log"),
                                QStringLiteral("--format"), QLatin1String(format)});
        decodeFirst.waitForReadyRead(30000);
        std::printf("decode --format %s: first output after %lld ms\n", format, (long long)clock.elapsed());
        decodeFirst.kill();
        decodeFirst.waitForFinished();
    }
    std::fflush(stdout);
    if (qEnvironmentVariableIntValue("K3316_BENCH_2GB") == 1) {
        const qint64 big = 2LL * 1024 * 1024 * 1024 / 36; // about 36 bytes a line
        if (WriteGeneratedLog(p("big.log"), TLogFormat::Candump, big)) {
            const TRun r = Run({cli, QStringLiteral("convert"), p("big.log"), p("big.blf")});
            std::printf("2 GB candump (%.2f GB, %lld frames) -> BLF: %.1f s (cpu %.1f), peak %.1f MB\n",
                        double(QFileInfo(p("big.log")).size()) / (1 << 30), (long long)big, r.seconds, r.cpu,
                        double(r.peakKb) / 1024);
        }
        QFile::remove(p("big.log"));
        QFile::remove(p("big.blf"));
    }
    std::printf("load average after: %s\n", qPrintable(LoadAverage()));
    return 0;
}
