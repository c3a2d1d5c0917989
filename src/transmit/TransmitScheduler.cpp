#include "transmit/TransmitScheduler.h"

#include <algorithm>

namespace {

// The heap's order: the earliest deadline on top, a tie to the lower slot.
struct Later {
    template <class T>
    bool operator()(const T &a, const T &b) const
    {
        return a.atUs != b.atUs ? a.atUs > b.atUs : a.slot > b.slot;
    }
};

} // namespace

int TTransmitScheduler::Add()
{
    if (!m_free.empty()) {
        const int slot = m_free.back();
        m_free.pop_back();
        m_slots[size_t(slot)].free = false;
        return slot;
    }
    m_slots.emplace_back();
    return int(m_slots.size()) - 1;
}

void TTransmitScheduler::Remove(int slot)
{
    TSlot *s = slot >= 0 && slot < SlotCount() ? &m_slots[size_t(slot)] : nullptr;
    if (!s || s->free)
        return;
    Halt(*s);
    const uint32_t generation = s->generation;
    *s = TSlot();
    s->generation = generation;
    s->free = true;
    m_free.push_back(slot);
    DropStaleTop();
}

TTransmitScheduler::TSlot *TTransmitScheduler::Slot(int slot)
{
    if (slot < 0)
        return nullptr;
    // Rows numbered by the caller (without Add) get their slots on first use.
    while (slot >= SlotCount())
        m_slots.emplace_back();
    TSlot *s = &m_slots[size_t(slot)];
    return s->free ? nullptr : s;
}

bool TTransmitScheduler::Stale(const TDue &due) const
{
    const TSlot &s = m_slots[size_t(due.slot)];
    return !s.running || s.generation != due.generation;
}

void TTransmitScheduler::Push(int slot)
{
    const TSlot &s = m_slots[size_t(slot)];
    m_heap.push_back({s.nextUs, slot, s.generation});
    std::push_heap(m_heap.begin(), m_heap.end(), Later());
}

void TTransmitScheduler::DropStaleTop()
{
    while (!m_heap.empty() && Stale(m_heap.front())) {
        std::pop_heap(m_heap.begin(), m_heap.end(), Later());
        m_heap.pop_back();
    }
    // Rows restarted again and again (edits while running) leave stale entries deep down.
    if (m_heap.size() > 2 * size_t(m_running) + 64) {
        std::erase_if(m_heap, [this](const TDue &d) { return Stale(d); });
        std::make_heap(m_heap.begin(), m_heap.end(), Later());
    }
}

void TTransmitScheduler::Halt(TSlot &s)
{
    ++s.generation;
    if (s.running) {
        s.running = false;
        --m_running;
    }
}

void TTransmitScheduler::Start(int slot, int64_t periodUs, int64_t count, int64_t nowUs)
{
    TSlot *s = Slot(slot);
    if (!s || periodUs <= 0)
        return;
    Halt(*s);
    s->running = true;
    ++m_running;
    s->periodUs = periodUs;
    s->nextUs = nowUs;
    s->remaining = count;
    s->taken = 0;
    s->missed = 0;
    Push(slot);
    DropStaleTop();
}

void TTransmitScheduler::Stop(int slot)
{
    if (slot >= 0 && slot < SlotCount())
        Halt(m_slots[size_t(slot)]);
    DropStaleTop();
}

void TTransmitScheduler::StopAll()
{
    for (TSlot &s : m_slots)
        Halt(s);
    m_heap.clear();
}

bool TTransmitScheduler::Running(int slot) const
{
    return slot >= 0 && slot < SlotCount() && m_slots[size_t(slot)].running;
}

QList<int> TTransmitScheduler::TakeDue(int64_t nowUs, int limit)
{
    QList<int> due;
    while (due.size() < limit && !m_heap.empty() && m_heap.front().atUs <= nowUs) {
        std::pop_heap(m_heap.begin(), m_heap.end(), Later());
        const TDue top = m_heap.back();
        m_heap.pop_back();
        if (Stale(top))
            continue;
        TSlot &s = m_slots[size_t(top.slot)];
        // The first grid point after now: one send however late the tick.
        const int64_t missed = (nowUs - s.nextUs) / s.periodUs;
        s.missed += missed;
        s.nextUs += (missed + 1) * s.periodUs;
        ++s.taken;
        due << top.slot;
        if (s.remaining > 0 && --s.remaining == 0)
            Halt(s);
        else
            Push(top.slot);
    }
    DropStaleTop();
    return due;
}

std::optional<int64_t> TTransmitScheduler::NextDeadline() const
{
    // The top is never stale: every change drops stale entries from it.
    if (m_heap.empty())
        return std::nullopt;
    return m_heap.front().atUs;
}

int64_t TTransmitScheduler::Taken(int slot) const
{
    return slot >= 0 && slot < SlotCount() ? m_slots[size_t(slot)].taken : 0;
}

int64_t TTransmitScheduler::Missed(int slot) const
{
    return slot >= 0 && slot < SlotCount() ? m_slots[size_t(slot)].missed : 0;
}
