#include "transmit/TransmitScheduler.h"

#include <algorithm>

TTransmitScheduler::TSlot *TTransmitScheduler::Slot(int row)
{
    if (row < 0)
        return nullptr;
    if (row >= m_slots.size())
        m_slots.resize(row + 1);
    return &m_slots[row];
}

void TTransmitScheduler::Start(int row, int64_t periodUs, int64_t count, int64_t nowUs)
{
    TSlot *s = Slot(row);
    if (!s || periodUs <= 0)
        return;
    *s = TSlot{true, periodUs, nowUs, count, 0};
}

void TTransmitScheduler::Stop(int row)
{
    if (row >= 0 && row < m_slots.size())
        m_slots[row].running = false;
}

void TTransmitScheduler::StopAll()
{
    for (TSlot &s : m_slots)
        s.running = false;
}

bool TTransmitScheduler::Running(int row) const
{
    return row >= 0 && row < m_slots.size() && m_slots[row].running;
}

bool TTransmitScheduler::AnyRunning() const
{
    return std::any_of(m_slots.cbegin(), m_slots.cend(), [](const TSlot &s) { return s.running; });
}

QList<int> TTransmitScheduler::TakeDue(int64_t nowUs)
{
    QList<int> due;
    for (int i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].running && m_slots[i].nextUs <= nowUs)
            due << i;
    std::stable_sort(due.begin(), due.end(), [this](int a, int b) { return m_slots[a].nextUs < m_slots[b].nextUs; });
    for (int i : due) {
        TSlot &s = m_slots[i];
        // The first grid point after now: one send however late the tick.
        const int64_t missed = (nowUs - s.nextUs) / s.periodUs;
        s.nextUs += (missed + 1) * s.periodUs;
        ++s.taken;
        if (s.remaining > 0 && --s.remaining == 0)
            s.running = false;
    }
    return due;
}

std::optional<int64_t> TTransmitScheduler::NextDeadline() const
{
    std::optional<int64_t> next;
    for (const TSlot &s : m_slots)
        if (s.running && (!next || s.nextUs < *next))
            next = s.nextUs;
    return next;
}

int64_t TTransmitScheduler::Taken(int row) const
{
    return row >= 0 && row < m_slots.size() ? m_slots[row].taken : 0;
}
