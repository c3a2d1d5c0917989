// k3316-cli at scale: `set` with read-back on one and on sixteen virtual modules at once, each
// answering every command after 20 ms; and the processor time of one `set`, start to exit.
// Goals: sixteen take no more than twice the time of one; one `set` under 30 ms of processor.

#include "BenchSupport.h"
#include "support/CliRun.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

const char kProfile[] = R"({"format": "k3316-profile", "version": 1,
 "rs232_baudrate": "115200", "data_bit": "8", "stop_bit": "1", "parity": "None",
 "add_checksum": "No", "error_response": "No",
 "can_specification": "2.0B", "can_baudrate": "125K",
 "acceptance_code": "00000123", "acceptance_mask": "1FFFFFFF",
 "pair_connection": true, "end_of_rs232_command": "LF",
 "fixed_tx_can_id": true, "tx_can_id": "00000456", "response_with_can_id": true}
)";

// Wall time of `count` simultaneous `set` runs, each against its own module; -1 when one failed.
double ParallelSetMs(const std::vector<std::unique_ptr<SimProcess>> &sims, int count, const QString &profile)
{
    std::vector<std::unique_ptr<QProcess>> runs;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(CliExecutable(), {"--port", sims[size_t(i)]->path(), "set", profile});
        runs.push_back(std::move(p));
    }
    bool allOk = true;
    for (auto &p : runs) {
        allOk = p->waitForFinished(60000) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0 && allOk;
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return allOk ? ms : -1;
}

// Processor time (user + system) of one `set`, from start to exit, in ms; -1 on failure.
double SetCpuMs(const QString &port, const QString &profile)
{
    const QByteArray program = QFile::encodeName(CliExecutable());
    const QByteArray portArg = QFile::encodeName(port);
    const QByteArray profileArg = QFile::encodeName(profile);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("--port"),
                    const_cast<char *>(portArg.constData()), const_cast<char *>("set"),
                    const_cast<char *>(profileArg.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    struct rusage usage = {};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Processor time of the children reaped so far, in ms.
double ChildrenCpuMs()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("line.json"));
    {
        QFile f(profile);
        if (!f.open(QIODevice::WriteOnly) || f.write(kProfile) < 0)
            return 1;
    }

    std::vector<std::unique_ptr<SimProcess>> sims;
    for (int i = 0; i < 16; ++i) {
        sims.push_back(std::make_unique<SimProcess>(QStringList{"--delay", "20"}));
        if (!sims.back()->isRunning()) {
            std::fprintf(stderr, "bench_cli: the virtual module did not start\n");
            return 1;
        }
    }

    std::vector<double> one, sixteen, cpu, sixteenCpu;
    for (int r = 0; r < rounds; ++r) {
        one.push_back(ParallelSetMs(sims, 1, profile));
        const double before = ChildrenCpuMs();
        sixteen.push_back(ParallelSetMs(sims, 16, profile));
        sixteenCpu.push_back(ChildrenCpuMs() - before);
        cpu.push_back(SetCpuMs(sims[0]->path(), profile));
    }
    for (const std::vector<double> *v : {&one, &sixteen, &cpu})
        for (double x : *v)
            if (x < 0) {
                std::fprintf(stderr, "bench_cli: a set failed\n");
                return 1;
            }

    const double m1 = Median(one), m16 = Median(sixteen), mc = Median(cpu);
    std::printf("k3316-cli set with read-back, module answers after 20 ms (median of %d)\n", rounds);
    std::printf("  %-34s %8.1f ms\n", "1 module", m1);
    std::printf("  %-34s %8.1f ms  (%.2f x one; goal <= 2)\n", "16 modules at once, 16 processes", m16, m16 / m1);
    std::printf("  %-34s %8.1f ms  (goal < 30)\n", "processor time of one set", mc);
    // The sixteen compete for the cores with whatever else runs: both figures say how much.
    double load[1] = {0};
    const int cores = int(sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  %-34s %8.1f ms  (%d cores, load average %.1f)\n", "processor time of the 16 sets",
                Median(sixteenCpu), cores, getloadavg(load, 1) == 1 ? load[0] : -1.0);
    return 0;
}
