#pragma once
// Ctrl+C (SIGINT) and SIGTERM as an event: the handler only writes a byte to a pipe, and a
// notifier on the pipe wakes whatever loop is waiting, so a wait ends cleanly between lines.

#include "common/InputFile.h"

#include <QObject>

class QSocketNotifier;

// Also the cancel hook of input reads: a read waiting on a pipe wakes on the signal.
class TInterrupt : public QObject, public TInputCancel {
    Q_OBJECT
public:
    explicit TInterrupt(QObject *parent = nullptr);
    ~TInterrupt() override;

    bool Requested() const override { return signalNumber() != 0; }
    int WakeDescriptor() const override;
    // 128 plus the signal that came first: 130 for Ctrl+C, 143 for SIGTERM.
    int ExitCode() const { return 128 + signalNumber(); }
    // "interrupted" (Ctrl+C) or "terminated" (SIGTERM).
    QString Word() const;

signals:
    void Raised();

private:
    int signalNumber() const;

    QSocketNotifier *m_notifier = nullptr;
    int m_signal = 0;
};
