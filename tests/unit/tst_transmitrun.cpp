// The scheduler and the runner of transmit lists on an injected clock: deadlines on the grid of
// each row's start, one send for a late tick, counts, counters, one timer for the earliest row.

#include "transmit/TransmitRunner.h"
#include "transmit/TransmitScheduler.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int64_t Ms = 1000;

TTransmitRow Periodic(const QString &id, int periodMs, int64_t count = 0)
{
    TTransmitRow r;
    r.Id = id;
    r.Dlc = 2;
    r.Data = QByteArray::fromHex("11AB");
    r.PeriodMs = periodMs;
    r.Count = count;
    return r;
}

// A runner on a clock the test moves, recording the lines it sends.
struct TFixture {
    int64_t now = 5000 * Ms;
    QList<QByteArray> lines;
    bool fail = false;
    TTransmitRunner runner{[this] { return now; },
                           [this](const QByteArray &line) {
                               if (fail)
                                   return false;
                               lines << line;
                               return true;
                           }};
};

} // namespace

class TestTransmitRun : public QObject {
    Q_OBJECT

private slots:
    // Ticks that come late by up to three periods never move the grid: over ten simulated seconds
    // the count is exactly what the period gives, and every deadline stays on the grid.
    void jitterDoesNotDrift()
    {
        TTransmitScheduler s;
        s.Start(0, 10 * Ms, 0, 0);
        QRandomGenerator random(7);
        int64_t now = 0;
        int64_t sends = 0;
        while (true) {
            const int64_t deadline = *s.NextDeadline();
            QCOMPARE(deadline % (10 * Ms), 0);
            now = deadline + int64_t(random.bounded(30000u));
            if (now >= 10000 * Ms)
                break;
            sends += s.TakeDue(now).size();
        }
        // Each tick sends once: late ticks lose sends instead of bursting, so fewer than 1000,
        // and never two for one tick.
        QVERIFY(sends < 1000);
        QCOMPARE(s.Taken(0), sends);

        // On time ticks: exactly one send per period.
        TTransmitScheduler exact;
        exact.Start(0, 10 * Ms, 0, 0);
        int64_t n = 0;
        for (now = 0; now < 10000 * Ms; now = *exact.NextDeadline() + int64_t(random.bounded(9000u)))
            n += exact.TakeDue(now).size();
        QCOMPARE(n, 1000);
    }

    void lateTickSendsOnce()
    {
        TTransmitScheduler s;
        s.Start(3, 10 * Ms, 0, 100 * Ms);
        QCOMPARE(s.TakeDue(99 * Ms), QList<int>{});
        QCOMPARE(s.TakeDue(100 * Ms), QList<int>{3});
        QCOMPARE(*s.NextDeadline(), 110 * Ms);
        QCOMPARE(s.TakeDue(145 * Ms), QList<int>{3}); // 110, 120, 130, 140 missed: one send
        QCOMPARE(*s.NextDeadline(), 150 * Ms);
        QCOMPARE(s.TakeDue(149 * Ms), QList<int>{});
    }

    void earliestDeadlineFirstAndCountsEnd()
    {
        TTransmitScheduler s;
        QVERIFY(!s.NextDeadline());
        s.Start(0, 7 * Ms, 2, 0);
        s.Start(1, 5 * Ms, 0, 1 * Ms);
        s.Start(2, 0, 0, 0); // on demand: never scheduled
        QVERIFY(!s.Running(2));
        QCOMPARE(s.TakeDue(1 * Ms), (QList<int>{0, 1}));
        QCOMPARE(*s.NextDeadline(), 6 * Ms);
        QCOMPARE(s.TakeDue(20 * Ms), (QList<int>{1, 0})); // 1 was due at 6, 0 at 7
        QVERIFY(!s.Running(0));                          // its count of 2 is done
        QVERIFY(s.Running(1));
        s.StopAll();
        QVERIFY(!s.AnyRunning());
        QVERIFY(!s.NextDeadline());
    }

    void runnerSendsCountersAndArmsForTheEarliest()
    {
        TFixture f;
        TTransmitRow heartbeat = Periodic("123", 10);
        heartbeat.Counter = TTransmitCounter{8, 4, 1};
        TTransmitRow slow = Periodic("456", 25, 2);
        TTransmitRow demand = Periodic("789", 0);
        f.runner.SetRows({heartbeat, slow, demand});
        QVERIFY(!f.runner.TimerArmed());
        QSignalSpy running(&f.runner, &TTransmitRunner::RunningChanged);
        f.runner.Start();
        QCOMPARE(running.size(), 1);
        QVERIFY(f.runner.TimerArmed());
        QCOMPARE(f.runner.TimerIntervalMs(), 0); // the first sends are due at once
        f.runner.Tick();
        QCOMPARE(f.lines, (QList<QByteArray>{"t123211AB", "t456211AB"}));
        QCOMPARE(f.runner.TimerIntervalMs(), 10);
        f.now += 10 * Ms;
        f.runner.Tick();
        f.now += 10 * Ms;
        f.runner.Tick();
        QCOMPARE(f.runner.TimerIntervalMs(), 5); // slow is due at 25
        f.now += 5 * Ms;
        f.runner.Tick();
        QCOMPARE(f.lines, (QList<QByteArray>{"t123211AB", "t456211AB", "t123211AC", "t123211AD", "t456211AB"}));
        QCOMPARE(f.runner.Sent(0), 3);
        QCOMPARE(f.runner.Sent(1), 2);
        QCOMPARE(f.runner.CurrentData(0), QByteArray::fromHex("11AE"));
        // On demand: the row goes out now, its counter moves; the run goes on.
        QVERIFY(f.runner.SendNow(2));
        QCOMPARE(f.lines.last(), QByteArray("t789211AB"));
        f.runner.Stop();
        QVERIFY(!f.runner.TimerArmed());
        QCOMPARE(running.size(), 2);
    }

    void allCountsDoneEndsTheRun()
    {
        TFixture f;
        f.runner.SetRows({Periodic("1", 10, 1)});
        f.runner.Start();
        f.runner.Tick();
        QVERIFY(!f.runner.Running());
        QVERIFY(!f.runner.TimerArmed()); // no wake-ups with nothing to run
        f.runner.SetRows({Periodic("1", 0)});
        f.runner.Start();                 // nothing periodic: nothing runs
        QVERIFY(!f.runner.Running());
    }

    void enableWhileRunningStartsFromNow()
    {
        TFixture f;
        TTransmitRow b = Periodic("2", 10);
        b.Enabled = false;
        f.runner.SetRows({Periodic("1", 10), b});
        f.runner.Start();
        f.runner.Tick();
        f.now += 3 * Ms;
        f.runner.SetEnabled(1, true);
        QCOMPARE(f.runner.TimerIntervalMs(), 0);
        f.runner.Tick();
        QCOMPARE(f.lines, (QList<QByteArray>{"t001211AB", "t002211AB"}));
        f.now += 7 * Ms; // row 0 due; row 1 at 13
        f.runner.Tick();
        QCOMPARE(f.runner.TimerIntervalMs(), 3);
        f.runner.SetEnabled(0, false);
        f.now += 3 * Ms;
        f.runner.Tick();
        f.now += 10 * Ms;
        f.runner.Tick();
        QCOMPARE(f.runner.Sent(0), 2);
        QCOMPARE(f.runner.Sent(1), 3);
        f.runner.RemoveRow(0);
        QCOMPARE(f.runner.Rows().size(), 1);
        f.now += 10 * Ms;
        f.runner.Tick();
        QCOMPARE(f.runner.Sent(0), 4);
    }

    void failedSendStopsTheRun()
    {
        TFixture f;
        f.runner.SetRows({Periodic("1", 10)});
        QSignalSpy failed(&f.runner, &TTransmitRunner::SendFailed);
        f.runner.Start();
        f.fail = true;
        f.runner.Tick();
        QCOMPARE(failed.size(), 1);
        QVERIFY(!f.runner.Running());
        QVERIFY(!f.runner.TimerArmed());
    }

    // A row whose ticks come later than its period passes periods over: counted, and marked as
    // behind at the next sample; a row on time is not.
    void fallingBehind_data()
    {
        QTest::addColumn<int>("periodMs");
        QTest::addColumn<int>("tickEveryMs");
        QTest::addColumn<int64_t>("sent");
        QTest::addColumn<int64_t>("missed");
        QTest::addColumn<bool>("behind");
        QTest::newRow("on time") << 10 << 10 << int64_t(10) << int64_t(0) << false;
        QTest::newRow("ticks 19 ms apart") << 10 << 19 << int64_t(10) << int64_t(8) << true;
        QTest::newRow("1 ms row, ticks every 3 ms") << 1 << 3 << int64_t(10) << int64_t(18) << true;
        QTest::newRow("ticks twice the period") << 10 << 20 << int64_t(10) << int64_t(9) << true;
    }
    void fallingBehind()
    {
        QFETCH(int, periodMs);
        QFETCH(int, tickEveryMs);
        TFixture f;
        f.runner.SetRows({Periodic("1", periodMs)});
        f.runner.Start();
        for (int i = 0; i < 10; ++i) {
            f.runner.Tick();
            f.now += tickEveryMs * Ms;
        }
        f.runner.SampleRates();
        QTEST(f.runner.Sent(0), "sent");
        QTEST(f.runner.Missed(0), "missed");
        QTEST(f.runner.Behind(0), "behind");
        f.runner.SampleRates(); // nothing passed over since
        QVERIFY(!f.runner.Behind(0));
    }

    // A long list goes out a batch a turn: the event loop gets its turn between batches, and
    // the alarm is armed at once while rows are still due.
    void bigListGoesOutInBatches()
    {
        TFixture f;
        QList<TTransmitRow> rows;
        for (int i = 0; i < 100000; ++i)
            rows << Periodic(QString::number(i % 0x7FF + 1, 16), 1000);
        f.runner.SetRows(rows);
        f.runner.Start();
        f.runner.Tick();
        QCOMPARE(f.lines.size(), TTransmitRunner::BatchLimit);
        QVERIFY(f.runner.TimerArmed());
        QCOMPARE(f.runner.TimerIntervalMs(), 0);
        int turns = 1;
        while (f.lines.size() < rows.size() && turns < 10000) {
            f.runner.Tick();
            ++turns;
        }
        QCOMPARE(f.lines.size(), rows.size());
        QCOMPARE(turns, (rows.size() + TTransmitRunner::BatchLimit - 1) / TTransmitRunner::BatchLimit);
        QCOMPARE(f.runner.TimerIntervalMs(), 1000); // all sent: the next round is a period away
        QCOMPARE(f.runner.Sent(99999), 1);
    }

    // Lists opened again and again, rows added and removed, keep as many scheduler slots as the
    // most rows held at once.
    void slotsAreReused()
    {
        TFixture f;
        const QList<TTransmitRow> hundred(100, Periodic("1", 10));
        for (int i = 0; i < 1000; ++i)
            f.runner.SetRows(hundred);
        QCOMPARE(f.runner.SlotCount(), 100);
        f.runner.Start();
        for (int i = 0; i < 500; ++i) {
            f.runner.InsertRow(0, Periodic("2", 10));
            f.runner.RemoveRow(50);
        }
        QCOMPARE(f.runner.SlotCount(), 101);
        f.runner.Tick();
        f.runner.Tick(); // two batches
        QCOMPARE(f.lines.size(), 100);
        QCOMPARE(f.lines.count(QByteArray("t001211AB")), 50);
        QCOMPARE(f.lines.count(QByteArray("t002211AB")), 50);
    }

    void achievedRate()
    {
        TFixture f;
        f.runner.SetRows({Periodic("1", 10), Periodic("2", 20)});
        f.runner.SampleRates();
        f.runner.Start();
        for (int i = 0; i < 100; ++i) {
            f.runner.Tick();
            f.now += 10 * Ms;
        }
        f.runner.SampleRates();
        QCOMPARE(f.runner.Rate(0), 100.0);
        QCOMPARE(f.runner.Rate(1), 50.0);
        // A new run counts from nothing.
        f.runner.Stop();
        QCOMPARE(f.runner.Sent(0), 100);
        f.runner.Start();
        QCOMPARE(f.runner.Sent(0), 0);
        f.runner.Tick();
        QCOMPARE(f.runner.Sent(0), 1);
    }

    // The real timer and clock drive it too (no timing is judged here: the benchmark measures).
    void realTimerRuns()
    {
        QList<QByteArray> lines;
        TTransmitRunner runner(SteadyClockUs, [&lines](const QByteArray &l) { lines << l; return true; });
        runner.SetRows({Periodic("1", 5, 4)});
        runner.Start();
        QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 4, 5000);
        QTRY_VERIFY(!runner.Running());
    }
};

QTEST_GUILESS_MAIN(TestTransmitRun)
#include "tst_transmitrun.moc"
