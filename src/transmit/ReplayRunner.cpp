#include "transmit/ReplayRunner.h"

TReplayRunner::TReplayRunner(const QVector<TLogFrame> &frames, const TReplayOptions &options, TMicroClock clock,
                             TLineSender send, QObject *parent)
    : QObject(parent), m_frames(frames), m_clock(frames, options), m_now(std::move(clock)), m_send(std::move(send))
{
    m_lines.reserve(frames.size());
    for (const TLogFrame &f : frames)
        m_lines.append(TReplayClock::FrameLine(f));
    connect(&m_alarm, &TPreciseAlarm::Fired, this, &TReplayRunner::Tick);
}

void TReplayRunner::Start()
{
    m_running = true;
    m_toldFor = -1;
    m_clock.Start(m_now());
    Tick();
}

void TReplayRunner::Pause()
{
    if (!m_running)
        return;
    m_clock.Pause(m_now());
    m_alarm.Stop();
}

void TReplayRunner::Resume()
{
    if (!m_running)
        return;
    m_clock.Resume(m_now());
    Tick();
}

void TReplayRunner::Stop()
{
    if (m_running)
        End(false);
}

void TReplayRunner::End(bool failed)
{
    m_running = false;
    m_alarm.Stop();
    emit Finished(failed);
}

void TReplayRunner::Tick()
{
    if (!m_running || m_clock.Paused())
        return;
    for (int n = 0; n < BatchLimit; ++n) {
        const int frame = m_clock.TakeDue(m_now());
        if (frame < 0)
            break;
        if (!m_send(m_lines[frame])) {
            End(true);
            return;
        }
    }
    if (m_clock.Finished()) {
        End(false);
        return;
    }
    Arm();
}

void TReplayRunner::Arm()
{
    const std::optional<int64_t> next = m_clock.NextDueUs();
    if (!next) {
        m_alarm.Stop();
        return;
    }
    const int64_t waitUs = std::max<int64_t>(0, *next - m_now());
    m_alarm.Start(waitUs);
    // Told once a frame: a wait longer than a day re-arms and is not told again.
    const int64_t frame = m_clock.Sent() + 1;
    if (waitUs >= TellWaitUs && m_toldFor != frame) {
        m_toldFor = frame;
        emit Waiting(waitUs, frame);
    }
}
