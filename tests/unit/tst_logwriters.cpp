// The log formats: candump log (checked against can-utils' own reader), CSV, the raw stream,
// and pcap, Vector ASC and PEAK TRC, each read back by independent readers: tshark, can-utils'
// asc2log and python-can (Debian's, run by /usr/bin/python3).

#include "dbc/FrameJson.h"
#include "dbc/SignalCsv.h"
#include "monitor/AscWriter.h"
#include "monitor/LogWriters.h"
#include "monitor/TrcWriter.h"

#include <QBuffer>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

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

// The lines as frames 1 ms apart from `someTimeUs`, in one log of the format.
QByteArray logOf(TLogFormat format, const QList<QByteArray> &lines)
{
    TLogEncoder encoder(format, someTimeUs);
    QByteArray out = encoder.Header();
    for (int i = 0; i < lines.size(); ++i)
        encoder.Append(out, rowOf(lines[i], someTimeUs + i * 1000));
    return out + encoder.Footer();
}

// Frames of every kind, and lines no reader may see as frames.
const QList<QByteArray> mixedLines = {"t123211AB", "T7FF3", "e1ABCDEF08FFEEDDCCBBAA9988", "E000000010",
                                      "!P0",       "t1230", "t12303B",                    "e00000002103"};

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return file.fileName();
}

// Runs a reader; its standard output, or a null array with the reason in `problem`.
QByteArray runReader(const QString &program, const QStringList &args, QString &problem, int timeoutMs = 60000)
{
    if (program.isEmpty()) {
        problem = QStringLiteral("reader missing: install it with scripts/install-deps.sh");
        return QByteArray();
    }
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished();
        problem = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return QByteArray();
    }
    return p.readAllStandardOutput();
}

// Debian's python3, with Debian's python-can (a python3 earlier on the path may lack it).
QString debianPython()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
}

// One line per message: "time id extended remote dlc data", times from the first message.
const char *pythonCanPrinter = R"(
import sys, can
readers = {'asc': can.ASCReader, 'trc': can.TRCReader, 'blf': can.BLFReader}
first = None
for m in readers[sys.argv[1]](sys.argv[2]):
    first = m.timestamp if first is None else first
    print('%.6f %X %d %d %d %s' % (m.timestamp - first, m.arbitration_id, m.is_extended_id, m.is_remote_frame, m.dlc, m.data.hex().upper()))
)";

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
            << at + "Engine,Speed,1000,km/h\r\n";
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
            << at + "Gearbox,Gear,-1,\"m,s\"\r\n";
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
        QTest::newRow("shorter in scientific form") << 100000.0 << QByteArray("1e+05");
        QTest::newRow("as long either way: fixed") << 1200000.0 << QByteArray("1200000.0");
        QTest::newRow("a ten-thousandth") << 0.0001 << QByteArray("1e-04");
        QTest::newRow("a thousandth") << -0.001 << QByteArray("-0.001");
        QTest::newRow("four decimals") << -40.0625 << QByteArray("-40.0625");
        QTest::newRow("sixteen digits") << 1234567890123456.0 << QByteArray("1234567890123456.0");
        QTest::newRow("a sum one step off") << 0.1 + 0.2 << QByteArray("0.30000000000000004");
        QTest::newRow("2^64") << 18446744073709551616.0 << QByteArray("18446744073709551616.0");
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

    // Signal values (raw * factor + offset) as std::to_chars writes them, ".0" on whole numbers.
    void jsonNumbersAreTheShortestThatReadBack()
    {
        const double factors[] = {1, 0.5, 0.1, 0.25, 0.125, 0.01, 0.0625, 0.001, 1e-5, 3.0517578125e-05, 10, 1000, 1e7};
        const double offsets[] = {0, -40, -0.5, 273.15, -1e6};
        uint64_t seed = 3316;
        for (int i = 0; i < 20000; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            const int64_t raw = int64_t(seed >> 40) - (int64_t(1) << 23) + (i % 3 == 0 ? int64_t(seed >> 11) : 0);
            const double value = double(raw) * factors[i % std::size(factors)] + offsets[i / 7 % std::size(offsets)];
            char text[64];
            char *end = std::to_chars(text, text + sizeof text, value).ptr;
            QByteArray expected(text, end - text);
            if (!expected.contains('.') && !expected.contains('e'))
                expected += ".0";
            QByteArray got;
            AppendJsonNumber(got, value);
            QCOMPARE(got, expected);
        }
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
        // Where the seconds gain a digit, and the last time there is.
        QTest::newRow("9.999999 s") << qint64(9999999) << QByteArray("1970-01-01T00:00:09.999999Z") << QByteArray("(9.999999)");
        QTest::newRow("10 s") << qint64(10000000) << QByteArray("1970-01-01T00:00:10.000000Z") << QByteArray("(10.000000)");
        QTest::newRow("the last microsecond") << std::numeric_limits<qint64>::max() << IsoUtcTime(std::numeric_limits<qint64>::max())
                                              << QByteArray("(9223372036854.775807)");
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
        QTest::newRow("pcap") << "/tmp/x.pcap" << true << int(TLogFormat::Pcap);
        QTest::newRow("ASC upper case") << "Bus.ASC" << true << int(TLogFormat::Asc);
        QTest::newRow("trc") << "bus.trc" << true << int(TLogFormat::Trc);
        QTest::newRow("pcapng is not pcap") << "x.pcapng" << true << int(TLogFormat::Pcapng);
        QTest::newRow("BLF upper case") << "x.BLF" << true << int(TLogFormat::Blf);
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

        // A format with an end writes it last.
        QBuffer asc;
        QVERIFY(asc.open(QIODevice::WriteOnly));
        TLogWriter ascWriter(&asc, TLogFormat::Asc, "k3316", someTimeUs);
        QVERIFY(ascWriter.Begin());
        QVERIFY(ascWriter.Write(rowOf(a)));
        QVERIFY(ascWriter.End());
        QCOMPARE(asc.data(), AscHeader(someTimeUs) + "   0.000000 1  123             Rx   d 0\nEnd TriggerBlock\n");

        QBuffer closed; // not open: writes fail and say so
        TLogWriter failing(&closed, TLogFormat::Candump);
        QVERIFY(!failing.Write(rowOf(a)));
    }

    void writesFramesAsPcapAscAndTrc_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("pcapFrame"); // the 16 bytes after the record header, in hex
        QTest::addColumn<QByteArray>("asc");
        QTest::addColumn<QByteArray>("trc");

        QTest::newRow("standard data") << QByteArray("t123211AB") << QByteArray("0000012302000000 11ab000000000000")
                                       << QByteArray("   0.000000 1  123             Rx   d 2 11 AB\n")
                                       << QByteArray("      1         0.000 DT  1     0123 Rx -  2    11 AB\r\n");
        QTest::newRow("no data") << QByteArray("t7FF0") << QByteArray("000007ff00000000 0000000000000000")
                                 << QByteArray("   0.000000 1  7FF             Rx   d 0\n")
                                 << QByteArray("      1         0.000 DT  1     07FF Rx -  0\r\n");
        QTest::newRow("standard remote, 3 asked") << QByteArray("T1233") << QByteArray("4000012303000000 0000000000000000")
                                                  << QByteArray("   0.000000 1  123             Rx   r 3\n")
                                                  << QByteArray("      1         0.000 RR  1     0123 Rx -  3\r\n");
        QTest::newRow("extended, 8 bytes")
            << QByteArray("e1ABCDEF08FFEEDDCCBBAA9988") << QByteArray("9abcdef008000000 ffeeddccbbaa9988")
            << QByteArray("   0.000000 1  1ABCDEF0x       Rx   d 8 FF EE DD CC BB AA 99 88\n")
            << QByteArray("      1         0.000 DT  1 1ABCDEF0 Rx -  8    FF EE DD CC BB AA 99 88\r\n");
        QTest::newRow("extended remote") << QByteArray("E1FFFFFFF0") << QByteArray("dfffffff00000000 0000000000000000")
                                         << QByteArray("   0.000000 1  1FFFFFFFx       Rx   r 0\n")
                                         << QByteArray("      1         0.000 RR  1 1FFFFFFF Rx -  0\r\n");
        QTest::newRow("checksum right") << QByteArray("t12303A") << QByteArray("0000012300000000 0000000000000000")
                                        << QByteArray("   0.000000 1  123             Rx   d 0\n")
                                        << QByteArray("      1         0.000 DT  1     0123 Rx -  0\r\n");
        QTest::newRow("checksum wrong: no frame") << QByteArray("t12303B") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("reply: no frame") << QByteArray("!P0") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("other: no frame") << QByteArray("x\x01") << QByteArray() << QByteArray() << QByteArray();
    }
    void writesFramesAsPcapAscAndTrc()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, pcapFrame);
        QFETCH(QByteArray, asc);
        QFETCH(QByteArray, trc);
        const TFrameRow row = rowOf(line);
        TLogEncoder pcap(TLogFormat::Pcap, someTimeUs);
        const QByteArray record = pcap.Record(row);
        if (pcapFrame.isEmpty()) {
            QCOMPARE(record, QByteArray());
        } else {
            // 2025-12-09T11:33:20.123456Z, 16 bytes captured of 16
            QCOMPARE(record.first(16).toHex(), QByteArray("0009386940e201001000000010000000"));
            QCOMPARE(record.mid(16).toHex(), QByteArray::fromHex(pcapFrame).toHex());
        }
        TLogEncoder ascEncoder(TLogFormat::Asc, someTimeUs);
        QCOMPARE(ascEncoder.Record(row), asc);
        TLogEncoder trcEncoder(TLogFormat::Trc, someTimeUs);
        QCOMPARE(trcEncoder.Record(row), trc);
        QCOMPARE(trcEncoder.FramesWritten(), quint64(trc.isEmpty() ? 0 : 1));
    }

    void headersAndTimesOfPcapAscAndTrc()
    {
        QCOMPARE(LogHeader(TLogFormat::Pcap).toHex(), QByteArray("d4c3b2a1020004000000000000000000ffff0000e3000000"));
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "UTC");
        tzset();
        // Times count from the start, a row older than the start counts as the start.
        TLogEncoder asc(TLogFormat::Asc, someTimeUs);
        QCOMPARE(asc.Header(), QByteArray("date Tue Dec 09 11:33:20.123 am 2025\n"
                                          "base hex  timestamps absolute\n"
                                          "no internal events logged\n"
                                          "Begin Triggerblock Tue Dec 09 11:33:20.123 am 2025\n"
                                          "   0.000000 Start of measurement\n"));
        QCOMPARE(asc.Record(rowOf("t1230", someTimeUs + 3723000001)), QByteArray("3723.000001 1  123             Rx   d 0\n"));
        QCOMPARE(asc.Record(rowOf("t1230", someTimeUs - 5)), QByteArray("   0.000000 1  123             Rx   d 0\n"));
        QCOMPARE(asc.Footer(), QByteArray("End TriggerBlock\n"));
        QCOMPARE(AscDate(0), QByteArray("Thu Jan 01 12:00:00.000 am 1970"));
        QCOMPARE(AscDate(43200000999), QByteArray("Thu Jan 01 12:00:00.000 pm 1970"));
        QCOMPARE(AscDate(951868799999999), QByteArray("Tue Feb 29 11:59:59.999 pm 2000"));
        // 2025-12-09 is day 46000 after 1899-12-30; 11:33:20.123456 is 0.481482... of a day.
        QCOMPARE(TrcStartTime(someTimeUs), QByteArray("46000.4814829104"));
        TLogEncoder trc(TLogFormat::Trc, someTimeUs);
        const QByteArray header = trc.Header();
        QVERIFY(header.startsWith(";$FILEVERSION=2.1\r\n;$STARTTIME=46000.4814829104\r\n;$COLUMNS=N,O,T,B,I,d,R,L,D\r\n"));
        QVERIFY(header.endsWith("\r\n"));
        for (const QByteArray &l : header.split('\n'))
            QVERIFY(l.isEmpty() || l.startsWith(';'));
        // Frames are numbered from 1; lines that are no frame take no number.
        trc.Record(rowOf("t1230"));
        trc.Record(rowOf("!P0"));
        QCOMPARE(trc.Record(rowOf("t1230", someTimeUs + 61234567)),
                 QByteArray("      2     61234.567 DT  1     0123 Rx -  0\r\n"));
        QCOMPARE(trc.Footer(), QByteArray());
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
    }

    void pcapLoadsInTshark_data()
    {
        QTest::addColumn<TLogFormat>("format");
        QTest::newRow("pcap") << TLogFormat::Pcap;
        QTest::newRow("pcapng") << TLogFormat::Pcapng;
    }
    // tshark reads the pcap and pcapng: identifiers with their flags, lengths and data, nothing else.
    void pcapLoadsInTshark()
    {
        QFETCH(TLogFormat, format);
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("bus.") + LogFormatSuffix(format), logOf(format, mixedLines));
        QVERIFY(!file.isEmpty());
        QString problem;
        const QByteArray out = runReader(QStandardPaths::findExecutable(QStringLiteral("tshark")),
                                         {QStringLiteral("-r"), file, QStringLiteral("-T"), QStringLiteral("fields"),
                                          QStringLiteral("-e"), QStringLiteral("frame.time_epoch"), QStringLiteral("-e"),
                                          QStringLiteral("can.id"), QStringLiteral("-e"), QStringLiteral("can.flags.xtd"),
                                          QStringLiteral("-e"), QStringLiteral("can.flags.rtr"), QStringLiteral("-e"),
                                          QStringLiteral("can.len"), QStringLiteral("-e"), QStringLiteral("data.data")},
                                         problem);
        QVERIFY2(!out.isNull(), qPrintable(problem));
        QCOMPARE(out.trimmed().split('\n'), (QList<QByteArray>{
                                                 "1765280000.123456000\t291\t0\t0\t2\t11ab",
                                                 // Wireshark shows the length a remote frame asks for as zero bytes
                                                 "1765280000.124456000\t2047\t0\t1\t3\t000000",
                                                 "1765280000.125456000\t448585456\t1\t0\t8\tffeeddccbbaa9988",
                                                 "1765280000.126456000\t1\t1\t1\t0\t",
                                                 "1765280000.128456000\t291\t0\t0\t0\t",
                                                 "1765280000.130456000\t2\t1\t0\t1\t03",
                                             }));
    }

    // can-utils' asc2log reads the ASC log, and a million frames of it in one piece.
    void ascLoadsInAsc2log()
    {
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("bus.asc"), logOf(TLogFormat::Asc, mixedLines));
        QVERIFY(!file.isEmpty());
        const QString asc2log = QStandardPaths::findExecutable(QStringLiteral("asc2log"));
        QString problem;
        QByteArray out = runReader(asc2log, {QStringLiteral("-I"), file}, problem);
        QVERIFY2(!out.isNull(), qPrintable(problem));
        // asc2log puts the frames at the date it reads, or at its own clock when its locale is
        // missing: compare the frames and their spacing.
        QList<QByteArray> frames;
        QList<double> times;
        for (const QByteArray &l : out.trimmed().split('\n')) {
            const QList<QByteArray> fields = l.split(' ');
            QCOMPARE(fields.size(), 4);
            times << fields[0].mid(1, fields[0].size() - 2).toDouble();
            frames << fields[2];
        }
        QCOMPARE(frames, (QList<QByteArray>{"123#11AB", "7FF#R3", "1ABCDEF0#FFEEDDCCBBAA9988", "00000001#R", "123#",
                                            "00000002#03"}));
        QCOMPARE(qRound((times.last() - times.first()) * 1e6), 7000);

        TLogEncoder encoder(TLogFormat::Asc, someTimeUs);
        QByteArray big = encoder.Header();
        constexpr int million = 1000000;
        big.reserve(million * 64);
        const QByteArray line = "e1ABCDEF08FFEEDDCCBBAA9988";
        for (int i = 0; i < million; ++i)
            encoder.Append(big, rowOf(line, someTimeUs + int64_t(i) * 100));
        big += encoder.Footer();
        const QString bigFile = writeFile(dir, QStringLiteral("big.asc"), big);
        QVERIFY(!bigFile.isEmpty());
        big.clear();
        out = runReader(asc2log, {QStringLiteral("-I"), bigFile}, problem, 120000);
        QVERIFY2(!out.isNull(), qPrintable(problem));
        QCOMPARE(out.count('\n'), million);
        QVERIFY(out.endsWith(" can0 1ABCDEF0#FFEEDDCCBBAA9988 R\n"));
    }

    void ascLoadsInPythonCan_data()
    {
        QTest::addColumn<TLogFormat>("format");
        QTest::newRow("ASC") << TLogFormat::Asc;
        QTest::newRow("BLF") << TLogFormat::Blf;
    }
    // python-can's ASCReader and BLFReader read the same frames, times counted from the start.
    void ascLoadsInPythonCan()
    {
        QFETCH(TLogFormat, format);
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("bus.") + LogFormatSuffix(format), logOf(format, mixedLines));
        QVERIFY(!file.isEmpty());
        QString problem;
        const QByteArray out = runReader(debianPython(), {QStringLiteral("-c"), QString::fromLatin1(pythonCanPrinter),
                                                          QLatin1String(LogFormatSuffix(format)), file},
                                         problem);
        QVERIFY2(!out.isNull(), qPrintable(problem));
        QCOMPARE(out.trimmed().split('\n'), (QList<QByteArray>{
                                                 "0.000000 123 0 0 2 11AB",
                                                 "0.001000 7FF 0 1 3 ",
                                                 "0.002000 1ABCDEF0 1 0 8 FFEEDDCCBBAA9988",
                                                 "0.003000 1 1 1 0 ",
                                                 "0.005000 123 0 0 0 ",
                                                 "0.007000 2 1 0 1 03",
                                             }));
    }

    // python-can's TRCReader reads the data frames (it leaves remote requests, "RR", aside).
    void trcLoadsInPythonCan()
    {
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("bus.trc"), logOf(TLogFormat::Trc, mixedLines));
        QVERIFY(!file.isEmpty());
        QString problem;
        const QByteArray out = runReader(debianPython(), {QStringLiteral("-c"), QString::fromLatin1(pythonCanPrinter),
                                                          QStringLiteral("trc"), file},
                                         problem);
        QVERIFY2(!out.isNull(), qPrintable(problem));
        QCOMPARE(out.trimmed().split('\n'), (QList<QByteArray>{
                                                 "0.000000 123 0 0 2 11AB",
                                                 "0.002000 1ABCDEF0 1 0 8 FFEEDDCCBBAA9988",
                                                 "0.005000 123 0 0 0 ",
                                                 "0.007000 2 1 0 1 03",
                                             }));
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
