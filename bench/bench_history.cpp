// The Frame Monitor's bounded history under a long run: lines of the virtual module's node are
// appended read by read, well past the history's length, as the receive loop does. Prints the
// cost per line, the longest single read (where a chunk of the oldest rows goes) and resident
// memory once the history is full and at the end, which should be alike. Never fails.
//
// Usage: bench_history [lines] [history]

#include "monitor/FrameStore.h"
#include "protocol/Framing.h"

#include "BenchSupport.h"
#include "CanBus.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char *argv[])
{
    const qint64 lines = argc > 1 ? std::max(1000LL, atoll(argv[1])) : 12000000;
    const qsizetype history = argc > 2 ? qsizetype(atoll(argv[2])) : TFrameStore::DefaultCapacity;
    constexpr int linesPerRead = 4; // about what one read holds at the line rate

    Sim::BusNode node(11);
    QList<QByteArray> reads;
    for (int i = 0; i < 4096; ++i) {
        QByteArray read;
        for (int k = 0; k < linesPerRead; ++k)
            read += Framing::FrameLine(node.next(), false);
        reads << read;
    }

    TFrameStore store;
    store.SetCapacity(history);
    const long rssStartKb = ResidentKb();
    long rssFullKb = 0;
    double longestReadMs = 0;
    double longestDropMs = 0; // the longest read that dropped a chunk of the oldest rows
    std::vector<double> dropMs;
    QElapsedTimer all;
    all.start();
    QElapsedTimer one;
    int64_t time = 1765280000000000;
    for (qint64 done = 0, r = 0; done < lines; done += linesPerRead, ++r) {
        const uint64_t droppedBefore = store.Dropped();
        one.start();
        store.Append(reads[r % reads.size()], time += 1000);
        const double ms = one.nsecsElapsed() / 1e6;
        longestReadMs = std::max(longestReadMs, ms);
        if (store.Dropped() != droppedBefore) {
            longestDropMs = std::max(longestDropMs, ms);
            dropMs.push_back(ms);
        }
        if (rssFullKb == 0 && store.Dropped() > 0)
            rssFullKb = ResidentKb();
    }
    const double seconds = all.nsecsElapsed() / 1e9;
    std::printf("history: %lld lines into a history of %lld: %.0f ns a line, longest read %.1f ms; "
                "%lld kept, %llu dropped in %zu chunks, a read that dropped one: median %.2f ms, longest %.1f ms\n",
                (long long)lines, (long long)history, seconds * 1e9 / double(lines), longestReadMs,
                (long long)store.Count(), (unsigned long long)store.Dropped(), dropMs.size(), Median(dropMs),
                longestDropMs);
    std::printf("history: resident %ld MB at the start, %ld MB when the history was full, %ld MB at the end\n",
                rssStartKb / 1024, rssFullKb / 1024, ResidentKb() / 1024);
    return 0;
}
