#pragma once
// Transmit rows that name a message or a signal of a CAN database: the database gives the
// identifier, the format and the DLC, signal values give the data, GenMsgCycleTime gives the
// period when the row has none, and a named signal's bits make the rolling counter.

#include "transmit/TransmitRow.h"

#include <QList>
#include <QStringList>

class TDbcDatabase;
struct TDbcSignal;

namespace TransmitDbc {

bool NeedsDatabase(const QList<TTransmitRow> &rows);

// Fills in every row that names a message; `database` may be null when no row needs one. Every
// problem is named with its message index and key, as the list's own problems; the rows are
// changed only when there is none. `howToLoad` ends the problem of a row when no database is given.
bool ResolveRows(QList<TTransmitRow> &rows, const TDbcDatabase *database, QStringList &problems,
                 const QString &howToLoad = QStringLiteral("give its DBC file (--dbc FILE)"));

// Whether a signal's bits can be a rolling counter: the counter steps a bit field in little-endian
// order, so a little-endian integer signal.
bool CanCount(const TDbcSignal &signal);

} // namespace TransmitDbc
