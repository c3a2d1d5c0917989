// src/app: the start of k3316-utility (application, style, main window).
// Uses the main window and dialogs rooms and common.

#include "common/Version.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/LogWindow.h"
#include "ui/main/MainUnit.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

// For the start-up benchmark: at the window's first paint, prints the monotonic clock (in
// nanoseconds, the clock every process on the machine shares) and ends the program.
class QuitWhenPainted : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("painted %lld\n", static_cast<long long>(std::chrono::nanoseconds(now).count()));
            std::fflush(stdout);
            // exit(), not quit(): quit() would first ask the window to close, and it asks the user.
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("K-3316 Utility"));
    QApplication::setApplicationVersion(QStringLiteral(K3316_UTILITY_VERSION));
    QApplication::setStyle(QStringLiteral("Fusion"));
    // One font family in every window, the ones that do not set the form font themselves included.
    QApplication::setFont(StandardFont());

    TMainForm form;
    QuitWhenPainted quitWhenPainted;
    if (qEnvironmentVariableIsSet("K3316_QUIT_WHEN_SHOWN"))
        form.installEventFilter(&quitWhenPainted);
    form.show();
    // --open-log FILE: a log in a Frame Monitor window of its own, beside the main window.
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString path;
        if (args[i] == QLatin1String("--open-log"))
            path = i + 1 < args.size() ? args[++i] : QString();
        else if (args[i].startsWith(QLatin1String("--open-log=")))
            path = args[i].mid(11);
        else
            continue;
        QString problem;
        if (path.isEmpty())
            ShowMessageBox(TMsgType::Error, QStringLiteral("--open-log needs the log's file name."));
        else if (!OpenLogWindow(path, problem))
            ShowMessageBox(TMsgType::Error, problem);
    }
    // The window is destroyed only after the event loop has returned, that is after every
    // handler (a connect under the receive loop included) has finished.
    return app.exec();
}
