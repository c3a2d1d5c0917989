#pragma once
// src/transmit: transmit lists, their scheduler and the log replay, each on an injected clock.
// Uses protocol, monitor, dbc, common and Qt Core; no widgets, so k3316-cli runs them too.
//
// Transmit lists as JSON files:
// {"format": "k3316-transmit", "version": 1, "messages": [{"enabled": true, "name": "Heartbeat",
//  "id": "123", "extended": false, "remote": false, "dlc": 2, "data": "11AB", "period_ms": 100,
//  "count": 0, "counter": {"start_bit": 8, "length": 4, "step": 1}}]}
// `name` and `counter` may be left out. Parsing checks the whole file before any row is used.

#include "transmit/TransmitRow.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace TransmitLists {

// Every problem is listed, each naming its message and key ("messages[2].dlc: must be 0 to 8");
// `rows` is set only when there is none.
bool ParseTransmitList(const QByteArray &json, QList<TTransmitRow> &rows, QStringList &problems);
// The rows as JSON, keys in the documented order.
QByteArray WriteTransmitList(const QList<TTransmitRow> &rows);

} // namespace TransmitLists
