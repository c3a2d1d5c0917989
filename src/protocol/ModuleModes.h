#pragma once
// The values of the window's `ModuleMode`: kept an integer, as the About box and the module's
// documentation speak of modes by number.

#include <cstdint>

namespace ModuleModes {
constexpr int32_t NotConnected = 0;
constexpr int32_t Configuration = 1;
constexpr int32_t Operation = 2;
constexpr int32_t PairTest = 3;

// Operation and pair-connection test both run the receive loop.
constexpr bool Receives(int32_t mode) { return mode == Operation || mode == PairTest; }
} // namespace ModuleModes
