// File > Open Log of a long log in the Frame Monitor (offscreen): a candump and a BLF log are
// generated, and each is opened in a fresh process as the menu opens it. Prints the time until
// the table holds its first rows and until they are painted, until the loading ends and the
// table shows every row, the longest the event loop was kept from running, peak resident memory
// and its growth per row, and the processor time; also with By identifier, with a filter on and
// with a history of 100,000 rows.
// Never fails.
//
// Usage: bench_logwindow [FRAMES]   (default 1000000)
//        bench_logwindow --open FILE [byid|filter]   (one opening; K3316_BENCH_SHOTS=DIR saves PNGs)

#include "GeneratedLog.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/framemonitor/IdSummaryModel.h"
#include "ui/framemonitor/LogWindow.h"

#include "BenchSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().trimmed()) : QStringLiteral("?");
}

long PeakResidentKb()
{
    return StatusKb("VmHWM:");
}

// Runs events until `done` holds, idle between them (looking at least every 5 ms); false after
// a minute.
bool RunUntil(const std::function<bool()> &done)
{
    QTimer wake;
    wake.start(5);
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// One opening, in this process: prints one line.
int OpenOnce(const QString &path, const QString &mode)
{
    const long rssBeforeKb = ResidentKb();
    const double cpuBefore = ProcessCpuSeconds();
    // The longest the event loop was kept from a 5 ms timer: how long a click waits at worst.
    TLogLoader *loader = nullptr;
    QElapsedTimer tick;
    double longestStallMs = 0;
    QTimer stallTimer;
    stallTimer.setInterval(5);
    QObject::connect(&stallTimer, &QTimer::timeout, [&] {
        if (!loader || !loader->Loading())
            return;
        longestStallMs = std::max(longestStallMs, tick.nsecsElapsed() / 1e6 - 5);
        tick.start();
    });

    QElapsedTimer t;
    t.start();
    QString problem;
    TFrameMonitor *window = OpenLogWindow(path, problem);
    if (!window) {
        std::printf("%s: %s\n", qPrintable(path), qPrintable(problem));
        return 1;
    }
    const double openedMs = t.nsecsElapsed() / 1e6;
    const long rssWindowKb = ResidentKb();
    if (mode == QLatin1String("byid"))
        window->ViewComboBox->setCurrentIndex(1);
    else if (mode == QLatin1String("history"))
        window->HistorySpinBox->setValue(100000);
    else if (mode == QLatin1String("filter")) {
        window->IdEdit->setText(QStringLiteral("100-11F"));
        window->ApplyFilter();
    }
    loader = LogLoaderOf(window);
    tick.start();
    stallTimer.start();
    const QAbstractItemModel *model =
        mode == QLatin1String("byid") ? static_cast<QAbstractItemModel *>(window->Summary()) : window->Frames();
    RunUntil([&] { return model->rowCount() > 0; });
    const double firstMs = t.nsecsElapsed() / 1e6;
    window->Views->currentWidget()->grab();
    const double paintedMs = t.nsecsElapsed() / 1e6;
    // K3316_BENCH_SHOTS=DIR: the window as its first rows showed and once every row is shown.
    const QString shots = qEnvironmentVariable("K3316_BENCH_SHOTS");
    if (!shots.isEmpty())
        window->grab().save(shots + QStringLiteral("/logwindow-first.png"));
    RunUntil([&] { return !loader->Loading(); });
    const double loadedMs = t.nsecsElapsed() / 1e6;
    const qsizetype kept = qsizetype(std::min<uint64_t>(loader->Frames() - loader->LeftOut(), window->HistorySpinBox->value()));
    // The table shows its last rows with the step after the loading: done when nothing more
    // came for a few steps.
    qsizetype shown = -1;
    double shownMs = loadedMs;
    const bool complete = RunUntil([&] {
        const double now = t.nsecsElapsed() / 1e6;
        if (window->Frames()->ShownStoreRows() != shown) {
            shown = window->Frames()->ShownStoreRows();
            shownMs = now;
        }
        return now - shownMs > 3 * TFrameTableModel::ShowIntervalMs;
    });
    if (!shots.isEmpty())
        window->grab().save(shots + QStringLiteral("/logwindow-shown.png"));
    stallTimer.stop();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const long rssKb = ResidentKb();
    std::printf("%-7s %-6s window %5.1f ms, first rows %6.1f ms, painted %6.1f ms, loaded %7.1f ms, shown %7.1f ms%s, longest stall while loading "
                "%5.1f ms, cpu %.2f s; %lld rows (%d shown), peak %ld MB, growth %.1f bytes a row (%.1f past the empty window); load %s\n",
                qPrintable(path.section(QLatin1Char('.'), -1)), mode.isEmpty() ? "lines" : qPrintable(mode), openedMs, firstMs,
                paintedMs, loadedMs, shownMs, complete ? "" : " (not all)", longestStallMs, cpu, (long long)kept,
                window->Frames()->rowCount(), PeakResidentKb() / 1024,
                kept > 0 ? double(rssKb - rssBeforeKb) * 1024.0 / double(kept) : 0.0,
                kept > 0 ? double(rssKb - rssWindowKb) * 1024.0 / double(kept) : 0.0, qPrintable(LoadAverage()));
    std::fflush(stdout);
    delete window;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("--open"))
        return OpenOnce(args[2], args.value(3));

    const qint64 frames = args.size() > 1 ? std::max(1000LL, args[1].toLongLong()) : 1000000;
    QTemporaryDir dir;
    const QString candump = dir.filePath(QStringLiteral("in.log"));
    const QString blf = dir.filePath(QStringLiteral("in.blf"));
    if (!WriteGeneratedLog(candump, TLogFormat::Candump, frames) || !WriteGeneratedLog(blf, TLogFormat::Blf, frames)) {
        std::printf("could not write the logs in %s\n", qPrintable(dir.path()));
        return 1;
    }
    std::printf("Open Log of %lld frames (candump %.1f MB, BLF %.1f MB), each in a fresh process:\n", (long long)frames,
                QFileInfo(candump).size() / 1e6, QFileInfo(blf).size() / 1e6);
    std::fflush(stdout);
    const QStringList runs[] = {{candump}, {candump}, {blf}, {candump, QStringLiteral("byid")},
                                {candump, QStringLiteral("filter")}, {candump, QStringLiteral("history")}};
    for (const QStringList &run : runs) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--open")} + run);
        p.waitForFinished(-1);
    }
    return 0;
}
