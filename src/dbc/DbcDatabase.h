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

class TInputCancel;

class TDbcDatabase {
public:
    // Loads one file and ADDS it to what is loaded. False with `error` "FILE:LINE:COLUMN: expected ..."
    // and nothing of that file added; a message identifier already defined (in this or another loaded
    // file) is an error too.
    // The file is opened as every input is (a FIFO or a device is refused unread, at most 256 MB).
    // A text with no BO_, BU_, NS_ or VERSION is no CAN database and is refused; one with no
    // messages loads, with `warning` saying so. The same file under another name (./s.dbc, a link)
    // is the same file: it is loaded again, not refused as a duplicate.
    bool LoadFile(const QString &path, QString &error, QString *warning = nullptr, const TInputCancel *cancel = nullptr);
    bool LoadText(const QByteArray &text, const QString &fileName, QString &error, QString *warning = nullptr); // from memory
    void RemoveFile(const QString &path);
    void Clear();
    QStringList Files() const;
    bool IsEmpty() const;
    const TDbcMessage *Find(uint32_t id, bool extended) const;   // O(1)
    const TDbcMessage *FindByName(const QString &name) const;
    QVector<const TDbcMessage *> Messages() const;               // sorted by name

private:
    bool loadText(QByteArray text, const QString &fileName, const QString &key, QString &error, QString *warning);

    struct TFile {
        QString Path;
        QString Key; // the canonical path: one file under two names is one file
        std::vector<std::unique_ptr<TDbcMessage>> Messages; // stable addresses for the lookups
    };
    void Index();

    std::vector<TFile> m_files;
    QHash<uint64_t, const TDbcMessage *> m_byId; // extended flag in bit 32
    QHash<QString, const TDbcMessage *> m_byName;
};
