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
    connect(&m_alarm, &TPreciseAlarm::Fired, this, &TTransmitRunner::Tick);
    m_sampledAtUs = m_clock();
}

TTransmitRunner::TRunState TTransmitRunner::NewState(const TTransmitRow &row)
{
    TRunState s;
    s.slot = m_scheduler.Add();
    s.data = row.Data;
    return s;
}

void TTransmitRunner::IndexSlots()
{
    m_rowOfSlot.fill(-1, m_scheduler.SlotCount());
    for (int i = 0; i < m_state.size(); ++i)
        m_rowOfSlot[m_state[i].slot] = i;
}

void TTransmitRunner::SetRows(const QList<TTransmitRow> &rows)
{
    Stop();
    for (const TRunState &s : m_state)
        m_scheduler.Remove(s.slot);
    m_rows = rows;
    m_state.clear();
    m_state.reserve(m_rows.size());
    for (const TTransmitRow &r : m_rows)
        m_state.append(NewState(r));
    IndexSlots();
}

void TTransmitRunner::ScheduleRow(int row, int64_t nowUs)
{
    const TTransmitRow &r = m_rows[row];
    if (m_running && r.Enabled && r.PeriodMs > 0)
        m_scheduler.Start(m_state[row].slot, int64_t(r.PeriodMs) * 1000, r.Count, nowUs);
    else
        m_scheduler.Stop(m_state[row].slot);
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
    m_state.insert(row, NewState(value));
    IndexSlots();
    ScheduleRow(row, m_clock());
    Arm();
}

void TTransmitRunner::RemoveRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    m_scheduler.Remove(m_state[row].slot);
    m_rows.removeAt(row);
    m_state.removeAt(row);
    IndexSlots();
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
    // A run counts from nothing: the figures of the run before would read as this one's.
    m_sampledAtUs = now;
    for (int i = 0; i < m_rows.size(); ++i) {
        TRunState &s = m_state[i];
        s.data = m_rows[i].Data;
        s.sent = s.sampledSent = s.sampledMissed = 0;
        s.rate = 0;
        s.behind = false;
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
    m_alarm.Stop();
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
    // One batch; rows still due wait for the next turn, which the alarm gives at once.
    const QList<int> due = m_scheduler.TakeDue(m_clock(), BatchLimit);
    for (int slot : due) {
        const int row = slot < m_rowOfSlot.size() ? m_rowOfSlot[slot] : -1;
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
        m_alarm.Stop();
        return;
    }
    m_alarm.Start(std::max<int64_t>(0, *next - m_clock()));
}

int64_t TTransmitRunner::Sent(int row) const
{
    return row >= 0 && row < m_state.size() ? m_state[row].sent : 0;
}

int64_t TTransmitRunner::Missed(int row) const
{
    return row >= 0 && row < m_state.size() ? m_scheduler.Missed(m_state[row].slot) : 0;
}

void TTransmitRunner::SampleRates()
{
    const int64_t now = m_clock();
    const double seconds = double(now - m_sampledAtUs) / 1e6;
    for (int i = 0; i < m_state.size(); ++i) {
        TRunState &s = m_state[i];
        s.rate = seconds > 0 ? double(s.sent - s.sampledSent) / seconds : 0;
        s.sampledSent = s.sent;
        const int64_t missed = m_scheduler.Missed(s.slot);
        s.behind = m_running && missed > s.sampledMissed;
        s.sampledMissed = missed;
    }
    m_sampledAtUs = now;
}

double TTransmitRunner::Rate(int row) const
{
    return row >= 0 && row < m_state.size() ? m_state[row].rate : 0;
}

bool TTransmitRunner::Behind(int row) const
{
    return row >= 0 && row < m_state.size() && m_state[row].behind;
}

QByteArray TTransmitRunner::CurrentData(int row) const
{
    return row >= 0 && row < m_state.size() ? m_state[row].data : QByteArray();
}
