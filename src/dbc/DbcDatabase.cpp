#include "dbc/DbcDatabase.h"

#include <QFile>

#include <algorithm>

bool TDbcDatabase::LoadFile(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    return LoadText(file.readAll(), path, error);
}

bool TDbcDatabase::LoadText(const QByteArray &, const QString &fileName, QString &error)
{
    error = QStringLiteral("%1:1:1: the reader is not there yet").arg(fileName);
    return false;
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
