#pragma once
// The two sizes of a CAN identifier: 11 bits (2.0A, standard frames) and 29 bits (2.0B,
// extended), and the hex digits the module's lines and the page write each with.

#include <cstdint>

namespace CanId {
constexpr int32_t MaxStandard = 0x7FF;
constexpr int32_t MaxExtended = 0x1FFFFFFF;
constexpr int StandardDigits = 3;
constexpr int ExtendedDigits = 8;

constexpr int32_t Max(bool extended) { return extended ? MaxExtended : MaxStandard; }
// The one check of an identifier that comes in from outside (a list, a log, a client, a field).
constexpr bool Fits(int64_t id, bool extended) { return id >= 0 && id <= Max(extended); }
constexpr int Digits(bool extended) { return extended ? ExtendedDigits : StandardDigits; }
} // namespace CanId
