#include "protocol/Framing.h"

#include <QTest>

using namespace Framing;

class TestFraming : public QObject {
    Q_OBJECT

private slots:
    void checksumIsLowByteOfSum()
    {
        QCOMPARE(AddChksum("#A"), QByteArray("64"));
        QCOMPARE(AddChksum(""), QByteArray("00"));
        // 0xFF + 0xFF + 0xA5 = 0x2A3: only the low byte counts
        QCOMPARE(AddChksum(QByteArray("\xFF\xFF\xA5")), QByteArray("A3"));
        QCOMPARE(AddChksum("t123211AB"), QByteArray("21"));
        QCOMPARE(AddChksum("T7FF0"), QByteArray("47"));
        QCOMPARE(AddChksum("e000001232A5FF"), QByteArray("1F"));
        QCOMPARE(AddChksum("E000001238"), QByteArray("03"));
        QCOMPARE(AddChksum("$P0090B30000"), QByteArray("72"));
    }

    void longTextsAreSummedOverEveryByte()
    {
        const QByteArray text(100, 'A'); // 100 * 0x41 = 0x1964
        QCOMPARE(AddChksum(text), QByteArray("64"));
    }

    void verifiesReplyChecksums()
    {
        QVERIFY(Chksum("#A64\r"));
        QVERIFY(!Chksum("#A65\r"));
        QVERIFY(Chksum("T7FF047X")); // whatever the final character is
        QVERIFY(Chksum(QByteArray("e000001232A5FF1F\r")));
        QVERIFY(Chksum("00\r"));  // nothing before the digits sums to 0
        QVERIFY(!Chksum("0\r"));  // too short to hold two digits
        QVERIFY(!Chksum(""));
    }

    void lowerCaseDigitsAreRefused()
    {
        const QByteArray body = "t7FF1AB"; // sum ends in a letter digit
        const QByteArray sum = AddChksum(body);
        QVERIFY(sum.toLower() != sum);
        QVERIFY(Chksum(body + sum + "\r"));
        QVERIFY(!Chksum(body + sum.toLower() + "\r"));
    }

    void ascToIntReadsUpperCaseHexDigits()
    {
        QCOMPARE(AscToInt('7'), 7);
        QCOMPARE(AscToInt('0'), 0);
        QCOMPARE(AscToInt('B'), 11);
        QCOMPARE(AscToInt('F'), 15);
        QCOMPARE(AscToInt('b'), 43);
        QCOMPARE(AscToInt('\r'), 13 - 48);
        QCOMPARE(AscToInt(char(0xFF)), 0xFF - 55);
    }

    void linesEndInOneCarriageReturn()
    {
        QCOMPARE(FrameLine("#A", false), QByteArray("#A\r"));
        QCOMPARE(FrameLine("#A", true), QByteArray("#A64\r"));
        QCOMPARE(FrameLine("", false), QByteArray("\r"));
        QCOMPARE(FrameLine("", true), QByteArray("00\r"));
        QVERIFY(!FrameLine("t123211AB", true).contains('\n'));
    }
};

QTEST_APPLESS_MAIN(TestFraming)
#include "tst_framing.moc"
