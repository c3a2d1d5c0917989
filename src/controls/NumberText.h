#pragma once
// Number <-> text conversions of the number field. Pure: no widgets, no exceptions.

#include <QString>
#include <cstdint>

// The 32-bit two's-complement pattern in upper-case hexadecimal, without leading zeros
// (0 gives "0", -1 gives "FFFFFFFF").
QString IntToHexText(int32_t v);

// The 32-bit two's-complement pattern in binary digits, without leading zeros.
QString IntToBinText(int32_t v);

// Digits weighted from the right, modulo 2^32, read as signed: a ninth digit and beyond add
// nothing. A character that is no hexadecimal digit counts as 0 (callers that care test
// IsHexText first). Empty text gives 0.
int32_t HexTextToInt(const QString &t);

// Every "1" adds its weight from the right, any other character adds nothing; modulo 2^32.
int32_t BinTextToInt(const QString &t);

// True when every character is one of 0-9, A-F, a-f (so also for the empty text).
bool IsHexText(const QString &t);

// True when every character is "0" or "1" (so also for the empty text).
bool IsBinText(const QString &t);
