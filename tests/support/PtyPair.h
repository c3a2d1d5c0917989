#pragma once
// A pseudo-terminal pair for tests: the test keeps the master side and plays the device; code
// under test opens slavePath() as its serial port. Both sides pass bytes unchanged.

#include <QByteArray>
#include <QString>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Writes every byte to the master side; false when that fails.
    bool write(const QByteArray &bytes);
    // What the slave side has written: waits up to waitMs for the first byte, then returns all
    // that is there without waiting further.
    QByteArray readAvailable(int waitMs = 0);
    // Takes exactly `count` bytes from the slave side, waiting up to waitMs in all, and never one
    // more: a device that stops taking bytes at a known point of what is written. Fewer only
    // when the time ran out or the slave side closed.
    QByteArray readExactly(qsizetype count, int waitMs);
    // Simulates the device going away: the slave side sees a hang-up.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};
