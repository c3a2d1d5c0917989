#include "common/SafeSave.h"

#include <QDir>
#include <QFile>
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

QString cannotWrite(const QString &path, int err)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, QString::fromLocal8Bit(strerror(err)));
}

// On failure errno holds the reason; a write that takes nothing is a full disk.
bool writeAll(int fd, const QByteArray &bytes)
{
    const TWriteFunction writer = g_writer ? g_writer : &::write;
    const char *p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = writer(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false; // a short write on a full disk ends here too
        p += n;
        left -= size_t(n);
    }
    return true;
}

// The file a path finally names: links followed, also a link whose target does not exist yet
// (the save creates it). A loop of links gives up and leaves the path as it is, so the rename
// reports the system's reason.
QString finalTarget(const QString &path)
{
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        current = info.symLinkTarget(); // absolute, resolved against the link's directory
    }
    return path;
}

} // namespace

void SetSaveFileWriter(TWriteFunction writer)
{
    g_writer = writer;
}

bool SaveFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    const QString target = finalTarget(fullPath);
    QByteArray temp = QFile::encodeName(target + QStringLiteral(".XXXXXX"));
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        if (error)
            *error = cannotCreate(fullPath, errno);
        return false;
    }
    // mkstemp creates 0600: an existing file keeps its mode (and, where allowed, its owner), a
    // new one gets the usual permissions of a new file.
    struct stat old {};
    if (stat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        fchmod(fd, old.st_mode & 07777);
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may give a file away; the file is then ours, as a new one would be.
        }
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }

    const bool written = writeAll(fd, bytes) && fsync(fd) == 0;
    int err = written ? 0 : errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        unlink(temp.constData());
        if (error)
            *error = cannotWrite(fullPath, err);
        return false;
    }
    if (rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        const int err = errno;
        unlink(temp.constData());
        if (error)
            *error = cannotCreate(fullPath, err);
        return false;
    }
    return true;
}
