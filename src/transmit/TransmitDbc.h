#pragma once
// Transmit rows that name a message or a signal of a CAN database: the database gives the
// identifier, the format and the DLC, signal values give the data, GenMsgCycleTime gives the
// period when the row has none, and a named signal's bits make the rolling counter.

#include "transmit/TransmitRow.h"

#include <QList>
#include <QStringList>

class TDbcDatabase;

namespace TransmitDbc {

bool NeedsDatabase(const QList<TTransmitRow> &rows);

// Fills in every row that names a message; `database` may be null when no row needs one. Every
// problem is named with its message index and key, as the list's own problems; the rows are
// changed only when there is none.
bool ResolveRows(QList<TTransmitRow> &rows, const TDbcDatabase *database, QStringList &problems);

} // namespace TransmitDbc
