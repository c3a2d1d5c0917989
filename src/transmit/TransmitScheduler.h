#pragma once
// When each running row of a transmit list is due. Pure: times are given in microseconds of a
// monotonic clock that the caller owns, so tests run it without waiting.
//
// A row's deadlines lie on a grid from its start: start, start + period, start + 2 periods, ...
// A send never moves the grid, so no row drifts. A row served late sends once and goes on with
// the first grid point after the moment it was served: it never catches up with a burst.

#include <QList>

#include <cstdint>
#include <optional>

class TTransmitScheduler {
public:
    // Starts (or restarts) a row: its first send is due at `nowUs`. `count` sends, 0: no end.
    void Start(int row, int64_t periodUs, int64_t count, int64_t nowUs);
    void Stop(int row);
    void StopAll();
    bool Running(int row) const;
    bool AnyRunning() const;

    // The rows due at `nowUs`, earliest deadline first, each once; their deadlines move on and
    // rows that reached their count stop.
    QList<int> TakeDue(int64_t nowUs);
    // The earliest deadline of a running row; none when nothing runs.
    std::optional<int64_t> NextDeadline() const;
    // Sends taken in the row's current run.
    int64_t Taken(int row) const;

private:
    struct TSlot {
        bool running = false;
        int64_t periodUs = 0;
        int64_t nextUs = 0;
        int64_t remaining = 0; // 0: no end
        int64_t taken = 0;
    };
    TSlot *Slot(int row);
    QList<TSlot> m_slots;
};
