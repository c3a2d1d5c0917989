#pragma once
// A one-shot alarm with microsecond resolution for the transmit and replay runners. QTimer's
// precise timers still wait in whole milliseconds, so a deadline 9.3 ms away was met after 10 ms
// and the next one armed from there; a kernel timer (timerfd) wakes the event loop when it is
// due, to the microsecond. Where no timerfd can be had, a precise QTimer stands in.

#include <QObject>
#include <QTimer>

#include <cstdint>

class QSocketNotifier;

class TPreciseAlarm : public QObject {
    Q_OBJECT

public:
    explicit TPreciseAlarm(QObject *parent = nullptr);
    ~TPreciseAlarm() override;

    // Fires once, `waitUs` from now (0 or less: on the next turn of the event loop).
    void Start(int64_t waitUs);
    void Stop();
    bool IsActive() const { return m_active; }
    // The last wait asked for, in microseconds.
    int64_t WaitUs() const { return m_waitUs; }

signals:
    void Fired();

private:
    void Fire();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_fallback;
    bool m_active = false;
    int64_t m_waitUs = 0;
};
