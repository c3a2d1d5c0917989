#pragma once
// Ctrl+C (SIGINT) and SIGTERM as an event: the handler only writes a byte to a pipe, and a
// notifier on the pipe wakes whatever loop is waiting, so a wait ends cleanly between lines.

#include <QObject>

class QSocketNotifier;

class TInterrupt : public QObject {
    Q_OBJECT
public:
    explicit TInterrupt(QObject *parent = nullptr);
    ~TInterrupt() override;

    bool Requested() const { return m_requested; }

signals:
    void Raised();

private:
    QSocketNotifier *m_notifier = nullptr;
    bool m_requested = false;
};
