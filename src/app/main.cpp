#include "ui/MainUnit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("K-3316 Utility"));
    QApplication::setApplicationVersion(QStringLiteral("2.06"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    TMainForm form;
    form.show();
    // The window is destroyed only after the event loop has returned, that is after every
    // handler (a connect under the receive loop included) has finished.
    return app.exec();
}
