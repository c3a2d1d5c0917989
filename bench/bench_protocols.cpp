// decode --protocol against decode --dbc on the same log: 1,000,000 frames of diagnostic
// conversations, J1939 traffic with DM1 by BAM, and CANopen SDO transfers and heartbeats. Prints
// the wall and processor seconds of each run and the ratio to the plain decode.
// Usage: bench_protocols [FRAMES]

#include "support/CliRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

namespace {

// A repeating mix of conversations, as candump -l lines.
QByteArray makeLog(int frames)
{
    const char *const cycle[] = {
        "7E0#0322F190AAAAAAAA", "7E8#101462F190575657", "7E0#3000000000000000", "7E8#215A5A5A314A5A58",
        "7E8#2257303030303031", "0CF00400#F07D7D902400F07D", "1CECFF00#200A0002FFCAFE00", "1CEBFF00#0104FF6E000501D0",
        "1CEBFF00#02070301FFFFFFFF", "605#4018100100000000", "585#4318100178563412", "705#05",
        "123#1122334455667788", "7DF#02010CAAAAAAAAAA", "7E8#04410C1AF8AAAAAA", "18FEF100#E8030000000000AA"};
    const int n = int(sizeof cycle / sizeof cycle[0]);
    QByteArray log;
    log.reserve(qsizetype(frames) * 44);
    for (int i = 0; i < frames; ++i) {
        const long long us = 1765280000000000LL + i * 500LL;
        log += "(" + QByteArray::number(us / 1000000) + "." + QByteArray::number(us % 1000000).rightJustified(6, '0') + ") can0 "
               + cycle[i % n] + "\n";
    }
    return log;
}

double childCpuSeconds()
{
    rusage u = {};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TRun {
    double wall = 0;
    double cpu = 0;
    int exit = -1;
    qsizetype lines = 0;
};

TRun timed(const QStringList &args)
{
    TRun r;
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer t;
    t.start();
    const CliResult result = RunCli(args, 600000);
    r.wall = double(t.elapsed()) / 1000.0;
    r.cpu = childCpuSeconds() - cpuBefore;
    r.exit = result.exitCode;
    r.lines = result.out.count('\n');
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? atoi(argv[1]) : 1000000;
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    const QString dbc = dir.filePath(QStringLiteral("one.dbc"));
    QFile f(log);
    if (!f.open(QIODevice::WriteOnly) || f.write(makeLog(frames)) < 0)
        return 1;
    f.close();
    QFile d(dbc);
    if (!d.open(QIODevice::WriteOnly)
        || d.write("VERSION \"\"\nNS_ :\nBS_:\nBU_: ECU\nBO_ 291 Plain: 8 ECU\n SG_ B0 : 0|8@1+ (1,0) [0|255] \"\" ECU\n") < 0)
        return 1;
    d.close();
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("decode of %d frames (load %.1f)\n", frames, load[0]);
    std::printf("%-24s %10s %10s %8s %10s\n", "run", "wall s", "cpu s", "ratio", "lines out");
    const TRun plain = timed({"decode", "--dbc", dbc, log});
    std::printf("%-24s %10.2f %10.2f %8s %10lld\n", "--dbc (one message)", plain.wall, plain.cpu, "1.00", (long long)plain.lines);
    for (const char *protocol : {"isotp", "j1939", "canopen"}) {
        const TRun r = timed({"decode", "--protocol", QString::fromLatin1(protocol), log});
        std::printf("%-24s %10.2f %10.2f %8.2f %10lld%s\n", (QByteArray("--protocol ") + protocol).constData(), r.wall, r.cpu,
                    plain.cpu > 0 ? r.cpu / plain.cpu : 0.0, (long long)r.lines, r.exit == 0 ? "" : "  (failed)");
    }
    return 0;
}
