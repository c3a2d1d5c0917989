// Number <-> text conversions of the number field.

#include "controls/NumberText.h"

#include <QtTest>

#include <climits>

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void intToHexText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero keeps one digit") << 0 << "0";
        QTest::newRow("one digit") << 10 << "A";
        QTest::newRow("byte") << 255 << "FF";
        QTest::newRow("11-bit bound") << 2047 << "7FF";
        QTest::newRow("29-bit bound") << 0x1FFFFFFF << "1FFFFFFF";
        QTest::newRow("minus one is the full pattern") << -1 << "FFFFFFFF";
        QTest::newRow("most negative") << INT_MIN << "80000000";
        QTest::newRow("most positive") << INT_MAX << "7FFFFFFF";
    }
    void intToHexText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(IntToHexText(value), text);
    }

    void intToBinText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero keeps one digit") << 0 << "0";
        QTest::newRow("one") << 1 << "1";
        QTest::newRow("eight") << 8 << "1000";
        QTest::newRow("five") << 5 << "101";
        QTest::newRow("minus one") << -1 << QString(32, QLatin1Char('1'));
        QTest::newRow("most negative") << INT_MIN << QStringLiteral("1") + QString(31, QLatin1Char('0'));
    }
    void intToBinText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(IntToBinText(value), text);
    }

    void hexTextToInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("11-bit bound") << "7FF" << 2047;
        QTest::newRow("lower case") << "7ff" << 2047;
        QTest::newRow("mixed case") << "aBcD" << 0xABCD;
        QTest::newRow("leading zeros") << "00000001" << 1;
        QTest::newRow("all ones is minus one") << "FFFFFFFF" << -1;
        QTest::newRow("top bit alone") << "80000000" << INT_MIN;
        QTest::newRow("ninth digit adds nothing") << "123456789" << 0x23456789;
        QTest::newRow("far digits add nothing") << "FFFF00000001" << 1;
        QTest::newRow("foreign character counts as zero") << "1G1" << 0x101;
        QTest::newRow("sign counts as zero") << "-1" << 1;
    }
    void hexTextToInt()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(HexTextToInt(text), value);
    }

    void binTextToInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("five") << "101" << 5;
        QTest::newRow("leading zeros") << "0001000" << 8;
        QTest::newRow("other characters add nothing") << "1210" << 0b1010;
        QTest::newRow("32 ones") << QString(32, QLatin1Char('1')) << -1;
        QTest::newRow("33rd digit adds nothing") << QStringLiteral("1") + QString(32, QLatin1Char('0')) << 0;
    }
    void binTextToInt()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(BinTextToInt(text), value);
    }

    void digitTests_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<bool>("bin");
        QTest::newRow("empty") << "" << true << true;
        QTest::newRow("binary digits") << "0110" << true << true;
        QTest::newRow("decimal digits") << "0123456789" << true << false;
        QTest::newRow("hex letters both cases") << "abcdefABCDEF" << true << false;
        QTest::newRow("G") << "1G" << false << false;
        QTest::newRow("blank") << "1 " << false << false;
        QTest::newRow("sign") << "-1" << false << false;
        QTest::newRow("full-width digit") << QString(QChar(0xFF11)) << false << false;
    }
    void digitTests()
    {
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QFETCH(bool, bin);
        QCOMPARE(IsHexText(text), hex);
        QCOMPARE(IsBinText(text), bin);
    }
};

QTEST_APPLESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
