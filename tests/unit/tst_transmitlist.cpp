// Transmit rows and list files: the composer's field rules, the line, the counter bit field, the
// load against the line, and every problem a list file can have.

#include "protocol/Framing.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitRow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

Q_DECLARE_METATYPE(TTransmitRow)
Q_DECLARE_METATYPE(TTransmitCounter)

using namespace TransmitRows;
using namespace TransmitLists;

namespace {

TTransmitRow Row(const QString &id, bool ext, bool rtr, int dlc, const QByteArray &hex, int period = 0)
{
    TTransmitRow r;
    r.Id = id;
    r.Extended = ext;
    r.Remote = rtr;
    r.Dlc = dlc;
    r.Data = QByteArray::fromHex(hex);
    r.PeriodMs = period;
    return r;
}

const QByteArray kGood = R"({"format": "k3316-transmit", "version": 1, "messages": [{"enabled": true, "name": "Heartbeat", "id": "123", "extended": false, "remote": false, "dlc": 2, "data": "11AB", "period_ms": 100, "count": 0, "counter": {"start_bit": 8, "length": 4, "step": 1}}]})";

// The good list with one key of its message replaced (an undefined value removes it).
QByteArray WithKey(const QString &key, const QJsonValue &value)
{
    QJsonObject top = QJsonDocument::fromJson(kGood).object();
    QJsonArray messages = top[QStringLiteral("messages")].toArray();
    QJsonObject m = messages[0].toObject();
    if (value.isUndefined())
        m.remove(key);
    else
        m[key] = value;
    messages[0] = m;
    top[QStringLiteral("messages")] = messages;
    return QJsonDocument(top).toJson();
}

} // namespace

class TestTransmitList : public QObject {
    Q_OBJECT

private slots:
    // The composer's worked lines, built from rows.
    void lineIsTheComposers_data()
    {
        QTest::addColumn<TTransmitRow>("row");
        QTest::addColumn<QByteArray>("checksummed");
        QTest::newRow("standard data") << Row("123", false, false, 2, "11AB") << QByteArray("t123211AB21\r");
        QTest::newRow("standard remote") << Row("7FF", false, true, 0, "") << QByteArray("T7FF047\r");
        QTest::newRow("extended data") << Row("00000123", true, false, 2, "A5FF") << QByteArray("e000001232A5FF1F\r");
        QTest::newRow("extended remote") << Row("123", true, true, 8, "") << QByteArray("E00000123803\r");
        QTest::newRow("missing bytes are 00") << Row("5", false, false, 3, "05") << QByteArray("t0053050000") + Framing::AddChksum("t0053050000") + "\r";
    }
    void lineIsTheComposers()
    {
        QFETCH(TTransmitRow, row);
        QVERIFY(CheckRow(row).isEmpty());
        QTEST(Framing::FrameLine(MessageLine(row), true), "checksummed");
    }

    void rowProblems_data()
    {
        QTest::addColumn<TTransmitRow>("row");
        QTest::addColumn<QStringList>("problems");
        TTransmitRow r = Row("", false, false, 0, "");
        QTest::newRow("empty id") << r << QStringList{"id: '' is not a valid integer value"};
        r = Row("12G", false, false, 0, "");
        QTest::newRow("not hex") << r << QStringList{"id: '12G' is not a valid integer value"};
        r = Row("1234", false, false, 0, "");
        QTest::newRow("wide standard") << r << QStringList{"id: at most 3 hexadecimal digits for a standard frame"};
        r = Row("000000123", true, false, 0, "");
        QTest::newRow("wide extended") << r << QStringList{"id: at most 8 hexadecimal digits for an extended frame"};
        r = Row("123456789", true, false, 0, "");
        QTest::newRow("nine digits") << r << QStringList{"id: '123456789' is not a valid integer value"};
        r = Row("800", false, false, 0, "");
        QTest::newRow("standard past 11 bits") << r << QStringList{"id: 800 is beyond 7FF, the largest standard (11-bit) identifier"};
        r = Row("20000000", true, false, 0, "");
        QTest::newRow("extended past 29 bits") << r << QStringList{"id: 20000000 is beyond 1FFFFFFF, the largest extended (29-bit) identifier"};
        r = Row("1FFFFFFF", true, false, 0, "");
        QTest::newRow("largest extended") << r << QStringList{};
        r = Row("7FF", false, false, 9, "");
        QTest::newRow("dlc") << r << QStringList{"dlc: must be 0 to 8"};
        r = Row("7FF", false, false, 1, "1122");
        QTest::newRow("data beyond dlc") << r << QStringList{"data: 2 bytes, more than the DLC 1"};
        r = Row("7FF", false, false, 1, "", 100000);
        QTest::newRow("period") << r << QStringList{"period_ms: must be 1 to 99999 ms, or 0 for on demand only"};
        r.PeriodMs = 0;
        r.Count = -1;
        QTest::newRow("count") << r << QStringList{"count: must be 0 (until stopped) or more"};
        r = Row("7FF", false, false, 1, "");
        r.Counter = TTransmitCounter{4, 5, 1};
        QTest::newRow("counter outside") << r << QStringList{"counter: bits 4 to 8 lie outside the 8 data bits of DLC 1"};
        r = Row("7FF", false, true, 1, "");
        r.Counter = TTransmitCounter{0, 4, 1};
        QTest::newRow("counter remote") << r << QStringList{"counter: a remote frame has no data to count in"};
    }
    void rowProblems()
    {
        QFETCH(TTransmitRow, row);
        QTEST(CheckRow(row), "problems");
    }

    void dataCell_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("dlc");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("pairs") << "11ab" << 2 << "" << QByteArray("\x11\xAB", 2);
        QTest::newRow("blanks") << "11 AB 0" << 2 << "must be pairs of hexadecimal digits, one pair per byte" << QByteArray();
        QTest::newRow("spaced pairs") << "11 AB" << 2 << "" << QByteArray("\x11\xAB", 2);
        QTest::newRow("not hex") << "1X" << 2 << "must be pairs of hexadecimal digits, one pair per byte" << QByteArray();
        QTest::newRow("non-latin") << QString::fromUtf8("1\u0661") << 2 << "must be pairs of hexadecimal digits, one pair per byte" << QByteArray();
        QTest::newRow("nine") << "112233445566778899" << 8 << "at most 8 bytes" << QByteArray();
    }
    void dataCell()
    {
        QFETCH(QString, text);
        QFETCH(int, dlc);
        QByteArray bytes;
        QTEST(CheckData(text, dlc, bytes), "problem");
        QTEST(bytes, "bytes");
    }

    // The bit field counts in little-endian bit order, wraps within its length, leaves the other bits.
    void counterAdvancesAndWraps_data()
    {
        QTest::addColumn<TTransmitCounter>("counter");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QList<QByteArray>>("sequence");
        QTest::newRow("low nibble of byte 1") << TTransmitCounter{8, 4, 1} << QByteArray::fromHex("11AD")
                                              << QList<QByteArray>{"11ae", "11af", "11a0", "11a1"};
        QTest::newRow("across bytes") << TTransmitCounter{6, 4, 1} << QByteArray::fromHex("C003")
                                      << QList<QByteArray>{"0000", "4000", "8000", "c000"};
        QTest::newRow("step 3 wraps") << TTransmitCounter{0, 2, 3} << QByteArray::fromHex("FC")
                                      << QList<QByteArray>{"ff", "fe", "fd", "fc"};
        QTest::newRow("negative step") << TTransmitCounter{0, 8, -1} << QByteArray::fromHex("01")
                                       << QList<QByteArray>{"00", "ff", "fe"};
        QTest::newRow("64 bits") << TTransmitCounter{0, 64, 1} << QByteArray::fromHex("FFFFFFFFFFFFFFFF")
                                 << QList<QByteArray>{"0000000000000000", "0100000000000000"};
        QTest::newRow("short data grows") << TTransmitCounter{16, 8, 2} << QByteArray::fromHex("AA")
                                          << QList<QByteArray>{"aa0002", "aa0004"};
    }
    void counterAdvancesAndWraps()
    {
        QFETCH(TTransmitCounter, counter);
        QFETCH(QByteArray, data);
        QFETCH(QList<QByteArray>, sequence);
        for (const QByteArray &expected : sequence) {
            AdvanceCounter(data, counter);
            QCOMPARE(data.toHex(), expected);
        }
    }

    void loadAgainstTheLine()
    {
        // 10 ms of "t123211AB" + checksum + CR (12 bytes): 1,200 bytes/s; on demand and disabled rows add nothing.
        TTransmitRow a = Row("123", false, false, 2, "11AB", 10);
        TTransmitRow demand = Row("124", false, false, 0, "", 0);
        TTransmitRow off = Row("125", false, false, 0, "", 1);
        off.Enabled = false;
        QCOMPARE(LoadBytesPerSecond({a, demand, off}, true), 1200.0);
        QCOMPARE(LoadBytesPerSecond({a}, false), 1000.0);
        QCOMPARE(LineCapacityBytesPerSecond(115200), 11520.0);
        QCOMPARE(LoadText(14200, 11520), QStringLiteral("Load: 14,200 of 11,520 bytes/s"));
    }

    void listRoundTrip()
    {
        QList<TTransmitRow> rows;
        QStringList problems;
        QVERIFY2(ParseTransmitList(kGood, rows, problems), qPrintable(problems.join('\n')));
        QCOMPARE(rows.size(), 1);
        TTransmitRow expected = Row("123", false, false, 2, "11AB", 100);
        expected.Name = QStringLiteral("Heartbeat");
        expected.Counter = TTransmitCounter{8, 4, 1};
        QCOMPARE(rows[0], expected);
        TTransmitRow plain = Row("1ABCDEF0", true, true, 3, "");
        plain.Enabled = false;
        plain.Count = 5;
        rows << plain;
        QList<TTransmitRow> back;
        QVERIFY(ParseTransmitList(WriteTransmitList(rows), back, problems));
        QCOMPARE(back, rows);
        QVERIFY(ParseTransmitList(WriteTransmitList({}), back, problems));
        QVERIFY(back.isEmpty());
    }

    void listProblems_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("not json") << QByteArray("{") << QStringList{"not JSON: unterminated object at offset 1"};
        QTest::newRow("not object") << QByteArray("[]") << QStringList{"not a transmit list: expected a JSON object"};
        QTest::newRow("header") << QByteArray(R"({"format": "x", "version": 2, "extra": 1, "messages": {}})")
                                << QStringList{"format: must be \"k3316-transmit\"", "version: must be 1",
                                               "extra: unknown key; the keys are format, version, messages",
                                               "messages: must be a list of messages"};
        QTest::newRow("no messages") << QByteArray(R"({"format": "k3316-transmit", "version": 1})") << QStringList{"messages: missing"};
        QTest::newRow("message not object") << QByteArray(R"({"format": "k3316-transmit", "version": 1, "messages": [3]})")
                                            << QStringList{"messages[0]: must be an object"};
        QTest::newRow("unknown key") << WithKey("colour", "red") << QStringList{"messages[0].colour: unknown key; the keys are enabled, name, id, extended, remote, dlc, data, period_ms, count, counter, message, signals"};
        QTest::newRow("enabled missing") << WithKey("enabled", QJsonValue::Undefined) << QStringList{"messages[0].enabled: missing"};
        QTest::newRow("enabled type") << WithKey("enabled", 1) << QStringList{"messages[0].enabled: must be true or false"};
        QTest::newRow("name type") << WithKey("name", 1) << QStringList{"messages[0].name: must be a text"};
        QTest::newRow("id type") << WithKey("id", 123) << QStringList{"messages[0].id: must be a text"};
        QTest::newRow("id value") << WithKey("id", "12G") << QStringList{"messages[0].id: '12G' is not a valid integer value"};
        QTest::newRow("id missing") << WithKey("id", QJsonValue::Undefined) << QStringList{"messages[0].id: missing"};
        QTest::newRow("extended type") << WithKey("extended", "no") << QStringList{"messages[0].extended: must be true or false"};
        QTest::newRow("remote missing") << WithKey("remote", QJsonValue::Undefined) << QStringList{"messages[0].remote: missing"};
        QTest::newRow("dlc fraction") << WithKey("dlc", 1.5) << QStringList{"messages[0].dlc: must be a whole number"};
        QTest::newRow("dlc range") << WithKey("dlc", 9) << QStringList{"messages[0].dlc: must be 0 to 8"};
        QTest::newRow("dlc below data") << WithKey("dlc", 1) << QStringList{"messages[0].data: 2 bytes, more than the DLC 1", "messages[0].counter: bits 8 to 11 lie outside the 8 data bits of DLC 1"};
        QTest::newRow("data") << WithKey("data", "1") << QStringList{"messages[0].data: must be pairs of hexadecimal digits, one pair per byte"};
        QTest::newRow("period") << WithKey("period_ms", -1) << QStringList{"messages[0].period_ms: must be 1 to 99999 ms, or 0 for on demand only"};
        QTest::newRow("period type") << WithKey("period_ms", "100") << QStringList{"messages[0].period_ms: must be a whole number"};
        QTest::newRow("count") << WithKey("count", -2) << QStringList{"messages[0].count: must be 0 (until stopped) or more"};
        QTest::newRow("counter type") << WithKey("counter", 4) << QStringList{"messages[0].counter: must be an object with start_bit, length and step"};
        QTest::newRow("counter keys") << WithKey("counter", QJsonObject{{"start_bit", 64}, {"length", 0}, {"bits", 1}})
                                      << QStringList{"messages[0].counter.bits: unknown key; the keys are start_bit, length, step, signal",
                                                     "messages[0].counter.start_bit: must be a whole number from 0 to 63",
                                                     "messages[0].counter.length: must be a whole number from 1 to 64",
                                                     "messages[0].counter.step: missing"};
        QTest::newRow("counter on remote") << WithKey("remote", true) << QStringList{"messages[0].counter: a remote frame has no data to count in"};
        QTest::newRow("second message") << QByteArray(R"({"format": "k3316-transmit", "version": 1, "messages": [
            {"enabled": true, "id": "1", "extended": false, "remote": false, "dlc": 0, "data": "", "period_ms": 0, "count": 0},
            {"enabled": true, "id": "1", "extended": false, "remote": false, "dlc": 0, "data": "", "period_ms": 0}]})")
                                        << QStringList{"messages[1].count: missing"};
    }
    void listProblems()
    {
        QFETCH(QByteArray, json);
        QList<TTransmitRow> rows{TTransmitRow()};
        QStringList problems;
        QVERIFY(!ParseTransmitList(json, rows, problems));
        QTEST(problems, "problems");
        QCOMPARE(rows.size(), 1); // untouched
    }
};

QTEST_GUILESS_MAIN(TestTransmitList)
#include "tst_transmitlist.moc"
