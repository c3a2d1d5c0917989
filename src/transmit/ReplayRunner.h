#pragma once
// Plays a log through the module: the replay clock decides when, one precise timer waits for the
// next frame, the owner's sender puts each line out. A long run of due frames goes out in batches,
// so the event loop (the window, Ctrl+C) keeps its turn.

#include "transmit/ReplayClock.h"
#include "transmit/TransmitRunner.h"

#include <QObject>
#include <QTimer>

class TReplayRunner : public QObject {
    Q_OBJECT

public:
    TReplayRunner(const QVector<TLogFrame> &frames, const TReplayOptions &options, TMicroClock clock,
                  TLineSender send, QObject *parent = nullptr);

    void Start();
    void Pause();
    void Resume();
    void Stop();
    bool Running() const { return m_running; }
    const TReplayClock &Clock() const { return m_clock; }

    // The timer's handler. Public for tests with a fake clock.
    void Tick();
    bool TimerArmed() const { return m_timer.isActive(); }

    static constexpr int BatchLimit = 64;

signals:
    // The run ended: every pass played (`failed` false), stopped, or a line did not go out.
    void Finished(bool failed);

private:
    void Arm();
    void End(bool failed);

    QVector<TLogFrame> m_frames;
    QVector<QByteArray> m_lines;
    TReplayClock m_clock;
    TMicroClock m_now;
    TLineSender m_send;
    QTimer m_timer;
    bool m_running = false;
};
