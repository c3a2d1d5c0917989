#include "ui/ReceiveFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TWriteFunction g_writer = nullptr;

QString cannotCreate(const QString &path, int err)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(path, QString::fromLocal8Bit(strerror(err)));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const TWriteFunction writer = g_writer ? g_writer : &::write;
    const char *p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = writer(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // a short write on a full disk ends here too
        p += n;
        left -= size_t(n);
    }
    return true;
}

} // namespace

void SetReceiveFileWriter(TWriteFunction writer)
{
    g_writer = writer;
}

bool SaveFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    QByteArray temp = QFile::encodeName(fullPath + QStringLiteral(".XXXXXX"));
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        if (error)
            *error = cannotCreate(fullPath, errno);
        return false;
    }
    // mkstemp creates 0600; give the file the usual permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    const bool written = writeAll(fd, bytes) && fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        unlink(temp.constData());
        if (error)
            *error = QStringLiteral("Stream write error");
        return false;
    }
    if (rename(temp.constData(), QFile::encodeName(fullPath).constData()) != 0) {
        const int err = errno;
        unlink(temp.constData());
        if (error)
            *error = cannotCreate(fullPath, err);
        return false;
    }
    return true;
}
