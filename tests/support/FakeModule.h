#pragma once
// A scripted stand-in for the module on the master side of a pseudo-terminal: it records every
// line the program writes and answers each with what the test's reply function returns.
// It runs in the event loop, so it answers while the program waits for a reply.

#include "support/PtyPair.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>

class QSocketNotifier;

class FakeModule : public QObject {
    Q_OBJECT

public:
    explicit FakeModule(QObject *parent = nullptr);
    ~FakeModule() override;

    QString path() const { return m_pty.slavePath(); }
    PtyPair &pty() { return m_pty; }

    // Called for each complete line (without its CR); the bytes returned are written back.
    std::function<QByteArray(const QByteArray &line)> reply;
    // Answers come this much later (0: at once).
    int replyDelayMs = 0;

    QList<QByteArray> lines;  // lines received, CR removed
    QByteArray received;      // every byte received

    // Bytes the module sends on its own.
    void send(const QByteArray &bytes);
    // The device goes away: the program's side sees a hang-up.
    void unplug();

private:
    void readMaster();

    PtyPair m_pty;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_partial;
};
