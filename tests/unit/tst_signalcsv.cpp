// The CSV of decoded signals: its header, quoting, units in UTF-8 and numbers that read back the
// same under every locale; checked against Python's own csv reader.

#include "dbc/SignalCsv.h"

#include <QLocale>
#include <QProcess>
#include <QTest>

class TestSignalCsv : public QObject {
    Q_OBJECT

private slots:
    void oneRowPerSignal_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QByteArray>("row");
        QTest::newRow("plain") << "Engine" << "Speed" << 1830.0 << "rpm"
                               << QByteArray("2026-12-09T15:45:12.123456Z,Engine,Speed,1830,rpm\r\n");
        QTest::newRow("fraction, no unit") << "Body" << "Ratio" << 0.1 << ""
                                           << QByteArray("2026-12-09T15:45:12.123456Z,Body,Ratio,0.1,\r\n");
        QTest::newRow("negative") << "B" << "T" << -40.5 << "degC"
                                  << QByteArray("2026-12-09T15:45:12.123456Z,B,T,-40.5,degC\r\n");
        QTest::newRow("large") << "B" << "Odo" << 1e20 << "m" << QByteArray("2026-12-09T15:45:12.123456Z,B,Odo,1e+20,m\r\n");
        QTest::newRow("unit in UTF-8") << "B" << "T" << 90.0 << QString::fromUtf8("\xc2\xb0""C")
                                       << QByteArray("2026-12-09T15:45:12.123456Z,B,T,90,\xc2\xb0""C\r\n");
        QTest::newRow("comma and quote quoted") << "A,B" << "say \"hi\"" << 1.0 << "x"
                                                << QByteArray("2026-12-09T15:45:12.123456Z,\"A,B\",\"say \"\"hi\"\"\",1,x\r\n");
    }
    void oneRowPerSignal()
    {
        QFETCH(QString, message);
        QFETCH(QString, signal);
        QFETCH(double, value);
        QFETCH(QString, unit);
        QFETCH(QByteArray, row);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // a decimal comma must not leak in
        QByteArray out;
        AppendSignalCsvRecord(out, 1796831112123456, message, signal, value, unit);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(out, row);
    }

    void valuesReadBackExactly()
    {
        for (double v : {0.1, 1.0 / 3.0, -1234.5678e-9, 4294967295.0, 9007199254740993.0})
            QCOMPARE(SignalValueText(v).toDouble(), v);
    }

    void pythonsCsvReaderReadsTheSameFields()
    {
        QByteArray out = SignalCsvHeader();
        AppendSignalCsvRecord(out, 0, QStringLiteral("A,B"), QStringLiteral("q\"x"), 2.5, QString::fromUtf8("\xc2\xb5s"));
        QProcess p;
        p.start(QStringLiteral("python3"), {QStringLiteral("-c"),
            QStringLiteral("import csv,sys,io\nfor r in csv.reader(io.TextIOWrapper(sys.stdin.buffer, encoding='utf-8', newline='')):"
                           " print('|'.join(r))")});
        QVERIFY(p.waitForStarted(10000));
        p.write(out);
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
                 QString::fromUtf8("time|message|signal|value|unit\n1970-01-01T00:00:00.000000Z|A,B|q\"x|2.5|\xc2\xb5s\n"));
    }
};

QTEST_GUILESS_MAIN(TestSignalCsv)
#include "tst_signalcsv.moc"
