#pragma once
// Composing an operation-mode CAN message line from the composer's fields.

#include <QString>

#include <cstdint>

struct TComposerFields {
    QString IdText;   // hexadecimal digits
    QString ModeText; // "0": standard frame, anything else extended
    QString RtrText;  // "0": data frame, anything else remote
    QString DlcText;  // copied into the line unchanged
    int32_t Data[8] = {};
};

// "t"/"T" + 3 identifier digits, or "e"/"E" + 8, then the DLC text, then for data frames as
// many data bytes as the DLC says. Throws EConvertError for an identifier that is not
// hexadecimal (an empty one included) and for an empty DLC in a data frame.
QString ComposeMessageLine(const TComposerFields &fields);

// The position of the first character of a free-text line that has no byte of its own on the
// wire (outside Latin-1), or -1 when every character has one.
qsizetype FirstUnsendableChar(const QString &line);

// The refusal for such a line, naming the character, its code and its position (counted from 1).
QString UnsendableCharMessage(const QString &line, qsizetype position);
