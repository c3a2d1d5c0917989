#pragma once
// When each running row of a transmit list is due. Pure: times are given in microseconds of a
// monotonic clock that the caller owns, so tests run it without waiting.
//
// A row's deadlines lie on a grid from its start: start, start + period, start + 2 periods, ...
// A send never moves the grid, so no row drifts. A row served late sends once and goes on with
// the first grid point after the moment it was served: it never catches up with a burst; the
// grid points it passed over are counted as missed.
//
// Rows live in slots; a removed row's slot is used again, and the running rows wait in a heap
// ordered by deadline, so a tick costs what is due, not what the list holds.

#include <QList>

#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

class TTransmitScheduler {
public:
    // A free slot for a new row (one given back by Remove when there is one).
    int Add();
    // Stops the slot's row and gives the slot back.
    void Remove(int slot);
    // Slots held, in use or free: bounded by the most rows ever held at once.
    int SlotCount() const { return int(m_slots.size()); }

    // Starts (or restarts) a row: its first send is due at `nowUs`. `count` sends, 0: no end.
    void Start(int slot, int64_t periodUs, int64_t count, int64_t nowUs);
    void Stop(int slot);
    void StopAll();
    bool Running(int slot) const;
    bool AnyRunning() const { return m_running > 0; }

    // The rows due at `nowUs`, earliest deadline first, each once and at most `limit` of them;
    // their deadlines move on and rows that reached their count stop. Rows left over stay due.
    QList<int> TakeDue(int64_t nowUs, int limit = INT_MAX);
    // The earliest deadline of a running row; none when nothing runs.
    std::optional<int64_t> NextDeadline() const;
    // Sends taken in the row's current run, and the grid points it passed over by being late.
    int64_t Taken(int slot) const;
    int64_t Missed(int slot) const;

private:
    struct TSlot {
        bool running = false;
        bool free = false;
        uint32_t generation = 0; // heap entries of an older generation are stale
        int64_t periodUs = 0;
        int64_t nextUs = 0;
        int64_t remaining = 0; // 0: no end
        int64_t taken = 0;
        int64_t missed = 0;
    };
    struct TDue {
        int64_t atUs;
        int slot;
        uint32_t generation;
    };
    TSlot *Slot(int slot);
    bool Stale(const TDue &due) const;
    void Push(int slot);
    void DropStaleTop();
    void Halt(TSlot &s);

    std::vector<TSlot> m_slots;
    std::vector<int> m_free;
    std::vector<TDue> m_heap; // earliest first (std::push_heap with Later)
    int m_running = 0;
};
