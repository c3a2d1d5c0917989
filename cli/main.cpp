// k3316-cli: the K-3316 converter from scripts, without a window.

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/Interrupt.h"
#include "common/Version.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    TCliOptions options;
    QString error;
    if (!ParseCliArguments(args, options, error)) {
        std::fprintf(stderr, "k3316-cli: %s\nTry 'k3316-cli --help'.\n", error.toLocal8Bit().constData());
        return CliExit::Usage;
    }
    if (options.Help) {
        std::fputs(CliHelpText().toLocal8Bit().constData(), stdout);
        return CliExit::Ok;
    }
    if (options.Version) {
        std::printf("k3316-cli %s\n", K3316_UTILITY_VERSION);
        return CliExit::Ok;
    }
    TInterrupt interrupt;
    return RunCliCommand(options, &interrupt);
}
