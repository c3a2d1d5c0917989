#include "dbc/DbcDatabase.h"

#include "common/InputFile.h"
#include "dbc/DbcReader.h"

#include <QFileInfo>

#include <algorithm>

bool TDbcDatabase::LoadFile(const QString &path, QString &error, QString *warning, const TInputCancel *cancel)
{
    QByteArray text;
    if (ReadInputFile(path, TInputKind::Database, text, error, cancel) != TInputResult::Read)
        return false;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return loadText(std::move(text), path, canonical.isEmpty() ? path : canonical, error, warning);
}

bool TDbcDatabase::LoadText(const QByteArray &text, const QString &fileName, QString &error, QString *warning)
{
    return loadText(text, fileName, fileName, error, warning);
}

bool TDbcDatabase::loadText(QByteArray text, const QString &fileName, const QString &key, QString &error,
                            QString *warning)
{
    std::vector<TDbcReadMessage> read;
    if (!ReadDbcText(text, fileName, read, error))
        return false;
    text = QByteArray(); // read: its memory goes before the lookups take theirs
    if (warning)
        *warning = read.empty() ? QStringLiteral("%1: no messages in this database").arg(fileName) : QString();
    // Loading a file again replaces it; its old messages are no duplicates.
    for (const TDbcReadMessage &r : read) {
        const TDbcMessage &m = *r.Message;
        for (const TFile &f : m_files) {
            if (f.Key == key)
                continue;
            for (const auto &other : f.Messages) {
                if (other->Id == m.Id && other->Extended == m.Extended) {
                    error = QStringLiteral("%1:%2:1: message identifier 0x%3 (%4) is already defined in %5 (%6)")
                                .arg(fileName).arg(r.Line).arg(m.Id, 0, 16).arg(m.Name, f.Path, other->Name);
                    return false;
                }
                if (other->Name == m.Name) {
                    error = QStringLiteral("%1:%2:1: message name %3 is already defined in %4")
                                .arg(fileName).arg(r.Line).arg(m.Name, f.Path);
                    return false;
                }
            }
        }
    }
    TFile file;
    file.Path = fileName;
    file.Key = key;
    for (TDbcReadMessage &r : read)
        file.Messages.push_back(std::move(r.Message));
    const auto same = std::find_if(m_files.begin(), m_files.end(), [&](const TFile &f) { return f.Key == key; });
    if (same != m_files.end())
        *same = std::move(file);
    else
        m_files.push_back(std::move(file));
    Index();
    return true;
}

void TDbcDatabase::RemoveFile(const QString &path)
{
    m_files.erase(std::remove_if(m_files.begin(), m_files.end(), [&](const TFile &f) { return f.Path == path; }),
                  m_files.end());
    Index();
}

void TDbcDatabase::Clear()
{
    m_files.clear();
    Index();
}

QStringList TDbcDatabase::Files() const
{
    QStringList names;
    for (const TFile &f : m_files)
        names << f.Path;
    return names;
}

bool TDbcDatabase::IsEmpty() const
{
    return m_files.empty();
}

static uint64_t IdKey(uint32_t id, bool extended)
{
    return uint64_t(id) | (extended ? (uint64_t(1) << 32) : 0);
}

const TDbcMessage *TDbcDatabase::Find(uint32_t id, bool extended) const
{
    return m_byId.value(IdKey(id, extended), nullptr);
}

const TDbcMessage *TDbcDatabase::FindByName(const QString &name) const
{
    return m_byName.value(name, nullptr);
}

QVector<const TDbcMessage *> TDbcDatabase::Messages() const
{
    QVector<const TDbcMessage *> all;
    for (const TFile &f : m_files)
        for (const auto &m : f.Messages)
            all << m.get();
    std::stable_sort(all.begin(), all.end(), [](const TDbcMessage *a, const TDbcMessage *b) { return a->Name < b->Name; });
    return all;
}

void TDbcDatabase::Index()
{
    m_byId.clear();
    m_byName.clear();
    for (const TFile &f : m_files)
        for (const auto &m : f.Messages) {
            m_byId.insert(IdKey(m->Id, m->Extended), m.get());
            if (!m_byName.contains(m->Name))
                m_byName.insert(m->Name, m.get());
        }
}
