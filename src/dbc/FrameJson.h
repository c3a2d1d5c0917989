#pragma once
// One received line as one JSON object, for JSON Lines output: a frame with its message and
// signals when a database knows it, or a reply or other line with its raw text:
//   {"time": 1796843171.208827, "kind": "t", "id": "123", "extended": false, "remote": false,
//    "dlc": 2, "data": "11AB", "checksum": null, "message": "Engine",
//    "signals": {"Speed": {"raw": 10000, "value": 1000.0, "unit": "km/h", "text": null}}}
//   {"time": 1796843171.208827, "kind": "reply", "raw": "!P0"}
// Written by hand so the keys keep this order and the numbers this form.

#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <cstdint>
#include <memory>
#include <vector>

// `text` is the line without its end, `line` its decoding, `timeUs` microseconds since the epoch.
// Without a database (null) "message" is null and "signals" empty. A signal the frame is too short
// for has null "raw" and "value". No line end.
QByteArray FrameJsonRecord(int64_t timeUs, QByteArrayView text, const TDecodedLine &line, const TDbcDatabase *database);

// The same records for a stream of frames decoded with one database: each message's names,
// units and value texts are escaped once, on its first frame, and the records are written into
// the caller's buffer in place. The database must stay as it is while the writer is in use.
struct TFrameJsonMessage; // a message's names, units and value texts, escaped

class TFrameJsonWriter {
public:
    explicit TFrameJsonWriter(const TDbcDatabase *database);
    ~TFrameJsonWriter();
    TFrameJsonWriter(const TFrameJsonWriter &) = delete;
    TFrameJsonWriter &operator=(const TFrameJsonWriter &) = delete;
    // FrameJsonRecord's bytes, appended to `out`.
    void Append(QByteArray &out, int64_t timeUs, QByteArrayView text, const TDecodedLine &line);

private:
    const TFrameJsonMessage *messageText(const TDecodedLine &line);

    const TDbcDatabase *m_database;
    QHash<uint64_t, const TFrameJsonMessage *> m_messages; // by identifier, extended flag in bit 32; null: none
    std::vector<std::unique_ptr<TFrameJsonMessage>> m_texts;
    std::vector<TSignalReading> m_readings;
};

// The shortest number that reads back the same, with ".0" on whole numbers; null for NaN and
// infinities, which JSON has no words for.
void AppendJsonNumber(QByteArray &out, double value);
// A string in double quotes; bytes that are not valid UTF-8 are taken as Latin-1.
void AppendJsonString(QByteArray &out, QByteArrayView text);
// The signals of `message` in `size` bytes of data, as the members of the "signals" object:
// "Speed": {"raw": 10000, "value": 1000.0, "unit": "km/h", "text": null}, ...
void AppendSignalsJson(QByteArray &out, const TDbcMessage &message, const uint8_t *data, int size);
