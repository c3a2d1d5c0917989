// A log played as it is read: every frame once and in order across the chunks it is read in,
// the gap between two chunks kept (a frame never goes out before its time), passes read the
// log again, and frames the module cannot send are counted without the frames carried over.

#include "transmit/ReplayStream.h"
#include "transmit/TransmitRunner.h"

#include <QTest>

#include <chrono>

namespace {

int64_t nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

class TestReplayStream : public QObject {
    Q_OBJECT

private slots:
    void playsEveryFrameOnceKeepingTheGapBetweenChunks_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("loops");
        QTest::addColumn<int>("errorFrames");
        QTest::newRow("one chunk and a bit") << TReplayStream::ChunkFrames + 4 << 1 << 0;
        QTest::newRow("two passes") << TReplayStream::ChunkFrames + 4 << 2 << 0;
        QTest::newRow("error frames counted, not the carried ones") << TReplayStream::ChunkFrames + 4 << 1 << 3;
    }
    void playsEveryFrameOnceKeepingTheGapBetweenChunks()
    {
        QFETCH(int, frames);
        QFETCH(int, loops);
        QFETCH(int, errorFrames);
        // All at once but for a 200 ms gap where the first chunk ends.
        constexpr int64_t gapUs = 200000;
        int next = 0;
        TReplaySource source;
        source.next = [&](TLogFrame &f) {
            if (next >= frames + errorFrames)
                return false;
            f = TLogFrame();
            const int i = next++;
            f.Error = i >= frames;
            f.Id = uint32_t(i % 0x800);
            f.Dlc = 1;
            f.Data = QByteArray(1, char(i));
            f.TimeUs = i >= TReplayStream::ChunkFrames ? gapUs : 0;
            return true;
        };
        int rewinds = 0;
        source.rewind = [&] {
            ++rewinds;
            next = 0;
            return true;
        };
        TReplayOptions options;
        options.Loops = loops;
        QList<QByteArray> sent;
        QList<int64_t> at;
        TReplayStream stream(source, options, nowUs, [&](const QByteArray &line) {
            sent << line;
            at << nowUs();
            return true;
        });
        bool finished = false;
        connect(&stream, &TReplayStream::Finished, this, [&](bool failed) {
            QVERIFY(!failed);
            finished = true;
        });
        stream.Start();
        QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
        QCOMPARE(sent.size(), frames * loops);
        QCOMPARE(stream.Sent(), int64_t(frames * loops));
        QCOMPARE(stream.Skipped(), int64_t(errorFrames * loops));
        QCOMPARE(rewinds, loops - 1);
        for (int pass = 0; pass < loops; ++pass) {
            for (int i = 0; i < frames; ++i)
                QCOMPARE(sent[pass * frames + i], TReplayClock::FrameLine(TLogFrame{0, "", uint32_t(i % 0x800), false, false,
                                                                                   false, false, 1, QByteArray(1, char(i))}));
            // Never early: the first frame of the second chunk waits out the gap.
            const int last = pass * frames + TReplayStream::ChunkFrames - 1;
            QVERIFY2(at[last + 1] - at[last] >= gapUs,
                     qPrintable(QStringLiteral("%1 us between the chunks").arg(at[last + 1] - at[last])));
        }
    }

    void anEmptyLogFinishesAtOnce()
    {
        TReplaySource source;
        source.next = [](TLogFrame &) { return false; };
        TReplayOptions options;
        options.Loops = 0;
        TReplayStream stream(source, options, nowUs, [](const QByteArray &) { return true; });
        bool finished = false;
        connect(&stream, &TReplayStream::Finished, this, [&] { finished = true; });
        stream.Start();
        QVERIFY(finished);
        QCOMPARE(stream.Sent(), int64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestReplayStream)
#include "tst_replaystream.moc"
