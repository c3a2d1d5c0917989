#pragma once
// The tool's end of the slcan adapter: a new pseudo-terminal whose slave path the tool opens,
// with an optional symbolic link to it. Non-blocking both ways; a pseudo-terminal has no line
// speed, so whatever speed the tool sets, bytes pass as fast as both sides take them.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class TSlcanPty {
public:
    TSlcanPty() = default;
    ~TSlcanPty(); // hangs up and removes the link
    TSlcanPty(const TSlcanPty &) = delete;
    TSlcanPty &operator=(const TSlcanPty &) = delete;

    // Creates the pseudo-terminal and, when `link` is not empty, the link to it (replacing an
    // old link, never another kind of file). False with the reason.
    bool Open(const QString &link, QString &problem);
    QString Path() const { return m_path; }

    int MasterFd() const { return m_master; }
    // Tells opens and closes of the path by others; -1 when they cannot be watched.
    int WatchFd() const { return m_watch; }

    // What the tool wrote, at most `most` bytes; empty when nothing waits. False when the
    // terminal failed.
    bool Read(QByteArray &bytes, qsizetype most);
    // Writes what the terminal takes now; -1 when it failed.
    qsizetype Write(QByteArrayView bytes);
    // Drains the watch; true when someone closed the path (the tool went away).
    bool ClosedByTool();
    // Drops what waits in the terminal both ways: a new tool gets nothing of the last one's.
    void Flush();
    // Closes both ends, so the tool reads end-of-file or an error; removes the link.
    void HangUp();

private:
    QString m_path;
    QString m_link;
    bool m_linked = false;
    int m_master = -1;
    int m_slave = -1; // held, so the master does not hang up before the tool's first open
    int m_watch = -1;
};
