#pragma once
// The entries of every settings box, in wire-index order: a setting travels as its entry's
// position in the list. The window, the serial settings dialog and profiles all take them here.

#include <QStringList>

namespace BoxLists {

const QStringList &RS232Baudrates();   // "110" .. "115200" (0 to 11)
const QStringList &DataBits();         // "5" .. "8"
const QStringList &StopBits();         // "1", "2"
const QStringList &Parities();         // "None", "Odd", "Even"
const QStringList &NoYes();            // "No", "Yes": add checksum, error response
const QStringList &CanSpecifications(); // "2.0A", "2.0B"
const QStringList &CanBaudrates();     // "10K" .. "1000K", then "83.3K" (9)
const QStringList &EndsOfCommand();    // "None", "CR", "LF", "CR_LF", "LF_CR"

// The entry at `index`, or an empty text outside the list.
QString EntryAt(const QStringList &list, int index);

} // namespace BoxLists
