#include "ui/dialogs/ManualWindow.h"

#include "ui/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

namespace {

constexpr const char *ManualFile = "manual.md";

} // namespace

QStringList ManualFolders(const QString &appDir, const QString &installedDocDir)
{
    QStringList folders;
    if (!appDir.isEmpty())
        folders << QDir::cleanPath(appDir + QStringLiteral("/../share/doc/k3316-utility"));
    if (!installedDocDir.isEmpty() && !folders.contains(QDir::cleanPath(installedDocDir)))
        folders << QDir::cleanPath(installedDocDir);
    return folders;
}

QString FindManual(const QString &appDir, const QString &installedDocDir)
{
    for (const QString &folder : ManualFolders(appDir, installedDocDir)) {
        const QFileInfo manual(folder + QLatin1Char('/') + QLatin1String(ManualFile));
        if (manual.isFile() && manual.isReadable())
            return manual.absoluteFilePath();
    }
    return {};
}

void ShowManual(QWidget *parent)
{
    static QPointer<QTextBrowser> window;
    if (window) {
        window->showNormal();
        window->raise();
        window->activateWindow();
        return;
    }
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString manual = FindManual(appDir, QStringLiteral(K3316_DOC_DIR));
    if (manual.isEmpty()) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("The manual (%1) was not found in %2.")
                                            .arg(QLatin1String(ManualFile),
                                                 ManualFolders(appDir, QStringLiteral(K3316_DOC_DIR))
                                                     .join(QStringLiteral(" or "))));
        return;
    }
    // A window of its own (no parent widget), so it stays open beside the main window; it goes
    // with the main window all the same.
    window = new QTextBrowser;
    QObject::connect(parent, &QObject::destroyed, window, &QObject::deleteLater);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("ManualWindow"));
    window->setWindowTitle(QStringLiteral("K-3316 Utility Manual"));
    window->setFont(StandardFont(13));
    window->setOpenExternalLinks(true);
    window->setSource(QUrl::fromLocalFile(manual), QTextDocument::MarkdownResource);
    window->setMinimumSize(360, 240);
    window->resize(760, 640);
    window->show();
}
