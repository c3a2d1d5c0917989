#pragma once
// Saving the receive list: the file is replaced only once the new content is completely on disk,
// so a failed save never destroys the earlier file.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The system call that writes; tests replace it to inject short writes.
using TWriteFunction = ssize_t (*)(int fd, const void *buffer, size_t count);
void SetReceiveFileWriter(TWriteFunction writer); // nullptr restores ::write

// Writes `bytes` to `path` through a temporary file in the same directory and renames it over
// the target. On failure returns false with the message to report:
// "Cannot create file "<path>". <system error>" or "Stream write error".
bool SaveFileAtomically(const QString &path, const QByteArray &bytes, QString *error);
