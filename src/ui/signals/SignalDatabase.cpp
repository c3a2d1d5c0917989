#include "ui/signals/SignalDatabase.h"

#include <QFileInfo>
#include <QSettings>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("k3316-utility"), QStringLiteral("k3316-utility"));
}

} // namespace

TSignalDatabase::TSignalDatabase(QObject *parent) : QObject(parent) {}

QStringList TSignalDatabase::Load(const QStringList &paths)
{
    Restore(); // the remembered files stay in the list
    QStringList errors;
    m_lastWarnings.clear();
    for (const QString &given : paths) {
        const QString path = QFileInfo(given).absoluteFilePath();
        const bool had = m_database.Files().contains(path);
        if (had)
            m_database.RemoveFile(path);
        QString error, warning;
        if (!m_database.LoadFile(path, error, &warning))
            errors << error;
        else
            m_unloaded.removeAll(path);
        if (!warning.isEmpty())
            m_lastWarnings << warning;
    }
    m_lastErrors = errors;
    Remember();
    emit Changed();
    return errors;
}

void TSignalDatabase::Remove(const QString &path)
{
    m_database.RemoveFile(path);
    m_unloaded.removeAll(path);
    Remember();
    emit Changed();
}

void TSignalDatabase::RemoveAll()
{
    m_database.Clear();
    m_unloaded.clear();
    m_lastErrors.clear();
    m_lastWarnings.clear();
    Remember();
    emit Changed();
}

void TSignalDatabase::Restore()
{
    if (m_restored)
        return;
    m_restored = true;
    const QStringList remembered = settings().value(QLatin1String(SettingsKey)).toStringList();
    if (remembered.isEmpty())
        return;
    m_lastErrors.clear();
    m_lastWarnings.clear();
    for (const QString &path : remembered) {
        QString error, warning;
        if (!m_database.LoadFile(path, error, &warning)) {
            m_lastErrors << error;
            m_unloaded << path;
        }
        if (!warning.isEmpty())
            m_lastWarnings << warning;
    }
    emit Changed();
}

void TSignalDatabase::Remember() const
{
    QStringList files = m_database.Files();
    for (const QString &path : m_unloaded)
        if (!files.contains(path))
            files << path;
    settings().setValue(QLatin1String(SettingsKey), files);
}
