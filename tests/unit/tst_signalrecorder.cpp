// What the plot records: the values of the signals chosen, read from the frame store as it grows,
// a late signal's history a stretch at a time, across a store that was cleared, and across a
// database loaded again.

#include "dbc/DbcDatabase.h"
#include "monitor/FrameStore.h"
#include "ui/plot/SignalRecorder.h"

#include <QTest>

namespace {

const QByteArray dbc = R"(VERSION ""
BU_: ECU
BO_ 256 A: 2 ECU
 SG_ Level : 0|8@1+ (0.5,0) [0|127.5] "V" Vector__XXX
 SG_ Count : 8|8@1+ (1,0) [0|255] "" Vector__XXX
BO_ 512 B: 1 ECU
 SG_ Flag : 0|1@1+ (1,0) [0|1] "" Vector__XXX
)";

// Frame `i` of message A: Level raw i, Count raw 2i; every third line is a B frame or a reply.
void fill(TFrameStore &store, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const QByteArray data = QByteArray(1, char(i)).toHex().toUpper() + QByteArray(1, char(2 * i)).toHex().toUpper();
        store.Append("t1002" + data + "\r", int64_t(i) * 1000000);
        if (i % 3 == 0)
            store.Append(i % 2 ? QByteArray("t20011\r") : QByteArray("!P0\r"), int64_t(i) * 1000000 + 1);
    }
}

} // namespace

class TestSignalRecorder : public QObject {
    Q_OBJECT

private slots:
    void recordsTheChosenSignalsAsTheStoreGrows()
    {
        TDbcDatabase db;
        QString error;
        QVERIFY2(db.LoadText(dbc, QStringLiteral("test.dbc"), error), qPrintable(error));
        TFrameStore store;
        fill(store, 0, 50);
        TSignalRecorder recorder(&store, &db);
        const TDbcMessage *a = db.FindByName(QStringLiteral("A"));
        QVERIFY(recorder.Add(*a, a->Signals[0]));
        QVERIFY(!recorder.Add(*a, a->Signals[0])); // once
        QVERIFY(recorder.Filling());
        // the history a stretch at a time: 67 lines held, 10 read per call
        int calls = 0;
        while (recorder.Filling()) {
            recorder.Consume(10);
            ++calls;
        }
        QCOMPARE(calls, 7);
        const TSeriesStore &level = recorder.Signal(0).Points;
        QCOMPARE(level.Count(), qsizetype(50));
        QCOMPARE(recorder.OriginUs(), int64_t(0));
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(level.Time(i), double(i));
            QCOMPARE(level.Value(i), i * 0.5);
        }
        // live: new lines for every signal up to date; a late one reads its history first
        fill(store, 50, 60);
        QVERIFY(recorder.Add(*a, a->Signals[1]));
        QVERIFY(recorder.Consume(5));
        QCOMPARE(recorder.Signal(0).Points.Count(), qsizetype(60));
        QCOMPARE(recorder.Signal(1).Points.Count(), qsizetype(4)); // 5 lines: 4 A frames and a reply
        QVERIFY(recorder.Consume(-1));
        QCOMPARE(recorder.Signal(1).Points.Count(), qsizetype(60));
        QCOMPARE(recorder.Signal(1).Points.Value(59), 118.0);
        QCOMPARE(recorder.LatestTime(), 59.0);

        // a cleared store: what came before was read; what comes after is read from its start
        store.Clear();
        fill(store, 60, 62);
        QVERIFY(recorder.Consume());
        QCOMPARE(recorder.Signal(0).Points.Count(), qsizetype(62));

        // the database loaded again: found by name, the points kept, recording on
        db.RemoveFile(QStringLiteral("test.dbc"));
        recorder.Resolve();
        fill(store, 62, 63);
        QVERIFY(!recorder.Consume());
        QVERIFY2(db.LoadText(dbc, QStringLiteral("test.dbc"), error), qPrintable(error));
        recorder.Resolve();
        fill(store, 63, 64);
        QVERIFY(recorder.Consume());
        QCOMPARE(recorder.Signal(0).Points.Count(), qsizetype(63)); // 62 came while it was gone
        QCOMPARE(recorder.Signal(0).Points.Value(62), 63 * 0.5);

        recorder.Remove(0);
        QCOMPARE(recorder.Count(), 1);
        QCOMPARE(recorder.Signal(0).Signal, QStringLiteral("Count"));
        recorder.ClearPoints();
        QCOMPARE(recorder.Signal(0).Points.Count(), qsizetype(0));
    }
};

QTEST_GUILESS_MAIN(TestSignalRecorder)
#include "tst_signalrecorder.moc"
