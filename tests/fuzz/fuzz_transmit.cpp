// Transmit lists and candump logs from arbitrary bytes. The first byte picks the reader:
// - even: one candump line; a frame read has at most 64 data bytes, a classic one at most 8, a
//   remote one none, and the composer's line for it (when the module can send it) is well formed;
//   played with frames at the far ends of time, the replay clock's sums stay in range (UBSan);
// - odd: a transmit list; a list read has rows that pass the field checks, compose a line
//   without throwing, and read back equal from what the writer makes of them.

#include "FuzzBytes.h"
#include "monitor/CandumpLog.h"
#include "transmit/ReplayClock.h"
#include "transmit/TransmitList.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] % 2 == 0) {
        TLogFrame f;
        QString error;
        if (!ParseCandumpLine(bytes, f, error)) {
            if (error.isEmpty())
                std::abort();
            return 0;
        }
        if (f.Data.size() > 64 || (!f.Fd && f.Data.size() > 8) || (f.Remote && !f.Data.isEmpty()))
            std::abort();
        const QByteArray line = TReplayClock::FrameLine(f);
        if (!line.isEmpty() && !(line[0] == 't' || line[0] == 'T' || line[0] == 'e' || line[0] == 'E'))
            std::abort();
        TLogFrame early = f, late = f;
        early.TimeUs = INT64_MIN;
        late.TimeUs = INT64_MAX;
        TReplayOptions o;
        o.Loops = 1 + data[0] / 64;
        o.Speed = 0.25 * (1 + data[0] % 32);
        o.MaxGapUs = data[0] % 3 == 0 ? 0 : int64_t(data[0]) * 1000;
        TReplayClock clock({early, f, late, f}, o);
        for (const int64_t now : {int64_t(0), f.TimeUs, INT64_MAX / 2, INT64_MAX - 1}) {
            if (now == 0)
                clock.Start(f.TimeUs);
            while (clock.TakeDue(now) >= 0) {
            }
            if (clock.PassUs() < 0 || clock.PlayedUs(now) < 0 || clock.PlayedUs(now) > clock.PassUs() ||
                (clock.LeftUs(now) < 0 && o.Loops != 0))
                std::abort();
            (void)clock.NextDueUs();
        }
        return 0;
    }
    QList<TTransmitRow> rows;
    QStringList problems;
    if (!TransmitLists::ParseTransmitList(bytes, rows, problems)) {
        if (problems.isEmpty())
            std::abort();
        return 0;
    }
    for (const TTransmitRow &r : rows) {
        if (!r.Message.isEmpty())
            continue; // the database fills these in
        if (!TransmitRows::CheckRow(r).isEmpty())
            std::abort();
        (void)TransmitRows::MessageLine(r);
    }
    QList<TTransmitRow> again;
    if (!TransmitLists::ParseTransmitList(TransmitLists::WriteTransmitList(rows), again, problems) || !(again == rows))
        std::abort();
    return 0;
}
