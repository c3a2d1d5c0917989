// The replay clock and runner on an injected clock: log time against the wall-clock anchor,
// speed, re-anchoring on time that jumps back, loops, chosen identifiers, skipped frames,
// pause and resume, and the pace of the line in fast mode.

#include "transmit/ReplayClock.h"
#include "transmit/ReplayRunner.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int64_t Ms = 1000;
constexpr int64_t Base = 1765280000000000; // the log's own epoch time

TLogFrame Frame(int64_t atMs, uint32_t id, bool ext = false)
{
    TLogFrame f;
    f.TimeUs = Base + atMs * Ms;
    f.Id = id;
    f.Extended = ext;
    f.Dlc = 2;
    f.Data = QByteArray::fromHex("11AB");
    return f;
}

// Every due time of the frames that are sent, found by asking the clock at each NextDueUs.
QList<int64_t> DueTimes(TReplayClock &clock, int64_t startUs, int limit = 100)
{
    QList<int64_t> times;
    clock.Start(startUs);
    while (!clock.Finished() && times.size() < limit) {
        const int64_t at = *clock.NextDueUs();
        if (at > startUs && clock.TakeDue(at - 1) >= 0)
            times << -1; // due before its time: fails the comparison
        while (clock.TakeDue(at) >= 0)
            times << (at - startUs) / Ms;
    }
    return times;
}

} // namespace

class TestReplayClock : public QObject {
    Q_OBJECT

private slots:
    void dueTimes_data()
    {
        QTest::addColumn<QVector<int64_t>>("logMs");
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("loops");
        QTest::addColumn<QList<int64_t>>("dueMs");
        QTest::newRow("1x") << QVector<int64_t>{0, 10, 25} << 1.0 << 1 << QList<int64_t>{0, 10, 25};
        QTest::newRow("2x") << QVector<int64_t>{0, 10, 26} << 2.0 << 1 << QList<int64_t>{0, 5, 13};
        QTest::newRow("0.25x") << QVector<int64_t>{0, 10, 25} << 0.25 << 1 << QList<int64_t>{0, 40, 100};
        QTest::newRow("speed kept to 8x") << QVector<int64_t>{0, 80} << 100.0 << 1 << QList<int64_t>{0, 10};
        QTest::newRow("time jumps back") << QVector<int64_t>{0, 10, 5, 15} << 1.0 << 1 << QList<int64_t>{0, 10, 10, 20};
        QTest::newRow("same time") << QVector<int64_t>{3, 3, 3} << 1.0 << 1 << QList<int64_t>{0, 0, 0};
        QTest::newRow("two loops") << QVector<int64_t>{0, 10} << 1.0 << 2 << QList<int64_t>{0, 10, 10, 20};
        QTest::newRow("three loops at 2x") << QVector<int64_t>{0, 10, 20} << 2.0 << 3 << QList<int64_t>{0, 5, 10, 10, 15, 20, 20, 25, 30};
    }
    void dueTimes()
    {
        QFETCH(QVector<int64_t>, logMs);
        QFETCH(double, speed);
        QFETCH(int, loops);
        QVector<TLogFrame> frames;
        for (int64_t t : logMs)
            frames << Frame(t, 0x123);
        TReplayOptions o;
        o.Speed = speed;
        o.Loops = loops;
        TReplayClock clock(frames, o);
        QTEST(DueTimes(clock, 777 * Ms), "dueMs");
        QCOMPARE(clock.LoopsDone(), loops);
        QCOMPARE(clock.Sent(), logMs.size() * loops);
    }

    void loopsUntilStopped()
    {
        TReplayOptions o;
        o.Loops = 0;
        TReplayClock clock({Frame(0, 1), Frame(10, 2)}, o);
        QCOMPARE(DueTimes(clock, 0, 9), (QList<int64_t>{0, 10, 10, 20, 20, 30, 30, 40, 40}));
        QVERIFY(!clock.Finished());
        QCOMPARE(clock.LeftUs(), -1);
    }

    void chosenIdentifiersAndSkippedFrames()
    {
        QVector<TLogFrame> frames{Frame(0, 0x100), Frame(1, 0x200), Frame(2, 0x7E8), Frame(3, 0x1FF, true),
                                  Frame(4, 0x150), Frame(5, 0x160)};
        frames[4].Fd = true;
        frames[5].Error = true;
        TReplayOptions o;
        QString error;
        QVERIFY(ParseIdRanges(QStringLiteral("100-1FF,7E8"), o.Ids, &error));
        TReplayClock clock(frames, o);
        clock.Start(0);
        QList<int> sent;
        for (int i; (i = clock.TakeDue(10 * Ms)) >= 0;)
            sent << i;
        QCOMPARE(sent, (QList<int>{0, 2, 3}));
        QVERIFY(clock.Finished());
        QCOMPARE(clock.Sent(), 3);
        QCOMPARE(clock.Skipped(), 2);
        QCOMPARE(clock.NotChosen(), 1);
        QVERIFY(TReplayClock::FrameLine(frames[4]).isEmpty());
        QVERIFY(TReplayClock::FrameLine(frames[5]).isEmpty());
    }

    void frameLines_data()
    {
        QTest::addColumn<QByteArray>("candump");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("standard") << QByteArray("(1.0) can0 123#11AB") << QByteArray("t123211AB");
        QTest::newRow("extended") << QByteArray("(1.0) can0 1ABCDEF0#") << QByteArray("e1ABCDEF00");
        QTest::newRow("remote") << QByteArray("(1.0) can0 7FF#R3") << QByteArray("T7FF3");
        QTest::newRow("extended remote") << QByteArray("(1.0) can0 00000005#R") << QByteArray("E000000050");
        QTest::newRow("fd") << QByteArray("(1.0) can0 123##011") << QByteArray();
    }
    void frameLines()
    {
        QFETCH(QByteArray, candump);
        TLogFrame f;
        QString error;
        QVERIFY(ParseCandumpLine(candump, f, error));
        QTEST(TReplayClock::FrameLine(f), "line");
    }

    void pauseMovesTheAnchor()
    {
        TReplayClock clock({Frame(0, 1), Frame(10, 2), Frame(30, 3)}, TReplayOptions());
        clock.Start(0);
        QCOMPARE(clock.TakeDue(0), 0);
        clock.Pause(5 * Ms);
        QVERIFY(!clock.NextDueUs());
        QCOMPARE(clock.TakeDue(50 * Ms), -1);
        clock.Resume(105 * Ms);
        QCOMPARE(*clock.NextDueUs(), 110 * Ms);
        QCOMPARE(clock.TakeDue(109 * Ms), -1);
        QCOMPARE(clock.TakeDue(110 * Ms), 1);
        QCOMPARE(clock.PlayedUs(), 10 * Ms);
        QCOMPARE(clock.LeftUs(), 20 * Ms);
    }

    void progressOverLoops()
    {
        TReplayOptions o;
        o.Loops = 3;
        o.Speed = 2;
        TReplayClock clock({Frame(0, 1), Frame(100, 2)}, o);
        QCOMPARE(clock.PassUs(), 100 * Ms);
        clock.Start(0);
        QCOMPARE(clock.LeftUs(), 150 * Ms);
        QCOMPARE(clock.TakeDue(0), 0);
        QCOMPARE(clock.TakeDue(50 * Ms), 1);
        QCOMPARE(clock.PlayedUs(), 100 * Ms);
        QCOMPARE(clock.LeftUs(), 100 * Ms);
    }

    // Fast: each line is due when the one before it has gone out at the line's byte rate.
    void fastFollowsTheLine()
    {
        TReplayOptions o;
        o.Fast = true;
        o.Speed = 0.25; // has no say in fast mode
        o.LineBytesPerSecond = 1000; // 1 ms a byte
        o.WithChecksum = true;
        QVector<TLogFrame> frames{Frame(0, 1), Frame(5000, 2, true), Frame(9000, 3)};
        frames[1].Data.clear();
        frames[1].Dlc = 0;
        TReplayClock clock(frames, o);
        // "t001211AB" + checksum + CR: 12 bytes; "e000000020": 10 + 3.
        QCOMPARE(DueTimes(clock, 0), (QList<int64_t>{0, 12, 25}));
    }

    void runnerBatchesAndEnds()
    {
        int64_t now = 0;
        QList<QByteArray> lines;
        QVector<TLogFrame> frames;
        for (int i = 0; i < 100; ++i)
            frames << Frame(0, uint32_t(i));
        frames << Frame(20, 0x7FF);
        TReplayRunner runner(frames, TReplayOptions(), [&now] { return now; },
                             [&lines](const QByteArray &l) { lines << l; return true; });
        QSignalSpy finished(&runner, &TReplayRunner::Finished);
        runner.Start();
        QCOMPARE(lines.size(), TReplayRunner::BatchLimit); // then the event loop gets its turn
        QVERIFY(runner.TimerArmed());
        runner.Tick();
        QCOMPARE(lines.size(), 100);
        QCOMPARE(lines.first(), QByteArray("t000211AB"));
        QCOMPARE(lines.last(), QByteArray("t063211AB"));
        runner.Pause();
        QVERIFY(!runner.TimerArmed());
        now = 50 * Ms;
        runner.Resume();
        QCOMPARE(lines.size(), 100);
        now = 70 * Ms;
        runner.Tick();
        QCOMPARE(lines.last(), QByteArray("t7FF211AB"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), false);
        QVERIFY(!runner.Running());
    }

    void runnerStopsOnAFailedLine()
    {
        int64_t now = 0;
        TReplayRunner runner({Frame(0, 1), Frame(1, 2)}, TReplayOptions(), [&now] { return now; },
                             [](const QByteArray &) { return false; });
        QSignalSpy finished(&runner, &TReplayRunner::Finished);
        runner.Start();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), true);
        QCOMPARE(runner.Clock().Sent(), 1);
    }
};

QTEST_GUILESS_MAIN(TestReplayClock)
#include "tst_replayclock.moc"
