// Transmit rows that name a database message or signal: what the database fills in, and every
// problem named with its message and key.

#include "dbc/DbcDatabase.h"
#include "transmit/TransmitDbc.h"
#include "transmit/TransmitList.h"

#include <QTest>

namespace {

const QByteArray kDbc = R"(VERSION ""
BU_: ECU
BO_ 291 Heartbeat: 2 ECU
 SG_ State : 0|8@1+ (1,0) [0|255] "" ECU
 SG_ Alive : 8|4@1+ (1,0) [0|15] "" ECU
BO_ 2566844672 Speed: 8 ECU
 SG_ Kmh : 0|16@1+ (0.1,0) [0|6553.5] "km/h" ECU
 SG_ Motorola : 23|8@0+ (1,0) [0|255] "" ECU
BO_ 1024 Slow: 1 ECU
 SG_ Level : 0|8@1+ (1,0) [0|255] "" ECU
BA_DEF_ BO_ "GenMsgCycleTime" INT 0 1000000;
BA_ "GenMsgCycleTime" BO_ 291 100;
BA_ "GenMsgCycleTime" BO_ 1024 100000;
)";

QByteArray List(const QByteArray &messages)
{
    return R"({"format": "k3316-transmit", "version": 1, "messages": [)" + messages + "]}";
}

} // namespace

class TestTransmitDbc : public QObject {
    Q_OBJECT

private:
    TDbcDatabase m_db;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_db.LoadText(kDbc, QStringLiteral("bench.dbc"), error), qPrintable(error));
    }

    void databaseFillsTheRow()
    {
        QList<TTransmitRow> rows;
        QStringList problems;
        QVERIFY2(TransmitLists::ParseTransmitList(List(R"(
            {"enabled": true, "message": "Heartbeat", "signals": {"State": 17, "Alive": 10}, "count": 0,
             "counter": {"signal": "Alive", "step": 1}},
            {"enabled": true, "message": "Speed", "signals": {"Kmh": 100}, "count": 5},
            {"enabled": true, "message": "Speed", "data": "0102", "period_ms": 20, "count": 0})"), rows, problems),
                 qPrintable(problems.join('\n')));
        QVERIFY(TransmitDbc::NeedsDatabase(rows));
        // Written back as read: the names, not what the database gave.
        QList<TTransmitRow> again;
        QVERIFY(TransmitLists::ParseTransmitList(TransmitLists::WriteTransmitList(rows), again, problems));
        QCOMPARE(again, rows);

        QVERIFY2(TransmitDbc::ResolveRows(rows, &m_db, problems), qPrintable(problems.join('\n')));
        QCOMPARE(rows[0].Id, QStringLiteral("123"));
        QVERIFY(!rows[0].Extended);
        QCOMPARE(rows[0].Dlc, 2);
        QCOMPARE(rows[0].Data, QByteArray::fromHex("110A"));
        QCOMPARE(rows[0].PeriodMs, 100); // GenMsgCycleTime
        QCOMPARE(rows[0].Counter->StartBit, 8);
        QCOMPARE(rows[0].Counter->Length, 4);
        QCOMPARE(TransmitRows::MessageLine(rows[0]), QByteArray("t1232110A"));
        TransmitRows::AdvanceCounter(rows[0].Data, *rows[0].Counter);
        QCOMPARE(rows[0].Data, QByteArray::fromHex("110B"));

        QCOMPARE(rows[1].Id, QStringLiteral("18FEF100"));
        QVERIFY(rows[1].Extended);
        QCOMPARE(rows[1].Data, QByteArray::fromHex("E803000000000000")); // 100 km/h at 0.1 a bit
        QCOMPARE(rows[1].PeriodMs, 0);                                    // no cycle time: on demand
        QCOMPARE(rows[2].Data, QByteArray::fromHex("0102"));
        QCOMPARE(rows[2].PeriodMs, 20);
    }

    void problems_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("withDatabase");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("no database") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "count": 0})") << false
                                     << QStringList{"messages[0].message: names a message of a database: give its DBC file (--dbc FILE)"};
        QTest::newRow("unknown message") << QByteArray(R"({"enabled": true, "message": "Brake", "count": 0})") << true
                                         << QStringList{"messages[0].message: no message \"Brake\" in the database"};
        QTest::newRow("unknown counter signal") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "count": 0, "counter": {"signal": "Tick", "step": 1}})") << true
                                                << QStringList{"messages[0].counter.signal: no signal \"Tick\" in Heartbeat"};
        QTest::newRow("big-endian counter") << QByteArray(R"({"enabled": true, "message": "Speed", "count": 0, "counter": {"signal": "Motorola", "step": 1}})") << true
                                            << QStringList{"messages[0].counter.signal: Motorola is not a little-endian integer signal"};
        QTest::newRow("data too long") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "data": "010203", "count": 0})") << true
                                       << QStringList{"messages[0].data: 3 bytes, more than the DLC 2"};
        QTest::newRow("cycle time over the longest period") << QByteArray(R"({"enabled": true, "message": "Slow", "count": 0})") << true
                                                             << QStringList{"messages[0].period_ms: Slow's GenMsgCycleTime of 100000 ms is longer than the longest period, 99999 ms: give period_ms"};
    }
    void problems()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, withDatabase);
        QList<TTransmitRow> rows;
        QStringList problems;
        QVERIFY2(TransmitLists::ParseTransmitList(List(message), rows, problems), qPrintable(problems.join('\n')));
        const QList<TTransmitRow> before = rows;
        QVERIFY(!TransmitDbc::ResolveRows(rows, withDatabase ? &m_db : nullptr, problems));
        QTEST(problems, "problems");
        QCOMPARE(rows, before);
    }

    void signalValueOutOfRange()
    {
        QList<TTransmitRow> rows;
        QStringList problems;
        QVERIFY(TransmitLists::ParseTransmitList(List(R"({"enabled": true, "message": "Heartbeat", "signals": {"Alive": 16}, "count": 0})"), rows, problems));
        QVERIFY(!TransmitDbc::ResolveRows(rows, &m_db, problems));
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].startsWith(QStringLiteral("messages[0].signals: ")) && problems[0].contains(QStringLiteral("Alive")),
                 qPrintable(problems[0]));
    }

    void listProblems_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("id with message") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "id": "123", "dlc": 2, "count": 0})")
                                         << QStringList{"messages[0].id: left out when a message is named: the database gives it",
                                                        "messages[0].dlc: left out when a message is named: the database gives it"};
        QTest::newRow("data and signals") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "data": "01", "signals": {"Alive": 1}, "count": 0})")
                                          << QStringList{"messages[0].data: left out when signal values are given"};
        QTest::newRow("signal not a number") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "signals": {"Alive": "1"}, "count": 0})")
                                             << QStringList{"messages[0].signals.Alive: must be a number"};
        QTest::newRow("counter bits with message") << QByteArray(R"({"enabled": true, "message": "Heartbeat", "count": 0, "counter": {"start_bit": 8, "length": 4, "step": 1}})")
                                                   << QStringList{"messages[0].counter: with a message: an object with signal and step"};
        QTest::newRow("signals without message") << QByteArray(R"({"enabled": true, "id": "1", "extended": false, "remote": false, "dlc": 0, "data": "", "period_ms": 0, "count": 0, "signals": {}})")
                                                 << QStringList{"messages[0].signals: only with a message of a database"};
        QTest::newRow("counter signal without message") << QByteArray(R"({"enabled": true, "id": "1", "extended": false, "remote": false, "dlc": 1, "data": "", "period_ms": 0, "count": 0, "counter": {"signal": "A", "start_bit": 0, "length": 1, "step": 1}})")
                                                        << QStringList{"messages[0].counter.signal: only with a message of a database"};
    }
    void listProblems()
    {
        QFETCH(QByteArray, message);
        QList<TTransmitRow> rows;
        QStringList problems;
        QVERIFY(!TransmitLists::ParseTransmitList(List(message), rows, problems));
        QTEST(problems, "problems");
    }
};

QTEST_GUILESS_MAIN(TestTransmitDbc)
#include "tst_transmitdbc.moc"
