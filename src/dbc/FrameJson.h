#pragma once
// One received line as one JSON object, for JSON Lines output: a frame with its message and
// signals when a database knows it, or a reply or other line with its raw text:
//   {"time": 1796843171.208827, "kind": "t", "id": "123", "extended": false, "remote": false,
//    "dlc": 2, "data": "11AB", "checksum": null, "message": "Engine",
//    "signals": {"Speed": {"raw": 10000, "value": 1000.0, "unit": "km/h", "text": null}}}
//   {"time": 1796843171.208827, "kind": "reply", "raw": "!P0"}
// Written by hand so the keys keep this order and the numbers this form.

#include "dbc/DbcDatabase.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// `text` is the line without its end, `line` its decoding, `timeUs` microseconds since the epoch.
// Without a database (null) "message" is null and "signals" empty. A signal the frame is too short
// for has null "raw" and "value". No line end.
QByteArray FrameJsonRecord(int64_t timeUs, QByteArrayView text, const TDecodedLine &line, const TDbcDatabase *database);

// The shortest number that reads back the same, with ".0" on whole numbers; null for NaN and
// infinities, which JSON has no words for.
void AppendJsonNumber(QByteArray &out, double value);
// A string in double quotes; bytes that are not valid UTF-8 are taken as Latin-1.
void AppendJsonString(QByteArray &out, QByteArrayView text);
// The signals of `message` in `size` bytes of data, as the members of the "signals" object:
// "Speed": {"raw": 10000, "value": 1000.0, "unit": "km/h", "text": null}, ...
void AppendSignalsJson(QByteArray &out, const TDbcMessage &message, const uint8_t *data, int size);
