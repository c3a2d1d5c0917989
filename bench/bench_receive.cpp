// Receive benchmark: processor use while idle, lines listed per second under a flood, and the
// memory and save time of a million listed lines. Prints figures; it never fails.

#include "support/PtyPair.h"
#include "support/Steps.h"
#include "ui/MainUnit.h"
#include "ui/ReceiveModel.h"

#include "BenchSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {



qint64 listedLines(TMainForm &f)
{
    qint64 n = 0;
    for (int i = 0; i < f.ReceiveItems()->Count(); ++i)
        n += f.ReceiveItems()->Item(i).count('\r');
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? atoi(argv[1]) : 10;
    const int floodSeconds = argc > 2 ? atoi(argv[2]) : 5;

    TMainForm form;
    form.show();
    PtyPair pty;
    form.ComPort->setDevicePath(pty.slavePath());
    form.ComPort->Open();

    double idleCpu = 0;
    std::atomic<qint64> written{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> writerDone{false};
    std::thread writer;
    QElapsedTimer floodClock;
    double floodWall = 0;

    Steps steps;
    auto cpuStart = std::make_shared<double>(0);
    steps.then([&] {
            floodClock.start();
            const int fd = pty.masterFd();
            writer = std::thread([fd, &written, &stop, &writerDone] {
                // Whole lines, as fast as the line takes them; the line in progress is finished
                // after the stop so the count stays whole.
                QByteArray chunk;
                for (int i = 0; i < 100; ++i)
                    chunk += "t123211AB\r";
                qint64 bytes = 0;
                qsizetype offset = 0;
                while (!stop.load() || bytes % 10 != 0) {
                    const size_t want = stop.load() ? size_t(10 - bytes % 10) : size_t(chunk.size() - offset);
                    const ssize_t n = ::write(fd, chunk.constData() + offset, want);
                    if (n > 0) {
                        bytes += n;
                        offset = (offset + n) % chunk.size();
                        continue;
                    }
                    pollfd p{fd, POLLOUT, 0};
                    poll(&p, 1, 50);
                }
                written = bytes / 10;
                writerDone = true;
            });
        })
        .pause(floodSeconds * 1000)
        .then([&] { stop = true; })
        .waitUntil([&] { return writerDone.load(); }, QStringLiteral("writer"), 60000)
        .then([&] { writer.join(); })
        .waitUntil([&] { return listedLines(form) >= written.load(); }, QStringLiteral("drain"), 60000)
        .then([&] {
            floodWall = floodClock.elapsed() / 1000.0;
            form.DisconnectToolButtonClick(nullptr);
        });
    // The idle phase uses one timer, so nothing but the program itself wakes the process.
    QTimer::singleShot(0, &form, [&] { *cpuStart = ProcessCpuSeconds(); });
    QTimer::singleShot(idleSeconds * 1000, &form, [&] {
        idleCpu = (ProcessCpuSeconds() - *cpuStart) / idleSeconds * 100.0;
        steps.start();
    });
    form.Connected = true;
    form.ModuleMode = 2;
    form.AllEditStatus();

    const qint64 listed = listedLines(form);
    std::printf("receive: idle processor use over %d s: %.3f%% of one core\n", idleSeconds, idleCpu);
    std::printf("receive: flood of %lld lines in %.2f s: %.0f lines/s listed, %lld listed (%s), %d items\n",
                (long long)written.load(), floodWall, listed / floodWall, (long long)listed,
                listed == written.load() ? "none lost" : "LOST LINES", form.ReceiveItems()->Count());

    // A million listed lines: memory and save time.
    form.ClearBitBtnClick(nullptr);
    const long before = ResidentKb();
    for (int i = 0; i < 1000000; ++i) {
        form.ReceiveItems()->Append("t123211AB\r");
        if (i % 10000 == 0) {
            form.ReceiveListBox->scrollToBottom();
            QCoreApplication::processEvents();
        }
    }
    QCoreApplication::processEvents();
    const long after = ResidentKb();
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QElapsedTimer saveClock;
    saveClock.start();
    form.SaveBitBtnClick(nullptr);
    const double saveSeconds = saveClock.elapsed() / 1000.0;
    std::printf("receive: 1,000,000 lines listed: resident %ld MB (list %ld MB), saved in %.3f s (%lld bytes)\n",
                after / 1024, (after - before) / 1024, saveSeconds,
                (long long)QFile(QStringLiteral("Receive.txt")).size());
    form.hide();
    return 0;
}
