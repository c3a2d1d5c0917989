// k3316-cli: the K-3316 converter from scripts, without a window.

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/Interrupt.h"
#include "cli/StdOut.h"
#include "common/Version.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A closed pipe on standard output is a failed write, reported as such, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    TCliOptions options;
    QString error;
    if (!ParseCliArguments(args, options, error)) {
        std::fprintf(stderr, "k3316-cli: %s\nTry 'k3316-cli --help'.\n", error.toLocal8Bit().constData());
        return CliExit::Usage;
    }
    if (options.Help || options.Version) {
        const QByteArray text = options.Help ? CliHelpText().toLocal8Bit()
                                             : QByteArray("k3316-cli " K3316_UTILITY_VERSION "\n");
        if (StdOut::Write(text))
            return CliExit::Ok;
        std::fprintf(stderr, "k3316-cli: %s\n", StdOut::Problem().toLocal8Bit().constData());
        return CliExit::ModuleFault;
    }
    TInterrupt interrupt;
    return RunCliCommand(options, &interrupt);
}
