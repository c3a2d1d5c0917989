#pragma once
// Help > Manual: the user manual (manual.md of the installed documentation) in a small read-only
// window, rendered from its Markdown; links to the other pages open in the same window, web
// links in the browser.

#include <QString>

class QWidget;

// Where the manual is: beside the program's tree (APPDIR/../share/doc/k3316-utility, which a
// build tree holds as well as an install), else in the documentation folder of the install
// prefix the program was built for. Empty when neither holds manual.md.
QString FindManual(const QString &appDir, const QString &installedDocDir);

// The folders FindManual looks in, for the message when none holds the manual.
QStringList ManualFolders(const QString &appDir, const QString &installedDocDir);

// Shows the manual in its window (one window, brought to the front when open), or says where it
// was looked for.
void ShowManual(QWidget *parent);
