// The plot under load: 4 signals of one message at 1,000 frames a second (4,000 points a second),
// fed to the frame store in reads of 10 frames every 10 ms as the receive loop would, with the
// Frame Monitor and the plot window shown. Prints the program's processor use and the chart's
// frames drawn per second: live, then with 1,000,000 points recorded (live, and all in sight).
// Prints figures; it never fails.
//
// Usage: bench_plot [seconds-per-step]

#include "BenchSupport.h"
#include "dbc/DbcDatabase.h"
#include "monitor/FrameStore.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/main/MainUnit.h"
#include "ui/plot/PlotWindow.h"
#include "ui/signals/SignalDatabase.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const char kDbc[] = R"(VERSION ""
BU_: ECU
BO_ 291 EngineData: 8 ECU
 SG_ EngineSpeed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Vector__XXX
 SG_ CoolantTemp : 16|8@1+ (1,-40) [-40|215] "degC" Vector__XXX
 SG_ Throttle : 24|8@1+ (0.4,0) [0|100] "%" Vector__XXX
 SG_ Torque : 32|16@1- (0.1,0) [-3276.8|3276.7] "Nm" Vector__XXX
)";

// Frame `i` at 1,000 a second: four slowly varying signals.
QByteArray makeFrame(int64_t i)
{
    const double t = double(i) / 1000.0;
    const int rpm = int((2000 + 1500 * std::sin(t / 3)) / 0.25);
    const int temp = int(80 + 10 * std::sin(t / 50)) + 40;
    const int throttle = int((50 + 45 * std::sin(t / 2)) / 0.4);
    const int torque = int(1000 * std::sin(t * 3) / 0.1);
    const char bytes[8] = {char(rpm & 0xFF), char(rpm >> 8), char(temp), char(throttle),
                           char(torque & 0xFF), char((torque >> 8) & 0xFF), 0, 0};
    return "t1238" + QByteArray(bytes, 8).toHex().toUpper() + "\r";
}

// Made once, so the bus costs the measured process next to nothing: a minute of frames, repeated.
const QByteArray &frame(int64_t i)
{
    static const std::vector<QByteArray> minute = [] {
        std::vector<QByteArray> frames;
        for (int k = 0; k < 60000; ++k)
            frames.push_back(makeFrame(k));
        return frames;
    }();
    return minute[size_t(i % 60000)];
}

struct Figures {
    double cpuPercent = 0;
    double framesDrawnPerSecond = 0;
    double redrawsPerSecond = 0;
    long rssKb = 0;
};

// Feeds frames in real time for `seconds` and measures.
Figures run(TMainForm &form, TPlotWindow *plot, int64_t &next, int64_t t0Us, double seconds)
{
    QTimer feeder;
    QElapsedTimer clock;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(10);
    int64_t base = next;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        // As many frames as 1,000 a second make by now: no drift when a tick is late.
        const int64_t due = base + clock.elapsed();
        QByteArray read;
        for (; next < due; ++next)
            read += frame(next);
        if (read.isEmpty())
            return;
        form.FrameStore()->Append(read, t0Us + next * 1000);
        form.FrameMonitorWindow()->StoreGrew();
    });
    const double cpu0 = ProcessCpuSeconds();
    const uint64_t drawn0 = plot->FramesDrawn();
    const uint64_t redraws0 = plot->Redraws();
    clock.start();
    feeder.start();
    QTest::qWait(int(seconds * 1000));
    feeder.stop();
    const double wall = double(clock.elapsed()) / 1000.0;
    Figures f;
    f.cpuPercent = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
    f.framesDrawnPerSecond = double(plot->FramesDrawn() - drawn0) / wall;
    f.redrawsPerSecond = double(plot->Redraws() - redraws0) / wall;
    f.rssKb = ResidentKb();
    return f;
}

void print(const char *what, const Figures &f)
{
    std::printf("| %-52s | %6.1f %% | %6.1f | %6.1f | %7.1f |\n", what, f.cpuPercent, f.framesDrawnPerSecond,
                f.redrawsPerSecond, double(f.rssKb) / 1024.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()); // nothing remembered
    const QString path = dir.filePath(QStringLiteral("engine.dbc"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kDbc) < 0)
        return 1;
    file.close();

    TMainForm form;
    form.show();
    form.FrameMonitor1->trigger();
    TFrameMonitor *monitor = form.FrameMonitorWindow();
    if (!monitor->LoadDatabaseFiles({path}))
        return 1;
    const TDbcMessage *message = form.SignalDatabase()->Database().FindByName(QStringLiteral("EngineData"));
    QList<const TDbcSignal *> chosen;
    for (const TDbcSignal &s : message->Signals)
        chosen << &s;
    frame(0); // the frames made before anything is measured
    const int64_t t0Us = QDateTime::currentMSecsSinceEpoch() * 1000;
    int64_t next = 0;
    form.FrameStore()->Append(frame(next++), t0Us);
    monitor->StoreGrew();
    monitor->PlotSignals(message, chosen);
    TPlotWindow *plot = monitor->Plot();
    plot->resize(1000, 600);
    plot->raise();
    plot->activateWindow();
    QTest::qWait(500);

    std::printf("Plot: 4 signals at 1,000 points/s each (1,000 frames/s), Frame Monitor and plot shown, %s, %g s a step\n\n",
                qPrintable(QGuiApplication::platformName()), seconds);
    std::printf("| %-52s | %8s | %6s | %6s | %7s |\n", "state", "CPU", "fps", "redraw", "RSS MB");
    std::printf("|%s|%s|%s|%s|%s|\n", QByteArray(54, '-').constData(), QByteArray(10, '-').constData(),
                QByteArray(8, '-').constData(), QByteArray(8, '-').constData(), QByteArray(9, '-').constData());
    print("live, 10 s in sight", run(form, plot, next, t0Us, seconds));

    // A million points recorded (250,000 frames of 4 signals), as if after 250 s of traffic.
    QElapsedTimer fill;
    fill.start();
    QByteArray read;
    const int64_t until = next + 250000;
    for (; next < until; ++next) {
        read += frame(next);
        if (read.size() > 64 * 1024) {
            form.FrameStore()->Append(read, t0Us + next * 1000);
            read.clear();
        }
    }
    form.FrameStore()->Append(read, t0Us + next * 1000);
    monitor->StoreGrew();
    plot->CatchUp();
    qint64 points = 0;
    for (int i = 0; i < plot->Recorder().Count(); ++i)
        points += plot->Recorder().Signal(i).Points.Count();
    std::printf("\n(%lld points recorded; reading 250,000 frames into the plot took %.2f s)\n\n", (long long)points,
                double(fill.elapsed()) / 1000.0);
    print("1,000,000 points, live, 10 s in sight", run(form, plot, next, t0Us, seconds));
    plot->SetView(0, plot->Recorder().LatestTime()); // everything in sight...
    plot->PauseButton->setChecked(false);             // ...and scrolling on
    print("1,000,000 points, all in sight, live", run(form, plot, next, t0Us, seconds));
    plot->PauseButton->setChecked(true);
    print("paused (new points recorded, nothing drawn)", run(form, plot, next, t0Us, seconds));
    plot->hide();
    print("plot window closed (Frame Monitor only)", run(form, plot, next, t0Us, seconds));
    return 0;
}
