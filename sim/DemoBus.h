#pragma once
// The demo bus: a few messages with fixed identifiers at fixed periods, whose signals change
// slowly over time. examples/demo.dbc describes exactly these messages, so a newcomer can load a
// database and plot a signal without writing one.

#include <QByteArray>

#include <cstdint>

namespace Sim {

class DemoBus {
public:
    struct Message {
        uint32_t id;
        bool extended;
        int periodMs;
    };
    static constexpr int MessageCount = 5;
    static const Message Messages[MessageCount];

    // Milliseconds after the start at which the next line is due.
    uint64_t nextDueMs() const;
    // The line (no CR) of the message due first; the earlier listed one on a tie.
    QByteArray next();

    // The eight data bytes of message `index` at `elapsedMs` after the start; `sent` is how many
    // of it went out before (its rolling counter).
    static QByteArray Data(int index, uint64_t elapsedMs, uint64_t sent);

private:
    int dueIndex() const;

    uint64_t m_sent[MessageCount] = {};
};

} // namespace Sim
