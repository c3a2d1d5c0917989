#pragma once
// How the windows show decoded signals: values in the fewest digits, a frame's signals on one
// line, and which identifiers a name typed into a filter stands for. No widgets.

#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"

#include <QString>

#include <cstdint>
#include <vector>

// Key of an identifier as the monitor's views sort them: the extended flag above the 29 bits.
inline uint64_t IdKey(uint32_t id, bool extended)
{
    return (extended ? uint64_t(1) << 32 : 0) | id;
}

// "1830", "0.1", "-40.5": the value as the CSV writes it.
QString SignalValueString(double value);
// "Speed=1830 km/h  Gear=3 (third)": every signal present; one left out by a short frame shows "?".
QString SignalsLine(const QVector<TDecodedSignal> &decoded);
// Identifiers of the messages whose name, or the name of one of their signals, contains `text`
// (letters of either case); sorted.
std::vector<uint64_t> IdsNamedLike(const TDbcDatabase &database, const QString &text);
