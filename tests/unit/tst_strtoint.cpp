#include "common/StrToInt.h"

#include <QTest>

class TestStrToInt : public QObject {
    Q_OBJECT

private slots:
    void acceptsIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("decimal") << "500" << 500;
        QTest::newRow("leading zeros") << "0100" << 100;
        QTest::newRow("leading blanks") << "   42" << 42;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("minus") << "-7" << -7;
        QTest::newRow("blank then sign") << "  -12" << -12;
        QTest::newRow("int max") << "2147483647" << 2147483647;
        QTest::newRow("int min") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("dollar hex") << "$7FF" << 0x7FF;
        QTest::newRow("lower hex digits") << "$1fffffff" << 0x1FFFFFFF;
        QTest::newRow("x prefix") << "xFF" << 255;
        QTest::newRow("X prefix") << "XFF" << 255;
        QTest::newRow("0x prefix") << "0x10" << 16;
        QTest::newRow("0X prefix") << "0X10" << 16;
        QTest::newRow("eight digits top bit") << "$FFFFFFFF" << -1;
        QTest::newRow("most negative pattern") << "$80000000" << int(0x80000000u);
        QTest::newRow("leading zeros beyond eight") << "$000000000001" << 1;
        QTest::newRow("negative hex") << "-$10" << -16;
        QTest::newRow("dollar zero") << "$0" << 0;
    }
    void acceptsIntegers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(StrToInt(text), value);
        int32_t out = 12345;
        QVERIFY(TryStrToInt(text, out));
        QCOMPARE(out, value);
    }

    void rejectsNonIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("lone plus") << "+";
        QTest::newRow("lone minus") << "-";
        QTest::newRow("lone dollar") << "$";
        QTest::newRow("lone 0x") << "0x";
        QTest::newRow("trailing blank") << "12 ";
        QTest::newRow("inner blank") << "1 2";
        QTest::newRow("letter in decimal") << "12a";
        QTest::newRow("non-hex digit") << "$G1";
        QTest::newRow("nine hex digits") << "$123456789";
        QTest::newRow("above int max") << "2147483648";
        QTest::newRow("below int min") << "-2147483649";
        QTest::newRow("huge") << "99999999999999999999";
        QTest::newRow("double sign") << "--1";
        QTest::newRow("tab before") << "\t5";
        QTest::newRow("decimal point") << "1.5";
    }
    void rejectsNonIntegers()
    {
        QFETCH(QString, text);
        int32_t out = 0;
        QVERIFY(!TryStrToInt(text, out));
        try {
            StrToInt(text);
            QFAIL("no conversion error raised");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }

    void formatsNumbers()
    {
        QCOMPARE(IntToStr(-5), QStringLiteral("-5"));
        QCOMPARE(IntToStr(100), QStringLiteral("100"));
        QCOMPARE(IntToHex(0x1AB, 3), QStringLiteral("1AB"));
        QCOMPARE(IntToHex(5, 3), QStringLiteral("005"));
        QCOMPARE(IntToHex(0x1AB, 8), QStringLiteral("000001AB"));
        QCOMPARE(IntToHex(0x12345, 3), QStringLiteral("12345")); // more digits when needed
        QCOMPARE(IntToHex(-1, 1), QStringLiteral("FFFFFFFF"));
    }
};

QTEST_APPLESS_MAIN(TestStrToInt)
#include "tst_strtoint.moc"
