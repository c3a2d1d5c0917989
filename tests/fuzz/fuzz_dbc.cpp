// The DBC reader on arbitrary text, then every message it accepts decoded from arbitrary bytes
// of every length and encoded back. The reader must end, fail cleanly (nothing loaded, the error
// names file, line and column, or the file as no database at all) or give messages the codec can
// use without reading out of bounds.

#include "FuzzBytes.h"
#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"

#include <QByteArray>
#include <QRegularExpression>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first 64 bytes are frame data; the rest is the file.
    const size_t frameBytes = size < 64 ? size : 64;
    std::vector<uint8_t> frame(data, data + frameBytes);
    const QByteArray text(reinterpret_cast<const char *>(data + frameBytes), qsizetype(size - frameBytes));

    TDbcDatabase db;
    QString error;
    const bool ok = db.LoadText(text, QStringLiteral("f.dbc"), error);
    if (!ok) {
        // A file with none of a database's keywords is refused as a whole, anything else by position.
        static const QRegularExpression where(QStringLiteral("^f\\.dbc:\\d+:\\d+: \\S"));
        FUZZ_CHECK(where.match(error).hasMatch() || error == QStringLiteral("f.dbc: not a CAN database"),
                   "error without a position: %s", qPrintable(error));
        FUZZ_CHECK(db.IsEmpty() && db.Messages().isEmpty(), "a file with an error left messages behind");
        return 0;
    }
    for (const TDbcMessage *m : db.Messages()) {
        FUZZ_CHECK(db.Find(m->Id, m->Extended) == m, "message %s not found by its identifier", qPrintable(m->Name));
        for (int length = 0; length <= int(frame.size()); length += 1 + length / 4) {
            // exactly `length` bytes on the heap, so a read past them is seen
            std::vector<uint8_t> bytes(frame.begin(), frame.begin() + length);
            QHash<QString, double> values;
            for (const TDecodedSignal &d : DecodeSignals(*m, bytes.data(), length)) {
                if (d.Present && d.Signal->Mux != TDbcSignal::TMux::Multiplexed)
                    values.insert(d.Signal->Name, d.Value);
            }
            QByteArray encoded;
            QString encodeError;
            if (EncodeSignals(*m, values, encoded, encodeError))
                FUZZ_CHECK(encoded.size() == m->Dlc, "encoded %lld bytes for a DLC of %d", (long long)encoded.size(), m->Dlc);
            for (const TDbcSignal &s : m->Signals)
                InsertRawBits(s, ~uint64_t(0), bytes.data(), length);
        }
    }
    return 0;
}
