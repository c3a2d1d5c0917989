#pragma once
// A pipe whose read end is reached by path (/proc/self/fd/N), as a shell's <(...) or /dev/stdin
// gives it: for inputs that come slowly, stall, or end when the writer closes.

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

struct TPathPipe {
    int fds[2] = {-1, -1};
    TPathPipe()
    {
        if (::pipe2(fds, O_CLOEXEC) != 0)
            fds[0] = fds[1] = -1;
    }
    ~TPathPipe()
    {
        CloseWriter();
        CloseReader();
    }
    TPathPipe(const TPathPipe &) = delete;
    TPathPipe &operator=(const TPathPipe &) = delete;

    bool IsOpen() const { return fds[0] >= 0; }
    QString Path() const { return QStringLiteral("/proc/self/fd/%1").arg(fds[0]); }
    // Writes what a pipe holds at once (64 KiB) without waiting; false if it took less.
    bool Write(const QByteArray &bytes) const
    {
        return fds[1] >= 0 && ::write(fds[1], bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Closes the read end: a writer still blocked on it gets EPIPE.
    void CloseReader()
    {
        if (fds[0] >= 0)
            ::close(fds[0]);
        fds[0] = -1;
    }
    void CloseWriter()
    {
        if (fds[1] >= 0)
            ::close(fds[1]);
        fds[1] = -1;
    }
    // Writes any amount from a thread, then closes its end.
    std::thread Feed(QByteArray bytes)
    {
        const int fd = fds[1];
        fds[1] = -1;
        return std::thread([fd, bytes] {
            qsizetype at = 0;
            while (at < bytes.size()) {
                const ssize_t n = ::write(fd, bytes.constData() + at, size_t(bytes.size() - at));
                if (n <= 0)
                    break;
                at += n;
            }
            ::close(fd);
        });
    }
};
