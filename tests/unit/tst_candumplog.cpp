// Reading candump logs: line by line, whole files, and logs written by can-utils and python-can.

#include "monitor/CandumpLog.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "id ext rtr fd err dlc data" in one text, for compact rows.
QString Describe(const TLogFrame &f)
{
    return QStringLiteral("%1 %2%3%4%5 %6 %7")
        .arg(f.Id, 0, 16)
        .arg(f.Extended ? "x" : "-", f.Remote ? "r" : "-", f.Fd ? "f" : "-", f.Error ? "e" : "-")
        .arg(f.Dlc)
        .arg(QString::fromLatin1(f.Data.toHex().toUpper()));
}

bool WriteFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

class TestCandumpLog : public QObject {
    Q_OBJECT

private slots:
    void parsesLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("timeUs");
        QTest::addColumn<QByteArray>("interface");
        QTest::addColumn<QString>("frame");
        QTest::newRow("standard") << QByteArray("(1765280000.123456) can0 123#11AB") << qint64(1765280000123456) << QByteArray("can0") << "123 ---- 2 11AB";
        QTest::newRow("our writer") << QByteArray("(0000000001.000001) k3316 7FF#\n") << qint64(1000001) << QByteArray("k3316") << "7ff ---- 0 ";
        QTest::newRow("extended") << QByteArray("(1.5) vcan0 1ABCDEF0#0011223344556677") << qint64(1500000) << QByteArray("vcan0") << "1abcdef0 x--- 8 0011223344556677";
        QTest::newRow("extended small") << QByteArray("(2.000000) can1 00000005#FF") << qint64(2000000) << QByteArray("can1") << "5 x--- 1 FF";
        QTest::newRow("remote") << QByteArray("(3.000000) can0 7FF#R") << qint64(3000000) << QByteArray("can0") << "7ff -r-- 0 ";
        QTest::newRow("remote with length") << QByteArray("(3.000000) can0 123#R3") << qint64(3000000) << QByteArray("can0") << "123 -r-- 3 ";
        QTest::newRow("direction mark") << QByteArray("(3.000000) can0 123#11 R\r\n") << qint64(3000000) << QByteArray("can0") << "123 ---- 1 11";
        QTest::newRow("dotted data") << QByteArray("(3.000000) can0 123#11.22.33") << qint64(3000000) << QByteArray("can0") << "123 ---- 3 112233";
        QTest::newRow("lower case") << QByteArray("(3.000000) can0 1ab#ff") << qint64(3000000) << QByteArray("can0") << "1ab ---- 1 FF";
        QTest::newRow("length code") << QByteArray("(3.000000) can0 123#0011223344556677_C") << qint64(3000000) << QByteArray("can0") << "123 ---- 8 0011223344556677";
        QTest::newRow("fd") << QByteArray("(4.000000) can0 100##1000102030405060708090A0B") << qint64(4000000) << QByteArray("can0") << "100 --f- 12 000102030405060708090A0B";
        QTest::newRow("error frame") << QByteArray("(5.000000) can0 20000080#0000000000000000") << qint64(5000000) << QByteArray("can0") << "80 ---e 8 0000000000000000";
        QTest::newRow("short fraction") << QByteArray("(6.25) can0 123#") << qint64(6250000) << QByteArray("can0") << "123 ---- 0 ";
        QTest::newRow("long fraction cut") << QByteArray("(6.123456789) can0 123#") << qint64(6123456) << QByteArray("can0") << "123 ---- 0 ";
    }
    void parsesLine()
    {
        QFETCH(QByteArray, line);
        TLogFrame f;
        QString error;
        QVERIFY2(ParseCandumpLine(line, f, error), qPrintable(error));
        QTEST(qint64(f.TimeUs), "timeUs");
        QTEST(f.Interface, "interface");
        QTEST(Describe(f), "frame");
    }

    void refusesLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray("") << "expected \"(seconds.microseconds)\" at the start";
        QTest::newRow("no stamp") << QByteArray("can0 123#11") << "expected \"(seconds.microseconds)\" at the start";
        QTest::newRow("bad stamp") << QByteArray("(12a.5) can0 123#11") << "expected a time stamp \"(seconds.microseconds)\"";
        QTest::newRow("no frame") << QByteArray("(1.0) can0") << "expected an interface name and a frame after the time stamp";
        QTest::newRow("id width") << QByteArray("(1.0) can0 1234#11") << "expected a frame \"ID#DATA\" with 3 or 8 identifier digits, found \"1234#11\"";
        QTest::newRow("id digits") << QByteArray("(1.0) can0 12G#11") << "expected a hexadecimal identifier, found \"12G\"";
        QTest::newRow("odd data") << QByteArray("(1.0) can0 123#1") << "expected data as pairs of hexadecimal digits, found \"1\"";
        QTest::newRow("nine bytes") << QByteArray("(1.0) can0 123#112233445566778899") << "expected at most 8 data bytes";
        QTest::newRow("remote length") << QByteArray("(1.0) can0 123#R9") << "expected a length 0 to 8 after \"R\", found \"9\"";
        QTest::newRow("flag bits") << QByteArray("(1.0) can0 80000123#11") << "expected an identifier below 20000000 or an error frame, found \"80000123\"";
        QTest::newRow("fd length") << QByteArray("(1.0) can0 123##0112233445566778899") << "expected a CAN FD length (0-8, 12, 16, 20, 24, 32, 48 or 64 bytes), found 9";
        QTest::newRow("trailing") << QByteArray("(1.0) can0 123#11 X") << "expected nothing after the frame but a direction \"R\" or \"T\", found \"X\"";
    }
    void refusesLine()
    {
        QFETCH(QByteArray, line);
        TLogFrame f;
        f.Id = 0x55;
        QString error;
        QVERIFY(!ParseCandumpLine(line, f, error));
        QTEST(error, "error");
        QCOMPARE(f.Id, 0x55u); // untouched
    }

    void fileNamesTheBadLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.log"));
        QVERIFY(WriteFile(path, "(1.0) can0 123#11\n\n(2.0) can0 123#1\n"));
        QVector<TLogFrame> frames{TLogFrame{}};
        QString error;
        QVERIFY(!ReadCandumpFile(path, frames, error));
        QCOMPARE(error, path + QStringLiteral(":3: expected data as pairs of hexadecimal digits, found \"1\""));
        QCOMPARE(frames.size(), 1);
        QVERIFY(!ReadCandumpFile(dir.filePath(QStringLiteral("missing.log")), frames, error));
        QVERIFY(error.startsWith(QStringLiteral("cannot read ") + dir.filePath(QStringLiteral("missing.log")) + QStringLiteral(": No such file")));
    }

    // asc2log (can-utils) turns a hand-written ASC file into a candump log; each frame of the ASC
    // file comes back (its error frame as asc2log stamps it: a bus error, class 80).
    void readsWhatAsc2logWrites()
    {
        const QString asc2log = QStandardPaths::findExecutable(QStringLiteral("asc2log"));
        if (asc2log.isEmpty())
            QFAIL("asc2log is missing: install can-utils (scripts/install-deps.sh does)");
        QTemporaryDir dir;
        const QString asc = dir.filePath(QStringLiteral("in.asc"));
        const QString log = dir.filePath(QStringLiteral("out.log"));
        QVERIFY(WriteFile(asc, "date Tue Dec  9 11:33:20 2025\nbase hex  timestamps absolute\n"
                               "no internal events logged\n"
                               "   0.000000 1  123             Rx   d 2 11 AB\n"
                               "   0.010000 1  1ABCDEF0x       Rx   d 8 00 11 22 33 44 55 66 77\n"
                               "   0.020500 1  7FF             Rx   r 3\n"
                               "   0.030000 1  ErrorFrame\n"
                               "   1.000001 1  5               Rx   d 0\n"));
        QProcess p;
        p.start(asc2log, {QStringLiteral("-I"), asc, QStringLiteral("-O"), log});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVector<TLogFrame> frames;
        QString error;
        QVERIFY2(ReadCandumpFile(log, frames, error), qPrintable(error));
        QStringList got;
        for (const TLogFrame &f : frames)
            got << QString::number(f.TimeUs - frames.first().TimeUs) + QLatin1Char(' ') + Describe(f);
        QCOMPARE(got, (QStringList{"0 123 ---- 2 11AB", "10000 1abcdef0 x--- 8 0011223344556677", "20500 7ff -r-- 3 ",
                                   "30000 80 ---e 8 0000000000000000", "1000001 5 ---- 0 "}));
    }

    // python-can's candump writer (another implementation) adds direction marks and CAN FD lines.
    void readsWhatPythonCanWrites()
    {
        const QString python = QStringLiteral("/usr/bin/python3");
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("py.log"));
        const QString script = QStringLiteral(
            "import can, sys\n"
            "w = can.io.CanutilsLogWriter(sys.argv[1], channel='can0')\n"
            "M = can.Message\n"
            "for m in [M(timestamp=100.25, arbitration_id=0x123, is_extended_id=False, data=bytes([0x11, 0xAB])),\n"
            "          M(timestamp=100.5, arbitration_id=0x1ABCDEF0, is_extended_id=True, data=bytes(range(8))),\n"
            "          M(timestamp=101, arbitration_id=0x7FF, is_extended_id=False, is_remote_frame=True),\n"
            "          M(timestamp=102, arbitration_id=0x100, is_extended_id=False, is_fd=True, data=bytes(range(12))),\n"
            "          M(timestamp=103, arbitration_id=0x80, is_extended_id=False, is_error_frame=True, data=bytes(8))]:\n"
            "    w.on_message_received(m)\n"
            "w.stop()\n");
        QProcess p;
        p.start(python, {QStringLiteral("-c"), script, log});
        QVERIFY(p.waitForFinished(20000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QVector<TLogFrame> frames;
        QString error;
        QVERIFY2(ReadCandumpFile(log, frames, error), qPrintable(error));
        QStringList got;
        for (const TLogFrame &f : frames)
            got << QString::number(f.TimeUs) + QLatin1Char(' ') + Describe(f);
        QCOMPARE(got, (QStringList{"100250000 123 ---- 2 11AB", "100500000 1abcdef0 x--- 8 0001020304050607",
                                   "101000000 7ff -r-- 0 ", "102000000 100 --f- 12 000102030405060708090A0B",
                                   "103000000 80 ---e 8 0000000000000000"}));
    }
};

QTEST_GUILESS_MAIN(TestCandumpLog)
#include "tst_candumplog.moc"
