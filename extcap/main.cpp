// k3316-extcap: live capture from the K-3316 converter in Wireshark (an extcap program).

#include "bridge/ExtcapAnswers.h"
#include "extcap/ExtcapCapture.h"
#include "cli/Interrupt.h"
#include "common/Version.h"

#include <QCoreApplication>
#include <QSerialPortInfo>

#include <cstdio>

namespace {

void print(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    TExtcapOptions options;
    QString error;
    if (!ParseExtcapArguments(args, options, error)) {
        std::fprintf(stderr, "k3316-extcap: %s\nTry 'k3316-extcap --help'.\n", error.toLocal8Bit().constData());
        return 2;
    }
    switch (options.Step) {
    case TExtcapStep::Help: print(ExtcapHelpText().toLocal8Bit()); return 0;
    case TExtcapStep::Version: print(QByteArray("k3316-extcap ") + K3316_UTILITY_VERSION + '\n'); return 0;
    case TExtcapStep::Interfaces: {
        QStringList devices;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            devices << info.systemLocation();
        devices.sort();
        print(ExtcapInterfacesAnswer(devices, QStringLiteral(K3316_UTILITY_VERSION)));
        return 0;
    }
    case TExtcapStep::Dlts: print(ExtcapDltsAnswer()); return 0;
    case TExtcapStep::FilterCheck: {
        // Wireshark shows what is printed as the reason the filter is refused.
        QString reason;
        if (ExtcapFilterValid(options.CaptureFilter, reason))
            return 0;
        print(reason.toUtf8() + '\n');
        return 1;
    }
    case TExtcapStep::Config: print(ExtcapConfigAnswer(options.Interface)); return 0;
    case TExtcapStep::Capture: {
        TInterrupt interrupt;
        return RunExtcapCapture(options, &interrupt);
    }
    case TExtcapStep::None: break;
    }
    return 2;
}
