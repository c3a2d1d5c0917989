#include "transmit/TransmitRunner.h"

#include <chrono>
#include <cmath>

int64_t SteadyClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TTransmitRunner::TTransmitRunner(TMicroClock clock, TLineSender send, QObject *parent)
    : QObject(parent), m_clock(std::move(clock)), m_send(std::move(send))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TTransmitRunner::Tick);
    m_sampledAtUs = m_clock();
}

void TTransmitRunner::SetRows(const QList<TTransmitRow> &rows)
{
    Stop();
    m_rows = rows;
    m_state.clear();
    for (const TTransmitRow &r : m_rows)
        m_state.append(TRunState{m_nextKey++, 0, r.Data, 0, 0});
}

void TTransmitRunner::ScheduleRow(int row, int64_t nowUs)
{
    const TTransmitRow &r = m_rows[row];
    if (m_running && r.Enabled && r.PeriodMs > 0)
        m_scheduler.Start(m_state[row].key, int64_t(r.PeriodMs) * 1000, r.Count, nowUs);
    else
        m_scheduler.Stop(m_state[row].key);
}

void TTransmitRunner::SetRow(int row, const TTransmitRow &value)
{
    if (row < 0 || row >= m_rows.size())
        return;
    const bool timing = m_rows[row].Enabled != value.Enabled || m_rows[row].PeriodMs != value.PeriodMs ||
                        m_rows[row].Count != value.Count;
    m_rows[row] = value;
    m_state[row].data = value.Data;
    if (timing)
        ScheduleRow(row, m_clock());
    Arm();
}

void TTransmitRunner::InsertRow(int row, const TTransmitRow &value)
{
    row = std::clamp<int>(row, 0, int(m_rows.size()));
    m_rows.insert(row, value);
    m_state.insert(row, TRunState{m_nextKey++, 0, value.Data, 0, 0});
    ScheduleRow(row, m_clock());
    Arm();
}

void TTransmitRunner::RemoveRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    m_scheduler.Stop(m_state[row].key);
    m_rows.removeAt(row);
    m_state.removeAt(row);
    Arm();
}

void TTransmitRunner::SetEnabled(int row, bool enabled)
{
    if (row < 0 || row >= m_rows.size() || m_rows[row].Enabled == enabled)
        return;
    TTransmitRow r = m_rows[row];
    r.Enabled = enabled;
    SetRow(row, r);
}

bool TTransmitRunner::SendRow(int row)
{
    TRunState &s = m_state[row];
    TTransmitRow r = m_rows[row];
    r.Data = s.data;
    if (!m_send(TransmitRows::MessageLine(r)))
        return false;
    ++s.sent;
    if (r.Counter)
        TransmitRows::AdvanceCounter(s.data, *r.Counter);
    return true;
}

bool TTransmitRunner::SendNow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return false;
    if (SendRow(row))
        return true;
    Stop();
    emit SendFailed(row);
    return false;
}

void TTransmitRunner::Start()
{
    if (m_running)
        return;
    SetRunning(true);
    const int64_t now = m_clock();
    for (int i = 0; i < m_rows.size(); ++i) {
        m_state[i].data = m_rows[i].Data;
        ScheduleRow(i, now);
    }
    Arm();
    // A list without a periodic enabled row has nothing to run.
    if (!m_scheduler.AnyRunning())
        SetRunning(false);
}

void TTransmitRunner::Stop()
{
    m_scheduler.StopAll();
    m_timer.stop();
    SetRunning(false);
}

void TTransmitRunner::SetRunning(bool running)
{
    if (m_running == running)
        return;
    m_running = running;
    emit RunningChanged(running);
}

void TTransmitRunner::Tick()
{
    if (!m_running)
        return;
    const QList<int> due = m_scheduler.TakeDue(m_clock());
    for (int key : due) {
        int row = -1;
        for (int i = 0; i < m_state.size() && row < 0; ++i)
            if (m_state[i].key == key)
                row = i;
        if (row < 0)
            continue;
        if (!SendRow(row)) {
            Stop();
            emit SendFailed(row);
            return;
        }
    }
    Arm();
    if (!m_scheduler.AnyRunning())
        SetRunning(false); // every row has sent its count
}

void TTransmitRunner::Arm()
{
    const std::optional<int64_t> next = m_scheduler.NextDeadline();
    if (!m_running || !next) {
        m_timer.stop();
        return;
    }
    // Whole milliseconds, rounded up: a timer that fires early would only wake us twice.
    const int64_t waitUs = std::max<int64_t>(0, *next - m_clock());
    m_timer.start(int(std::min<int64_t>((waitUs + 999) / 1000, 86400000)));
}

int64_t TTransmitRunner::Sent(int row) const
{
    return row >= 0 && row < m_state.size() ? m_state[row].sent : 0;
}

void TTransmitRunner::SampleRates()
{
    const int64_t now = m_clock();
    const double seconds = double(now - m_sampledAtUs) / 1e6;
    for (TRunState &s : m_state) {
        s.rate = seconds > 0 ? double(s.sent - s.sampledSent) / seconds : 0;
        s.sampledSent = s.sent;
    }
    m_sampledAtUs = now;
}

double TTransmitRunner::Rate(int row) const
{
    return row >= 0 && row < m_state.size() ? m_state[row].rate : 0;
}

QByteArray TTransmitRunner::CurrentData(int row) const
{
    return row >= 0 && row < m_state.size() ? m_state[row].data : QByteArray();
}
