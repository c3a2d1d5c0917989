#pragma once
// Plays a log through the module: the replay clock decides when, one precise timer waits for the
// next frame, the owner's sender puts each line out. A long run of due frames goes out in batches,
// so the event loop (the window, Ctrl+C) keeps its turn.

#include "transmit/PreciseAlarm.h"
#include "transmit/ReplayClock.h"
#include "transmit/TransmitRunner.h"

#include <QObject>

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
    bool TimerArmed() const { return m_alarm.IsActive(); }
    // The wait armed last, in microseconds (at most a day: a farther frame re-arms then).
    int64_t TimerWaitUs() const { return m_alarm.WaitUs(); }

    static constexpr int BatchLimit = 64;
    // A wait at least this long is told (Waiting), so a long gap does not look like a hang.
    static constexpr int64_t TellWaitUs = 1000000;

signals:
    // The run ended: every pass played (`failed` false), stopped, or a line did not go out.
    void Finished(bool failed);
    // Nothing goes out for `waitUs`: the next frame (number `frame` of the run, from 1) is that far.
    void Waiting(int64_t waitUs, int64_t frame);

private:
    void Arm();
    void End(bool failed);

    QVector<TLogFrame> m_frames;
    QVector<QByteArray> m_lines;
    TReplayClock m_clock;
    TMicroClock m_now;
    TLineSender m_send;
    TPreciseAlarm m_alarm;
    bool m_running = false;
    int64_t m_toldFor = -1; // the frame whose wait was told last
};
