// The frame monitor's filter on arbitrary expressions and lines: an identifier list either
// parses into ranges that read back the same, or is refused with a message and changes
// nothing; and every row passes exactly when a plain reading of the three parts says so.

#include "FuzzBytes.h"
#include "monitor/FrameFilter.h"
#include "monitor/FrameStore.h"

#include <QString>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const QString ids = QString::fromLatin1(in.chunk(64));
    const QByteArray text = in.chunk(8);
    const uint32_t kinds = in.byte();
    const QByteArray stream = in.rest();

    std::vector<TIdRange> ranges{{7, 7}};
    QString error;
    const bool ok = ParseIdRanges(ids, ranges, &error);
    if (!ok) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a message");
        FUZZ_CHECK(ranges.size() == 1 && ranges[0] == (TIdRange{7, 7}), "a refused list changed the ranges");
    } else {
        QStringList parts;
        for (const TIdRange &r : ranges) {
            FUZZ_CHECK(r.first <= r.last, "range %X-%X", r.first, r.last);
            parts << QStringLiteral("%1-%2").arg(r.first, 0, 16).arg(r.last, 0, 16);
        }
        std::vector<TIdRange> again;
        FUZZ_CHECK(ParseIdRanges(parts.join(QStringLiteral(", ")), again, nullptr) && again == ranges,
                   "the ranges do not read back");
    }

    TFrameStore store;
    store.Append(stream, 0);
    TFrameFilter filter;
    if (!filter.SetIdentifiers(ids, nullptr))
        ranges.clear();
    filter.SetKinds(kinds);
    filter.SetText(QString::fromLatin1(text));
    std::vector<uint64_t> passed;
    filter.Collect(store, 0, store.Count(), passed);
    size_t next = 0;
    for (qsizetype row = 0; row < store.Count(); ++row) {
        const TFrameRecord r = store.Record(row);
        bool expected = (kinds & TFrameFilter::AllKinds) & (1u << unsigned(r.kind));
        if (expected && !ranges.empty())
            expected = IsCanFrame(r.kind) && std::any_of(ranges.begin(), ranges.end(), [&](const TIdRange &range) {
                           return r.id >= range.first && r.id <= range.last;
                       });
        if (expected && !text.isEmpty())
            expected = store.Text(row).toByteArray().toLower().contains(text.toLower());
        FUZZ_CHECK(filter.Matches(store, row) == expected, "row %lld judged otherwise", (long long)row);
        if (expected) {
            FUZZ_CHECK(next < passed.size() && passed[next] == uint64_t(row), "Collect missed row %lld", (long long)row);
            ++next;
        }
    }
    FUZZ_CHECK(next == passed.size(), "Collect took rows that do not pass");
    return 0;
}
