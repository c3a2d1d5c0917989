// The utility's receive path for a fixed number of lines, for counting instructions and system
// calls (bench/receive_instructions.sh runs it under callgrind beside the bare reader).
//
// Usage: bench_receive_lines PATH LINES [front]
//        bench_receive_lines --line-rate   (prints the node's lines per second at 11,520 B/s)
// Connects the main window in operation mode to the virtual module already running at PATH,
// lists until LINES node lines have arrived, disconnects and prints "<items> <lines> <bytes>".
// With "front" the Frame Monitor is open and in front meanwhile.

#include "BenchSupport.h"
#include "support/MessageBoxRecorder.h"
#include "support/OperationConnect.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/main/MainUnit.h"
#include "ui/main/ReceiveModel.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 2 && QByteArray(argv[1]) == "--line-rate") {
        std::printf("%lld\n", (long long)(11520 / AverageNodeLineBytes() + 0.5));
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PATH LINES [front]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const qint64 lines = std::max(1, atoi(argv[2]));
    const bool front = argc > 3 && QByteArray(argv[3]) == "front";

    MessageBoxRecorder boxes;
    boxes.onBox = [](const RecordedBox &b) { std::fprintf(stderr, "bench: box \"%s\"\n", qPrintable(b.text)); };
    TMainForm form;
    form.show();
    if (front)
        form.FrameMonitor1->trigger();
    ListedCounter counter;
    ConnectInOperationMode(form, path, [&] {
        // Checked rarely: the check itself is not what is measured.
        auto *check = new QTimer(&form);
        check->setInterval(200);
        QObject::connect(check, &QTimer::timeout, &form, [&, check] {
            counter.update(*form.ReceiveItems());
            if (counter.lines >= lines) {
                check->stop();
                form.DisconnectToolButtonClick(nullptr);
            }
        });
        check->start();
    });
    counter.update(*form.ReceiveItems());
    std::printf("%d %lld %lld\n", counter.items, (long long)counter.lines, (long long)counter.bytes);
    return counter.lines >= lines ? 0 : 1;
}
