#pragma once
// src/dbc: CAN databases (DBC files) read, and signals decoded from and encoded into frames.
// Uses monitor, common and Qt Core; no widgets.
//
// The loaded DBC files: one or more files, their messages looked up by identifier or name.
// A file with an error adds nothing.

#include "dbc/DbcModel.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

class TDbcDatabase {
public:
    // Loads one file and ADDS it to what is loaded. False with `error` "FILE:LINE:COLUMN: expected ..."
    // and nothing of that file added; a message identifier already defined (in this or another loaded
    // file) is an error too.
    bool LoadFile(const QString &path, QString &error);
    bool LoadText(const QByteArray &text, const QString &fileName, QString &error); // same, from memory
    void RemoveFile(const QString &path);
    void Clear();
    QStringList Files() const;
    bool IsEmpty() const;
    const TDbcMessage *Find(uint32_t id, bool extended) const;   // O(1)
    const TDbcMessage *FindByName(const QString &name) const;
    QVector<const TDbcMessage *> Messages() const;               // sorted by name

private:
    struct TFile {
        QString Path;
        std::vector<std::unique_ptr<TDbcMessage>> Messages; // stable addresses for the lookups
    };
    void Index();

    std::vector<TFile> m_files;
    QHash<uint64_t, const TDbcMessage *> m_byId; // extended flag in bit 32
    QHash<QString, const TDbcMessage *> m_byName;
};
