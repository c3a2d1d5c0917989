#pragma once
// Saving a file so that the earlier one survives any failure: the new content goes to a
// temporary file beside the target, which replaces the target only once it is completely on
// disk. A symbolic link is saved through to the file it names and stays a link; an existing
// file keeps its permissions.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The system call that writes; tests replace it to inject short writes.
using TWriteFunction = ssize_t (*)(int fd, const void *buffer, size_t count);
void SetSaveFileWriter(TWriteFunction writer); // nullptr restores ::write

// Writes `bytes` to `path`. On failure returns false with the message to report:
// "Cannot create file "<path>". <system error>" or "Cannot write <path>: <system error>".
bool SaveFileAtomically(const QString &path, const QByteArray &bytes, QString *error);
