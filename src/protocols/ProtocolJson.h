#pragma once
// The JSON Lines form of decoded protocols for `monitor --protocol` and `decode --protocol`:
//   {"kind": "transfer", "protocol": "isotp", "start": ..., "end": ..., "id": "7E8", "peer": "7E0",
//    "length": 20, "data": "62F190...", "meaning": "UDS ...", "fault": null, "answer_after": 0.013,
//    "service": 34}
// for a reassembled message (the last fields only where they apply), and
//   {"kind": "frame", "protocol": "j1939", "time": ..., "id": "0CF00400", "extended": true,
//    "data": "...", "decoded": "J1939 PGN 61444 EEC1 SA 00 P3"}
// for a frame that means something by itself. Written by hand, as the other JSON Lines are:
// one object costs a few hundred nanoseconds, not the microseconds of a QJsonDocument.

#include "protocols/ProtocolFrame.h"

#include <QByteArray>

struct TDbcMessage;

// One object and its line feed, appended to `out`. With a database message (a J1939 parameter
// group it describes), "message" and "signals" are added, decoded from all the bytes.
void AppendTransferJson(QByteArray &out, const TTransfer &transfer, const TDbcMessage *message = nullptr);
void AppendDecodedFrameJson(QByteArray &out, const TBusFrame &frame, const QString &protocol, const QString &text,
                            const TDbcMessage *message = nullptr);
