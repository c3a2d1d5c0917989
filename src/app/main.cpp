#include "ui/MainUnit.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace {

// For the start-up benchmark: ends the program once the window has been painted for the first
// time, so the time from launch to exit bounds the time to a usable window.
class QuitWhenPainted : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
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
    QApplication::setApplicationVersion(QStringLiteral("2.06"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    TMainForm form;
    QuitWhenPainted quitWhenPainted;
    if (qEnvironmentVariableIsSet("K3316_QUIT_WHEN_SHOWN"))
        form.installEventFilter(&quitWhenPainted);
    form.show();
    // The window is destroyed only after the event loop has returned, that is after every
    // handler (a connect under the receive loop included) has finished.
    return app.exec();
}
