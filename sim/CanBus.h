#pragma once
// The virtual CAN bus side of the module: which message lines it takes, and a node that sends
// a deterministic stream of varied messages.

#include <QByteArray>

#include <cstdint>

namespace Sim {

// "t"/"e" + 3/8 hex identifier digits + DLC 0..8 + exactly DLC data bytes as two hex digits
// each; "T"/"E" the same without data. Identifiers must fit 11 or 29 bits: a controller cannot
// send anything else. Hex digits of either case.
bool IsWellFormedMessage(const QByteArray &text);

// A node on the bus. The same seed gives the same lines, so tests can count and compare them.
class BusNode {
public:
    explicit BusNode(uint64_t seed) : m_state(seed) {}

    // One message line (no CR): frame kind, identifier, length and data all vary.
    QByteArray next();
    // A data frame of eight bytes: the longest standard line, used as noise around replies.
    QByteArray nextLong();

private:
    uint64_t random();
    QByteArray line(int kind, int dlc);

    uint64_t m_state;
};

} // namespace Sim
