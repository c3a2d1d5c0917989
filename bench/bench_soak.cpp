// The soak run: for a long time (default 30 minutes) the virtual module's node fills the line at
// the 115200-baud rate while the utility auto-sends a line every 10 ms and the module echoes it,
// with the Frame Monitor open and recording every line to a raw file. At the end every count is
// checked (node lines and echoes listed, sends received by the module), the recorded file is
// checked line for line against the receive list, and resident memory at the start and the end
// is set against the bytes listed. Prints figures; never fails.
//
// Usage: bench_soak [minutes]

#include "support/MessageBoxRecorder.h"
#include "monitor/FrameStore.h"
#include "support/SimProcess.h"
#include "ui/framemonitor/FrameMonitor.h"
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

namespace {

constexpr int AutoSendIntervalMs = 10;
constexpr int LineRateBytesPerSecond = 11520;

// Lines the module received that carry the text auto-send sends.
qint64 SendsAtModule(const QString &log, const QByteArray &sent)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().count("rx " + sent + "\n");
}

// The recorded file against the receive list, line for line: the number of lines that match,
// and the first that does not (empty when all do).
qint64 MatchRecording(const QString &path, const TReceiveModel &list, QByteArray &firstMismatch)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        firstMismatch = "cannot read the recording";
        return 0;
    }
    QByteArray listed;
    for (int i = 0; i < list.Count(); ++i)
        listed += list.Item(i);
    const QList<QByteArray> recorded = f.readAll().split('\r');
    const QList<QByteArray> expected = listed.split('\r');
    qint64 matched = 0;
    for (qsizetype i = 0; i < std::max(recorded.size(), expected.size()); ++i) {
        if (i < recorded.size() && i < expected.size() && recorded[i] == expected[i]) {
            ++matched;
        } else if (firstMismatch.isEmpty()) {
            firstMismatch = "line " + QByteArray::number(i + 1) + ": recorded \"" + recorded.value(i) + "\", listed \""
                            + expected.value(i) + "\"";
        }
    }
    return matched - 1; // the empty piece after the last CR
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double minutes = argc > 1 ? std::max(0.1, atof(argv[1])) : 30.0;
    const auto seconds = qint64(minutes * 60);
    const auto rate = qint64(LineRateBytesPerSecond / AverageNodeLineBytes() + 0.5);
    const qint64 nodeLines = rate * seconds;
    const QByteArray sent = "t7FF2BEEF";

    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--echo"),
                    QStringLiteral("--traffic"), QString::number(rate), QStringLiteral("--traffic-count"),
                    QString::number(nodeLines), QStringLiteral("--traffic-after"), QStringLiteral("100"),
                    QStringLiteral("--log"), log});
    if (!sim.isRunning()) {
        std::printf("soak: the virtual module did not start (%s)\n", qPrintable(SimProcess::executable()));
        return 0;
    }
    MessageBoxRecorder boxes;
    TMainForm form;
    form.show();

    qint64 ticks = 0;
    QObject::connect(form.Timer2, &QTimer::timeout, [&] { ++ticks; });
    ListedCounter counter;
    long rssStartKb = 0;
    double cpuStart = 0;
    QElapsedTimer clock;
    qint64 sentTicks = 0;
    bool finished = false;
    std::printf("soak: %.1f minutes, node %lld lines/s (%lld lines), auto-send every %d ms\n", minutes,
                (long long)rate, (long long)nodeLines, AutoSendIntervalMs);
    std::fflush(stdout);

    const QString recording = dir.filePath(QStringLiteral("soak.raw"));
    ConnectInOperationMode(form, sim.path(), [&] {
        // The Frame Monitor open, in front, recording every line.
        form.FrameMonitor1->trigger();
        QString error;
        if (!form.FrameMonitorWindow()->StartRecording(recording, TLogFormat::Raw, &error))
            std::printf("soak: recording did not start: %s\n", qPrintable(error));
        form.SendEdit->setText(QString::fromLatin1(sent));
        form.IntervalEdit->setText(QString::number(AutoSendIntervalMs));
        form.SetBitBtnClick(nullptr);
        QCoreApplication::processEvents();
        rssStartKb = ResidentKb();
        cpuStart = ProcessCpuSeconds();
        clock.start();
        form.AutoBitBtnClick(nullptr);

        auto *minute = new QTimer(&form);
        minute->setInterval(60000);
        QObject::connect(minute, &QTimer::timeout, &form, [&] {
            counter.update(*form.ReceiveItems());
            std::printf("soak: %5.1f min: %lld lines listed, %lld sends, %lld monitor rows, resident %ld MB\n",
                        clock.elapsed() / 60000.0, (long long)counter.lines, (long long)ticks,
                        (long long)form.FrameStore()->Count(), ResidentKb() / 1024);
            std::fflush(stdout);
        });
        minute->start();

        // At the end: stop sending, let the node finish and the echoes come in, then count.
        auto *end = new QTimer(&form);
        end->setSingleShot(true);
        QObject::connect(end, &QTimer::timeout, &form, [&, minute] {
            minute->stop();
            form.StopBitBtnClick(nullptr);
            sentTicks = ticks;
            auto *settle = new QTimer(&form);
            settle->setInterval(200);
            QElapsedTimer waited;
            waited.start();
            QObject::connect(settle, &QTimer::timeout, &form, [&, settle, waited] {
                counter.update(*form.ReceiveItems());
                if (counter.lines >= nodeLines + sentTicks || waited.elapsed() > 120000) {
                    settle->stop();
                    finished = true;
                    form.DisconnectToolButtonClick(nullptr);
                }
            });
            settle->start();
        });
        end->start(int(seconds * 1000));
    });

    const double wall = clock.nsecsElapsed() / 1e9;
    TFrameMonitor *monitor = form.FrameMonitorWindow();
    const uint64_t recordedLines = monitor ? monitor->Recorder().Lines() : 0;
    const QString recordError = monitor ? monitor->Recorder().Error() : QStringLiteral("no Frame Monitor");
    if (monitor)
        monitor->StopRecording();
    const double cpu = (ProcessCpuSeconds() - cpuStart) / wall * 100.0;
    counter.update(*form.ReceiveItems());
    const long rssEndKb = ResidentKb();
    const qint64 atModule = SendsAtModule(log, sent);
    // What the list itself must hold: the bytes plus one offset per item.
    const double listMb = (double(counter.bytes) + 8.0 * counter.items) / (1024.0 * 1024.0);
    const double growthMb = double(rssEndKb - rssStartKb) / 1024.0;
    const bool countsOk = finished && counter.lines == nodeLines + sentTicks && atModule == sentTicks;
    std::printf("soak: %.1f min in all; %lld node lines + %lld echoes expected, %lld listed; module received "
                "%lld of %lld sends: %s\n",
                wall / 60, (long long)nodeLines, (long long)sentTicks, (long long)counter.lines,
                (long long)atModule, (long long)sentTicks, countsOk ? "nothing lost" : "MISMATCH");
    std::printf("soak: resident %ld MB at the start -> %ld MB at the end (+%.1f MB) for %.1f MB listed (%lld items) "
                "and %lld Frame Monitor rows (history %lld, %llu dropped); processor %.2f%% of one core; %lld message "
                "boxes\n",
                rssStartKb / 1024, rssEndKb / 1024, growthMb, listMb, (long long)counter.items,
                (long long)form.FrameStore()->Count(), (long long)form.FrameStore()->Capacity(),
                (unsigned long long)form.FrameStore()->Dropped(), cpu, (long long)boxes.boxes.size());
    QByteArray mismatch;
    const qint64 matched = MatchRecording(recording, *form.ReceiveItems(), mismatch);
    std::printf("soak: recorded file: %llu lines recorded, %lld match the receive list line for line%s%s%s\n",
                (unsigned long long)recordedLines, (long long)matched,
                mismatch.isEmpty() && recordError.isEmpty() && qint64(recordedLines) == counter.lines ? ": nothing lost"
                                                                                                   : ": MISMATCH ",
                mismatch.constData(), qPrintable(recordError));
    return 0;
}
