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

// One frame of 0x123 at each time of `logMs`.
QVector<TLogFrame> FramesAt(const QVector<int64_t> &logMs)
{
    QVector<TLogFrame> frames;
    for (int64_t t : logMs)
        frames << Frame(t, 0x123);
    return frames;
}

TReplayOptions Options(double speed, int loops)
{
    TReplayOptions o;
    o.Speed = speed;
    o.Loops = loops;
    return o;
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
        QTest::addColumn<int64_t>("maxGapMs");
        QTest::newRow("1x") << QVector<int64_t>{0, 10, 25} << 1.0 << 1 << QList<int64_t>{0, 10, 25} << int64_t(0);
        QTest::newRow("2x") << QVector<int64_t>{0, 10, 26} << 2.0 << 1 << QList<int64_t>{0, 5, 13} << int64_t(0);
        QTest::newRow("0.25x") << QVector<int64_t>{0, 10, 25} << 0.25 << 1 << QList<int64_t>{0, 40, 100} << int64_t(0);
        QTest::newRow("speed kept to 8x") << QVector<int64_t>{0, 80} << 100.0 << 1 << QList<int64_t>{0, 10} << int64_t(0);
        QTest::newRow("time jumps back") << QVector<int64_t>{0, 10, 5, 15} << 1.0 << 1 << QList<int64_t>{0, 10, 10, 20} << int64_t(0);
        QTest::newRow("same time") << QVector<int64_t>{3, 3, 3} << 1.0 << 1 << QList<int64_t>{0, 0, 0} << int64_t(0);
        QTest::newRow("two loops") << QVector<int64_t>{0, 10} << 1.0 << 2 << QList<int64_t>{0, 10, 10, 20} << int64_t(0);
        QTest::newRow("gap cut to 100 ms") << QVector<int64_t>{0, 10, 60010, 60020} << 1.0 << 1 << QList<int64_t>{0, 10, 110, 120} << int64_t(100);
        QTest::newRow("gap cut, at 2x") << QVector<int64_t>{0, 5000} << 2.0 << 1 << QList<int64_t>{0, 500} << int64_t(1000);
        QTest::newRow("shorter gaps kept") << QVector<int64_t>{0, 50, 99} << 1.0 << 1 << QList<int64_t>{0, 50, 99} << int64_t(100);
        QTest::newRow("three loops at 2x") << QVector<int64_t>{0, 10, 20} << 2.0 << 3 << QList<int64_t>{0, 5, 10, 10, 15, 20, 20, 25, 30} << int64_t(0);
    }
    void dueTimes()
    {
        QFETCH(QVector<int64_t>, logMs);
        QFETCH(double, speed);
        QFETCH(int, loops);
        QFETCH(int64_t, maxGapMs);
        TReplayOptions o = Options(speed, loops);
        o.MaxGapUs = maxGapMs * Ms;
        TReplayClock clock(FramesAt(logMs), o);
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
        QCOMPARE(clock.LeftUs(0), -1);
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
        QCOMPARE(clock.PlayedUs(110 * Ms), 10 * Ms);
        QCOMPARE(clock.LeftUs(110 * Ms), 20 * Ms);
    }

    void progressOverLoops()
    {
        TReplayOptions o;
        o.Loops = 3;
        o.Speed = 2;
        TReplayClock clock({Frame(0, 1), Frame(100, 2)}, o);
        QCOMPARE(clock.PassUs(), 100 * Ms);
        clock.Start(0);
        QCOMPARE(clock.LeftUs(0), 150 * Ms);
        QCOMPARE(clock.TakeDue(0), 0);
        QCOMPARE(clock.TakeDue(50 * Ms), 1);
        QCOMPARE(clock.PlayedUs(50 * Ms), 100 * Ms);
        QCOMPARE(clock.LeftUs(50 * Ms), 100 * Ms);
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

    // Progress follows the wall clock through a gap (it does not wait for the next frame), and
    // what is left counts the wait still to come.
    void progressThroughAGap_data()
    {
        QTest::addColumn<QVector<int64_t>>("logMs");
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("loops");
        QTest::addColumn<int64_t>("nowMs");
        QTest::addColumn<int64_t>("playedMs");
        QTest::addColumn<int64_t>("leftMs");
        QTest::newRow("an hour's gap, half way") << QVector<int64_t>{0, 3600000} << 1.0 << 1 << int64_t(1800000)
                                                 << int64_t(1800000) << int64_t(1800000);
        QTest::newRow("two seconds still to play") << QVector<int64_t>{0, 1000, 4000} << 1.0 << 1 << int64_t(2000)
                                                    << int64_t(2000) << int64_t(2000);
        QTest::newRow("at half speed") << QVector<int64_t>{0, 4000} << 0.5 << 1 << int64_t(2000) << int64_t(1000)
                                       << int64_t(6000);
        QTest::newRow("second of two loops") << QVector<int64_t>{0, 4000} << 1.0 << 2 << int64_t(5000)
                                             << int64_t(1000) << int64_t(3000);
        QTest::newRow("done") << QVector<int64_t>{0, 4000} << 1.0 << 1 << int64_t(9000)
                                                << int64_t(4000) << int64_t(0);
    }
    void progressThroughAGap()
    {
        QFETCH(QVector<int64_t>, logMs);
        QFETCH(double, speed);
        QFETCH(int, loops);
        QFETCH(int64_t, nowMs);
        TReplayClock clock(FramesAt(logMs), Options(speed, loops));
        clock.Start(0);
        // Everything due until a moment before now has gone out; the frame due now has not.
        while (clock.TakeDue(nowMs * Ms - 1) >= 0) {
        }
        QTEST(clock.PlayedUs(nowMs * Ms) / Ms, "playedMs");
        QTEST(clock.LeftUs(nowMs * Ms) / Ms, "leftMs");
    }

    // Stamps as far apart as a 64-bit time can hold: sums stop at the largest time.
    void farApartStampsSaturate()
    {
        QVector<TLogFrame> frames{Frame(0, 1), Frame(0, 2), Frame(0, 3)};
        frames[0].TimeUs = INT64_MIN + 1;
        frames[1].TimeUs = 0;
        frames[2].TimeUs = INT64_MAX;
        TReplayOptions o;
        o.Loops = 3;
        o.Speed = 0.25;
        TReplayClock clock(frames, o);
        QCOMPARE(clock.PassUs(), INT64_MAX);
        clock.Start(1000 * Ms);
        QCOMPARE(clock.TakeDue(1000 * Ms), 0);
        QCOMPARE(*clock.NextDueUs(), INT64_MAX);
        QCOMPARE(clock.LeftUs(2000 * Ms), INT64_MAX);
        QCOMPARE(clock.PlayedUs(2000 * Ms), 250 * Ms); // a second at a quarter of the pace
        QCOMPARE(clock.TakeDue(INT64_MAX - 1), -1);
        QCOMPARE(clock.FramesInRun(), 9);
    }

    // A frame a month away: the alarm waits a day at a time and looks at the clock again; the
    // wait is told once.
    void farFrameRearmsAgainstItsDeadline()
    {
        constexpr int64_t Day = int64_t(86400) * 1000 * Ms;
        int64_t now = 0;
        QList<QByteArray> lines;
        TReplayRunner runner({Frame(0, 1), Frame(30 * 86400 * int64_t(1000), 2)}, TReplayOptions(),
                             [&now] { return now; }, [&lines](const QByteArray &l) { lines << l; return true; });
        QSignalSpy waiting(&runner, &TReplayRunner::Waiting);
        runner.Start();
        QCOMPARE(lines.size(), 1);
        QCOMPARE(runner.TimerWaitUs(), Day);
        QCOMPARE(waiting.size(), 1);
        QCOMPARE(waiting[0][0].value<int64_t>(), 30 * Day);
        QCOMPARE(waiting[0][1].value<int64_t>(), 2);
        for (int day = 1; day < 30; ++day) {
            now = day * Day;
            runner.Tick();
            QCOMPARE(lines.size(), 1);
            QVERIFY(runner.TimerArmed());
        }
        QCOMPARE(runner.TimerWaitUs(), Day);
        QCOMPARE(waiting.size(), 1);
        now = 30 * Day;
        runner.Tick();
        QCOMPARE(lines.size(), 2);
        QVERIFY(!runner.Running());
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
