#pragma once
// Opening a log to read: a regular file, or standard input for "-" (a pipe streams). Named
// FIFOs and devices are refused before they are opened, since reading them could wait forever.

#include <QString>

struct TLogInput {
    int fd = -1;
    bool ownsFd = false;
    qint64 size = -1; // -1: not known (a pipe)
};

// False with `problem` ("FILE: why") when the input cannot be read.
bool OpenLogInput(const QString &path, TLogInput &input, QString &problem);
void CloseLogInput(TLogInput &input);
