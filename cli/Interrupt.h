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

    bool Requested() const { return m_signal != 0; }
    // 128 plus the signal that came first: 130 for Ctrl+C, 143 for SIGTERM.
    int ExitCode() const { return 128 + m_signal; }
    // "interrupted" (Ctrl+C) or "terminated" (SIGTERM).
    QString Word() const;

signals:
    void Raised();

private:
    QSocketNotifier *m_notifier = nullptr;
    int m_signal = 0;
};
