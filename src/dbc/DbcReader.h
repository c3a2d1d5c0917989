#pragma once
// The DBC text format read into messages. Sections that carry no decoding information are
// skipped; an error names "FILE:LINE:COLUMN: expected ..." and leaves `messages` empty.

#include "dbc/DbcModel.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

struct TDbcReadMessage {
    std::unique_ptr<TDbcMessage> Message;
    int Line = 0; // of its BO_, for reports about duplicates
};

bool ReadDbcText(const QByteArray &text, const QString &fileName, std::vector<TDbcReadMessage> &messages,
                 QString &error);

// UTF-8 as is; text that is not valid UTF-8 is taken as Windows-1252.
QByteArray DbcTextAsUtf8(const QByteArray &text);
