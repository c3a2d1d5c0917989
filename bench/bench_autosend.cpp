// Auto-send benchmark: the utility sends a line every millisecond for a while against the virtual
// module, which echoes each one back; counts what was sent, received by the module and listed,
// and the processor use. Prints figures; it never fails.

#include "support/MessageBoxRecorder.h"
#include "support/SimProcess.h"
#include "support/Steps.h"
#include "ui/main/MainUnit.h"
#include "ui/main/ReceiveModel.h"

#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {


qint64 countLines(const QByteArray &bytes, char end)
{
    return bytes.count(end);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    const int interval = argc > 2 ? atoi(argv[2]) : 1;

    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--echo"),
                    QStringLiteral("--log"), log});
    if (!sim.isRunning()) {
        std::printf("autosend: the virtual module did not start (%s)\n", qPrintable(SimProcess::executable()));
        return 0;
    }
    MessageBoxRecorder boxes;
    TMainForm form;
    form.ComPort->setDevicePath(sim.path());
    form.ComPort->Open();

    qint64 ticks = 0;
    QObject::connect(form.Timer2, &QTimer::timeout, [&] { ++ticks; });
    QElapsedTimer clock;
    double cpuStart = 0;
    double cpuUsed = 0;
    double wall = 0;
    auto listed = [&] {
        qint64 n = 0;
        for (int i = 0; i < form.ReceiveItems()->Count(); ++i)
            n += countLines(form.ReceiveItems()->Item(i), '\r');
        return n;
    };

    Steps steps;
    steps.then([&] {
             form.SendEdit->setText(QStringLiteral("t123211AB"));
             form.IntervalEdit->setText(QString::number(interval));
             form.SetBitBtnClick(nullptr);
             cpuStart = ProcessCpuSeconds();
             clock.start();
             form.AutoBitBtnClick(nullptr);
         })
        .pause(seconds * 1000)
        .then([&] {
            form.StopBitBtnClick(nullptr);
            wall = clock.elapsed() / 1000.0;
            cpuUsed = ProcessCpuSeconds() - cpuStart;
        })
        .waitUntil([&] { return listed() >= ticks; }, QStringLiteral("echoes"), 20000)
        .then([&] { form.DisconnectToolButtonClick(nullptr); });
    steps.start();
    form.Connected = true;
    form.ModuleMode = 2;
    form.AllEditStatus();

    QFile logFile(log);
    logFile.open(QIODevice::ReadOnly);
    const qint64 atModule = countLines(logFile.readAll(), '\n');
    const qint64 shown = listed();
    std::printf("autosend: interval %d ms for %.2f s: %lld sends (%.0f lines/s), %lld received by the module, "
                "%lld echoes listed (%s), processor %.1f%% of one core, %lld message boxes\n",
                interval, wall, (long long)ticks, ticks / wall, (long long)atModule, (long long)shown,
                (shown == ticks && atModule == ticks) ? "none lost" : "MISMATCH", cpuUsed / wall * 100.0,
                (long long)boxes.boxes.size());
    return 0;
}
