// k3316-sim: the virtual K-3316 module on a pseudo-terminal or a serial port.

#include "PtyHost.h"
#include "SimOptions.h"

#include <cstdio>

int main(int argc, char **argv)
{
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args << QByteArray(argv[i]);

    Sim::SimOptions options;
    QString error;
    switch (Sim::ParseSimOptions(args, options, error)) {
    case Sim::ParseOutcome::Help:
        std::fputs(qPrintable(Sim::SimHelpText()), stdout);
        return 0;
    case Sim::ParseOutcome::Error:
        std::fprintf(stderr, "k3316-sim: %s\nTry 'k3316-sim --help'.\n", qPrintable(error));
        return 2;
    case Sim::ParseOutcome::Run:
        break;
    }

    Sim::PtyHost host(options);
    if (!host.open(error)) {
        std::fprintf(stderr, "k3316-sim: %s\n", qPrintable(error));
        return 1;
    }
    // The first line of standard output names the device; whoever started us waits for it.
    std::printf("k3316-sim: %s\n", qPrintable(host.path()));
    std::fflush(stdout);

    const int code = host.run(error);
    if (code != 0)
        std::fprintf(stderr, "k3316-sim: %s\n", qPrintable(error));
    return code;
}
