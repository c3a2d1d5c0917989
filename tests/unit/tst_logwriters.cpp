// The log formats: candump log (checked against can-utils' own reader), CSV and the raw stream.

#include "dbc/FrameJson.h"
#include "dbc/SignalCsv.h"
#include "monitor/LogWriters.h"

#include <QBuffer>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// 2025-12-09T11:33:20.123456Z
constexpr int64_t someTimeUs = 1765280000123456;

TFrameRow rowOf(const QByteArray &text, int64_t timeUs = someTimeUs)
{
    TFrameRow row;
    row.timeUs = timeUs;
    row.text = QByteArrayView(text);
    row.decoded = DecodeLine(text);
    return row;
}

// A database for the JSON and signal CSV rows.
const TDbcDatabase &engineDatabase()
{
    static TDbcDatabase db;
    if (db.IsEmpty()) {
        QString error;
        db.LoadText("BO_ 291 Engine: 2 A\n SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" B\n"
                    "BO_ 1 Gearbox: 1 A\n SG_ Gear : 0|8@1- (1,0) [0|0] \"m,s\" B\n"
                    "VAL_ 1 Gear -1 \"Reverse \\\"R\\\"\" ;\n",
                    "engine.dbc", error);
        Q_ASSERT(error.isEmpty());
    }
    return db;
}

} // namespace

class TestLogWriters : public QObject {
    Q_OBJECT

private slots:
    void writesEachFormat_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("candump");
        QTest::addColumn<QByteArray>("csv");

        QTest::newRow("standard data") << QByteArray("t123211AB") << QByteArray("(1765280000.123456) k3316 123#11AB\n")
                                       << QByteArray("2025-12-09T11:33:20.123456Z,t,123,2,11AB,,t123211AB\r\n");
        QTest::newRow("no data") << QByteArray("t7FF0") << QByteArray("(1765280000.123456) k3316 7FF#\n")
                                 << QByteArray("2025-12-09T11:33:20.123456Z,t,7FF,0,,,t7FF0\r\n");
        QTest::newRow("standard remote") << QByteArray("T1230") << QByteArray("(1765280000.123456) k3316 123#R\n")
                                         << QByteArray("2025-12-09T11:33:20.123456Z,T,123,0,,,T1230\r\n");
        QTest::newRow("remote with a length") << QByteArray("T1233") << QByteArray("(1765280000.123456) k3316 123#R3\n")
                                              << QByteArray("2025-12-09T11:33:20.123456Z,T,123,3,,,T1233\r\n");
        QTest::newRow("extended, 8 digits") << QByteArray("e000000011FF")
                                            << QByteArray("(1765280000.123456) k3316 00000001#FF\n")
                                            << QByteArray("2025-12-09T11:33:20.123456Z,e,00000001,1,FF,,e000000011FF\r\n");
        QTest::newRow("extended remote") << QByteArray("E1FFFFFFF0")
                                         << QByteArray("(1765280000.123456) k3316 1FFFFFFF#R\n")
                                         << QByteArray("2025-12-09T11:33:20.123456Z,E,1FFFFFFF,0,,,E1FFFFFFF0\r\n");
        QTest::newRow("checksum right") << QByteArray("t12303A") << QByteArray("(1765280000.123456) k3316 123#\n")
                                        << QByteArray("2025-12-09T11:33:20.123456Z,t,123,0,,3A ok,t12303A\r\n");
        QTest::newRow("checksum wrong: left out of candump, marked in CSV")
            << QByteArray("t12303B") << QByteArray()
            << QByteArray("2025-12-09T11:33:20.123456Z,t,123,0,,3B wrong (3A),t12303B\r\n");
        QTest::newRow("reply: left out of candump") << QByteArray("!P0") << QByteArray()
                                                    << QByteArray("2025-12-09T11:33:20.123456Z,reply,,,,,!P0\r\n");
        QTest::newRow("quote and comma are quoted") << QByteArray("a,\"b") << QByteArray()
                                                    << QByteArray("2025-12-09T11:33:20.123456Z,other,,,,,\"a,\"\"b\"\r\n");
        QTest::newRow("unprintable bytes escaped") << QByteArray("\x00\\\n", 3) << QByteArray()
                                                   << QByteArray("2025-12-09T11:33:20.123456Z,other,,,,,\\x00\\\\\\x0A\r\n");
    }
    void writesEachFormat()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, candump);
        QFETCH(QByteArray, csv);
        const TFrameRow row = rowOf(line);
        QCOMPARE(CandumpRecord(row), candump);
        QCOMPARE(LogRecord(TLogFormat::Candump, row), candump);
        QCOMPARE(CsvRecord(row), csv);
        QCOMPARE(LogRecord(TLogFormat::Raw, row), line + '\r');
        TFrameRow unterminated = row;
        unterminated.terminated = false;
        QCOMPARE(LogRecord(TLogFormat::Raw, unterminated), line);
    }

    // JSON Lines: one object per line, signals named when a database knows the frame.
    void jsonAndSignalCsv_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("withDatabase");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("csv");
        const QByteArray t = "{\"time\": 1765280000.123456, ";
        const QByteArray at = "2025-12-09T11:33:20.123456Z,";
        QTest::newRow("known frame") << QByteArray("t12321027") << true
            << t + "\"kind\": \"t\", \"id\": \"123\", \"extended\": false, \"remote\": false, \"dlc\": 2, \"data\": \"1027\", \"checksum\": null, \"message\": \"Engine\", \"signals\": {\"Speed\": {\"raw\": 10000, \"value\": 1000.0, \"unit\": \"km/h\", \"text\": null}}}"
            << at + "Engine,Speed,1000.0,km/h\r\n";
        QTest::newRow("no database: no names") << QByteArray("t12321027") << false
            << t + "\"kind\": \"t\", \"id\": \"123\", \"extended\": false, \"remote\": false, \"dlc\": 2, \"data\": \"1027\", \"checksum\": null, \"message\": null, \"signals\": {}}"
            << QByteArray();
        QTest::newRow("frame the database does not know") << QByteArray("t1241FF") << true
            << t + "\"kind\": \"t\", \"id\": \"124\", \"extended\": false, \"remote\": false, \"dlc\": 1, \"data\": \"FF\", \"checksum\": null, \"message\": null, \"signals\": {}}"
            << QByteArray();
        QTest::newRow("short frame: signal marked") << QByteArray("t1231FF") << true
            << t + "\"kind\": \"t\", \"id\": \"123\", \"extended\": false, \"remote\": false, \"dlc\": 1, \"data\": \"FF\", \"checksum\": null, \"message\": \"Engine\", \"signals\": {\"Speed\": {\"raw\": null, \"value\": null, \"unit\": \"km/h\", \"text\": null}}}"
            << at + "Engine,Speed,,km/h\r\n";
        QTest::newRow("signed value with its text, unit quoted in CSV") << QByteArray("t0011FF") << true
            << t + "\"kind\": \"t\", \"id\": \"001\", \"extended\": false, \"remote\": false, \"dlc\": 1, \"data\": \"FF\", \"checksum\": null, \"message\": \"Gearbox\", \"signals\": {\"Gear\": {\"raw\": -1, \"value\": -1.0, \"unit\": \"m,s\", \"text\": \"Reverse \\\"R\\\"\"}}}"
            << at + "Gearbox,Gear,-1.0,\"m,s\"\r\n";
        QTest::newRow("extended remote") << QByteArray("E1FFFFFFF0") << true
            << t + "\"kind\": \"E\", \"id\": \"1FFFFFFF\", \"extended\": true, \"remote\": true, \"dlc\": 0, \"data\": \"\", \"checksum\": null, \"message\": null, \"signals\": {}}"
            << QByteArray();
        QTest::newRow("checksum right") << QByteArray("t12303A") << true
            << t + "\"kind\": \"t\", \"id\": \"123\", \"extended\": false, \"remote\": false, \"dlc\": 0, \"data\": \"\", \"checksum\": \"ok\", \"message\": \"Engine\", \"signals\": {\"Speed\": {\"raw\": null, \"value\": null, \"unit\": \"km/h\", \"text\": null}}}"
            << at + "Engine,Speed,,km/h\r\n";
        QTest::newRow("checksum wrong") << QByteArray("t12303B") << false
            << t + "\"kind\": \"t\", \"id\": \"123\", \"extended\": false, \"remote\": false, \"dlc\": 0, \"data\": \"\", \"checksum\": \"wrong\", \"message\": null, \"signals\": {}}"
            << QByteArray();
        QTest::newRow("other, UTF-8 kept beyond the first plane") << QByteArray("x\xF0\x9F\x9A\x97") << true
            << t + "\"kind\": \"other\", \"raw\": \"x\xF0\x9F\x9A\x97\"}" << QByteArray();
        QTest::newRow("reply") << QByteArray("!P0") << true << t + "\"kind\": \"reply\", \"raw\": \"!P0\"}" << QByteArray();
        QTest::newRow("other, escaped; Latin-1 where not UTF-8") << QByteArray("a\"b\\\x01\xE9") << true
            << t + "\"kind\": \"other\", \"raw\": \"a\\\"b\\\\\\u0001\xC3\xA9\"}" << QByteArray();
    }
    void jsonAndSignalCsv()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, withDatabase);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, csv);
        const TDecodedLine decoded = DecodeLine(line);
        const QByteArray got = FrameJsonRecord(someTimeUs, line, decoded, withDatabase ? &engineDatabase() : nullptr);
        QCOMPARE(got, json);
        QJsonParseError error;
        QVERIFY2(QJsonDocument::fromJson(got, &error).isObject(), qPrintable(error.errorString()));
        if (withDatabase)
            QCOMPARE(SignalCsvRecords(someTimeUs, decoded, engineDatabase()), csv);
    }

    void jsonNumbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("whole") << 1000.0 << QByteArray("1000.0");
        QTest::newRow("a tenth, whatever the locale") << 0.1 << QByteArray("0.1");
        QTest::newRow("negative zero") << -0.0 << QByteArray("-0.0");
        QTest::newRow("large") << 1e21 << QByteArray("1e+21");
        QTest::newRow("not a number") << std::nan("") << QByteArray("null");
        QTest::newRow("infinity") << HUGE_VAL << QByteArray("null");
    }
    void jsonNumbers()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, json);
        QLocale::setDefault(QLocale(QLocale::German));
        QByteArray out;
        AppendJsonNumber(out, value);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(out, json);
    }

    void timesBeforeAndAfterTheEpoch_data()
    {
        QTest::addColumn<qint64>("timeUs");
        QTest::addColumn<QByteArray>("iso");
        QTest::addColumn<QByteArray>("stamp");
        QTest::newRow("epoch") << qint64(0) << QByteArray("1970-01-01T00:00:00.000000Z") << QByteArray("(0.000000)");
        QTest::newRow("leap day") << qint64(951782400000001) << QByteArray("2000-02-29T00:00:00.000001Z")
                                  << QByteArray("(951782400.000001)");
        QTest::newRow("end of a year") << qint64(1767225599999999) << QByteArray("2025-12-31T23:59:59.999999Z")
                                       << QByteArray("(1767225599.999999)");
        QTest::newRow("before the epoch") << qint64(-1) << QByteArray("1969-12-31T23:59:59.999999Z")
                                          << QByteArray("(-1.999999)");
    }
    void timesBeforeAndAfterTheEpoch()
    {
        QFETCH(qint64, timeUs);
        QFETCH(QByteArray, iso);
        QFETCH(QByteArray, stamp);
        QCOMPARE(IsoUtcTime(timeUs), iso);
        const QByteArray line = "t1230";
        QVERIFY(CandumpRecord(rowOf(line, timeUs)).startsWith(stamp + ' '));
    }

    void formatFromFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("known");
        QTest::addColumn<int>("format");
        QTest::newRow("log") << "bus.log" << true << int(TLogFormat::Candump);
        QTest::newRow("CSV upper case") << "/tmp/Bus.CSV" << true << int(TLogFormat::Csv);
        QTest::newRow("raw") << "x.raw" << true << int(TLogFormat::Raw);
        QTest::newRow("other ending") << "x.txt" << false << -1;
        QTest::newRow("no ending") << "log" << false << -1;
    }
    void formatFromFileName()
    {
        QFETCH(QString, name);
        QFETCH(bool, known);
        QFETCH(int, format);
        TLogFormat f = TLogFormat::Raw;
        QCOMPARE(LogFormatForFileName(name, f), known);
        if (known)
            QCOMPARE(int(f), format);
    }

    void writerStreamsHeaderAndRows()
    {
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        TLogWriter writer(&buffer, TLogFormat::Csv);
        QVERIFY(writer.Begin());
        const QByteArray a = "t1230";
        const QByteArray b = "?";
        QVERIFY(writer.Write(rowOf(a)));
        QVERIFY(writer.Write(rowOf(b)));
        QCOMPARE(buffer.data(), QByteArray("time,kind,id,dlc,data,checksum,raw\r\n") + CsvRecord(rowOf(a)) + CsvRecord(rowOf(b)));

        // candump has no place for a frame whose checksum is wrong: it is left out and counted
        QBuffer candump;
        QVERIFY(candump.open(QIODevice::WriteOnly));
        TLogWriter frames(&candump, TLogFormat::Candump);
        const QByteArray good = "t12303A";
        const QByteArray bad = "t12303B";
        QVERIFY(frames.Write(rowOf(good)) && frames.Write(rowOf(bad)) && frames.Write(rowOf(b)));
        QCOMPARE(candump.data(), CandumpRecord(rowOf(good)));
        QCOMPARE(frames.LeftOut(), uint64_t(1));

        QBuffer closed; // not open: writes fail and say so
        TLogWriter failing(&closed, TLogFormat::Candump);
        QVERIFY(!failing.Write(rowOf(a)));
    }

    // can-utils' log2asc reads what the candump writer writes, frame for frame.
    void candumpLogLoadsInLog2asc()
    {
        const QString log2asc = QStandardPaths::findExecutable(QStringLiteral("log2asc"));
        if (log2asc.isEmpty())
            QFAIL("log2asc is missing: install can-utils (scripts/install-deps.sh does)");
        const QList<QByteArray> lines = {"t123211AB", "T7FF3", "e1ABCDEF08FFEEDDCCBBAA9988", "E000000010", "!P0", "t1230"};
        QByteArray log;
        for (int i = 0; i < lines.size(); ++i)
            log += CandumpRecord(rowOf(lines[i], someTimeUs + i * 1000));
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("bus.log")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(log);
        file.close();
        QProcess p;
        p.start(log2asc, {QStringLiteral("-I"), file.fileName(), QStringLiteral("k3316")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QList<QByteArray> out = p.readAllStandardOutput().split('\n');
        QList<QByteArray> frames;
        for (const QByteArray &l : out)
            if (l.contains(" Rx "))
                frames << l.simplified();
        QCOMPARE(frames, (QList<QByteArray>{
                             "0.000000 1 123 Rx d 2 11 AB",
                             "0.001000 1 7FF Rx r 3",
                             "0.002000 1 1ABCDEF0x Rx d 8 FF EE DD CC BB AA 99 88",
                             "0.003000 1 1x Rx r 0",
                             "0.005000 1 123 Rx d 0",
                         }));
    }
};

QTEST_GUILESS_MAIN(TestLogWriters)
#include "tst_logwriters.moc"
