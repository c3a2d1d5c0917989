// The line splitter and the frame store on arbitrary bytes in arbitrary reads: the rows and the
// pending bytes are exactly the bytes fed, the texts do not depend on how the bytes were split
// into reads, every text is decoded as the store's record says, and a bounded history keeps the
// newest rows of the same stream.

#include "FuzzBytes.h"
#include "monitor/FrameStore.h"
#include "monitor/LineSplitter.h"

#include <QByteArray>
#include <QList>

namespace {

QList<QByteArray> textsOf(const TFrameStore &store)
{
    QList<QByteArray> out;
    for (qsizetype i = 0; i < store.Count(); ++i)
        out << store.Text(i).toByteArray();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const bool endPending = in.byte() & 1;
    QList<QByteArray> reads;
    while (!in.empty())
        reads << in.chunk(64);

    TFrameStore store;
    TFrameStore bounded;
    bounded.SetCapacity(TFrameStore::MinimumCapacity);
    TLineSplitter splitter;
    QList<QByteArray> split;
    QByteArray all;
    int64_t time = 0;
    for (const QByteArray &read : reads) {
        store.Append(read, ++time);
        bounded.Append(read, time);
        splitter.Feed(read, time, [&](const TLine &line) {
            FUZZ_CHECK(line.raw.size() >= line.text.size(), "text longer than its raw bytes");
            split << line.text.toByteArray();
        });
        all += read;
    }
    // The same bytes in one read give the same lines.
    TFrameStore whole;
    whole.Append(all, 1);
    if (endPending) {
        store.EndPendingLine();
        whole.EndPendingLine();
        splitter.Finish([&](const TLine &line) { split << line.text.toByteArray(); });
    }

    FUZZ_CHECK(store.AllBytes() + store.PendingRaw().toByteArray() == all, "bytes lost or added");
    FUZZ_CHECK(store.TotalBytes() == uint64_t(all.size()), "byte count");
    const QList<QByteArray> texts = textsOf(store);
    FUZZ_CHECK(texts == textsOf(whole), "the split into reads changed the lines (%lld rows against %lld)",
               (long long)texts.size(), (long long)whole.Count());
    FUZZ_CHECK(texts == split, "the splitter and the store disagree");
    FUZZ_CHECK(store.PendingText() == whole.PendingText(), "pending text depends on the reads");
    QByteArray joined;
    for (qsizetype i = 0; i < store.Count(); ++i) {
        const QByteArrayView raw = store.Raw(i);
        joined += raw.toByteArray();
        const TFrameRecord r = store.Record(i);
        FUZZ_CHECK(!texts[i].contains('\r'), "a CR inside row %lld", (long long)i);
        FUZZ_CHECK(r.terminated == raw.contains('\r'), "row %lld: terminated without a CR", (long long)i);
        const TDecodedLine d = DecodeLine(texts[i]);
        FUZZ_CHECK(d.kind == r.kind && d.id == r.id && d.dlc == r.dlc && d.checksum == r.checksum,
                   "row %lld decoded otherwise than recorded", (long long)i);
        FUZZ_CHECK(r.end == uint64_t(joined.size()), "row %lld ends at %llu, not %lld", (long long)i,
                   (unsigned long long)r.end, (long long)joined.size());
        FUZZ_CHECK(store.Row(i).text == store.Text(i), "Row and Text differ");
    }

    // The bounded history holds the newest rows of the same stream.
    FUZZ_CHECK(qsizetype(bounded.Dropped()) + bounded.Count() == store.Count() - (endPending && store.Count() > 0
                                                                                     && !store.Record(store.Count() - 1).terminated),
               "rows dropped and kept do not add up");
    FUZZ_CHECK(bounded.Count() <= bounded.Capacity(), "over the capacity");
    for (qsizetype i = 0; i < bounded.Count(); ++i)
        FUZZ_CHECK(bounded.Text(i).toByteArray() == texts[qsizetype(bounded.Dropped()) + i], "bounded row %lld",
                   (long long)i);
    return 0;
}
