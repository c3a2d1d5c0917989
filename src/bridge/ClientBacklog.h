#pragma once
// What happens to a frame for a client that reads slower than the bus talks: the bytes waiting
// for it are bounded, frames beyond that are counted as missed (and the client is told once it
// has caught up), and a client that stays behind for the grace time is let go. Pure logic with
// the clock passed in.

#include <QByteArray>

#include <cstdint>

class TClientBacklog {
public:
    enum class TVerdict { Send, Drop, Disconnect };

    TClientBacklog(int64_t limitBytes, int64_t graceMs) : m_limit(limitBytes), m_graceMs(graceMs) {}

    // A frame of `size` bytes is due while `queued` bytes still wait for the client.
    TVerdict Offer(int64_t queued, int64_t size, int64_t nowMs);
    // Once the backlog has drained to half the limit: the "< error ... >" telling how many frames
    // were missed, then the count starts afresh. Empty when there is nothing to tell.
    QByteArray TakeReport(int64_t queued);
    // Behind for the grace time or longer, frames offered or not.
    bool Overdue(int64_t nowMs) const { return m_behindSinceMs >= 0 && nowMs - m_behindSinceMs >= m_graceMs; }
    bool Behind() const { return m_behindSinceMs >= 0; }
    uint64_t Missed() const { return m_missed; }
    uint64_t MissedTotal() const { return m_missedTotal; }

private:
    int64_t m_limit;
    int64_t m_graceMs;
    int64_t m_behindSinceMs = -1;
    uint64_t m_missed = 0;
    uint64_t m_missedTotal = 0;
};
