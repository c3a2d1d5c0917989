#pragma once
// src/ui/signals: the databases every window decodes with, signal texts, Compose from Database.
// Uses the dialogs and widgets rooms, dbc and transmit.
//
// The CAN databases the windows decode with: the DBC files loaded, shared by the frame monitor,
// the plot and the composer, and remembered for the next start. Views hear of every change.

#include "dbc/DbcDatabase.h"

#include <QObject>
#include <QStringList>

class TSignalDatabase : public QObject {
    Q_OBJECT

public:
    explicit TSignalDatabase(QObject *parent = nullptr);

    const TDbcDatabase &Database() const { return m_database; }
    bool IsEmpty() const { return m_database.IsEmpty(); }
    QStringList Files() const { return m_database.Files(); }

    // Loads each file; a file with an error adds nothing and its message is returned (one per
    // file, empty when all loaded). A file already loaded is loaded again, fresh from disk.
    QStringList Load(const QStringList &paths);
    void Remove(const QString &path);
    void RemoveAll();
    // Loads the files remembered from the last run, once; later calls do nothing. Files that no
    // longer load are reported by LastErrors and stay remembered until removed.
    void Restore();
    QStringList LastErrors() const { return m_lastErrors; }
    // Files that loaded but deserve a word (a database with no messages), from the last Load or Restore.
    QStringList LastWarnings() const { return m_lastWarnings; }

    // What the user does to load one, for the windows that need one.
    static QString HowToLoad() { return QStringLiteral("Load a DBC file with Database... in the Frame Monitor (F6)."); }

    // Where the list is kept: QSettings of the organisation and application "k3316-utility".
    static constexpr const char *SettingsKey = "FrameMonitor/DatabaseFiles";

signals:
    void Changed();

private:
    void Remember() const;

    TDbcDatabase m_database;
    QStringList m_lastErrors;
    QStringList m_lastWarnings;
    QStringList m_unloaded; // remembered files that did not load at Restore
    bool m_restored = false;
};
