#include "protocol/Framing.h"
#include "protocol/Profile.h"
#include "protocol/SettingsCommand.h"

#include <QTest>

namespace {

// The writes of the default settings at firmware level 2: the base of every case below.
TRS232Write defaultRS232()
{
    TRS232Write rs232;
    TCanWrite can;
    Profiles::DefaultWrites(2, rs232, can);
    return rs232;
}

TCanWrite defaultCan(int level = 2)
{
    TRS232Write rs232;
    TCanWrite can;
    Profiles::DefaultWrites(level, rs232, can);
    return can;
}

} // namespace

Q_DECLARE_METATYPE(TRS232Write)
Q_DECLARE_METATYPE(TCanWrite)

class TestSettingsCommand : public QObject {
    Q_OBJECT

private slots:
    void defaults_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("canLine");
        QTest::addColumn<int>("length");
        QTest::newRow("level 2") << 2 << QByteArray("$P121040" + QByteArray(23, '0') + "1" "0000" "DD" "\r") << 39;
        QTest::newRow("level 1") << 1 << QByteArray("$P115040" + QByteArray(16, '0') + "9F" "\r") << 27;
    }
    void defaults()
    {
        QFETCH(int, level);
        QFETCH(QByteArray, canLine);
        QFETCH(int, length);
        const TRS232Write rs232 = defaultRS232(); // 115200, 8, 1, None, No, No
        QCOMPARE(Framing::FrameLine(BuildRS232Command(rs232), true), QByteArray("$P0090B3000072\r"));

        const TCanWrite can = defaultCan(level); // 2.0A, 125K, code and mask 0, Tx CAN ID 1, all flags off, "None"
        const QByteArray line = Framing::FrameLine(BuildCanCommand(can, level), true);
        QCOMPARE(line, canLine);
        QCOMPARE(line.size(), length);
    }

    void layoutsOfTheCanBlock()
    {
        TCanWrite a = defaultCan();
        a.Spec = 0;
        a.Code = 0x123;
        a.Mask = 0x7FF;
        a.TxCanId = 0x7FF;
        a.PairFlag = '1';
        a.TxIdFlag = '1';
        a.RespIdFlag = '0';
        a.EndOfCommand = 2;
        const QByteArray cmd = BuildCanCommand(a, 2);
        QCOMPARE(cmd.mid(8, 8), QByteArray("01230000"));   // positions 9-16
        QCOMPARE(cmd.mid(16, 8), QByteArray("07FF0000"));  // positions 17-24
        QCOMPARE(cmd.mid(24, 8), QByteArray("000007FF"));  // positions 25-32
        QCOMPARE(cmd.mid(32, 4), QByteArray("1102"));

        TCanWrite b = a;
        b.Spec = 1;
        b.Code = 0x1FFFFFFF;
        b.TxCanId = int32_t(0xFFFFFFFF); // masked to 29 bits
        const QByteArray cmdB = BuildCanCommand(b, 2);
        QCOMPARE(cmdB.mid(8, 8), QByteArray("1FFFFFFF"));
        QCOMPARE(cmdB.mid(24, 8), QByteArray("1FFFFFFF"));

        TCanWrite c = a;
        c.TxCanId = 0x1234; // 2.0A keeps 11 bits
        QCOMPARE(BuildCanCommand(c, 2).mid(24, 8), QByteArray("00000234"));
    }

    void rs232BlockCarriesEachIndex()
    {
        TRS232Write w;
        w.BaudIndex = 7;
        w.DataBits = 2;
        w.StopBits = 1;
        w.Parity = 2;
        w.Checksum = 1;
        w.Respond = 1;
        QCOMPARE(BuildRS232Command(w), QByteArray("$P0090721211"));
    }

    // A field outside its list would shift every later position of the command; such a write
    // counts as incomplete and is never sent.
    void incompleteWritesAreRefused_data()
    {
        QTest::addColumn<TRS232Write>("rs232");
        QTest::addColumn<TCanWrite>("can");
        QTest::addColumn<bool>("rs232Complete");
        QTest::addColumn<bool>("canComplete");
        const TRS232Write r = defaultRS232();
        const TCanWrite c = defaultCan();
        auto rs = [&](auto change) { TRS232Write w = r; change(w); return w; };
        auto cn = [&](auto change) { TCanWrite w = c; change(w); return w; };
        QTest::newRow("defaults") << r << c << true << true;
        QTest::newRow("last entries") << rs([](TRS232Write &w) { w.BaudIndex = 11; w.Parity = 2; })
                                      << cn([](TCanWrite &w) { w.Spec = 1; w.Baud = 9; w.Hidden = 15; w.Code = int32_t(0xFFFFFFFF); w.EndOfCommand = 4; })
                                      << true << true;
        QTest::newRow("baud box without selection") << rs([](TRS232Write &w) { w.BaudIndex = -1; }) << c << false << true;
        QTest::newRow("baud index past the list") << rs([](TRS232Write &w) { w.BaudIndex = 12; }) << c << false << true;
        QTest::newRow("respond box without selection") << rs([](TRS232Write &w) { w.Respond = -1; }) << c << false << true;
        QTest::newRow("CAN baud without selection") << r << cn([](TCanWrite &w) { w.Baud = -1; }) << true << false;
        QTest::newRow("specification without selection") << r << cn([](TCanWrite &w) { w.Spec = -1; }) << true << false;
        QTest::newRow("hidden digit 'a' read as 42") << r << cn([](TCanWrite &w) { w.Hidden = 42; }) << true << false;
        QTest::newRow("hidden digit below '0'") << r << cn([](TCanWrite &w) { w.Hidden = -3; }) << true << false;
        QTest::newRow("2.0A code of four digits") << r << cn([](TCanWrite &w) { w.Code = 0x1000; }) << true << false;
        QTest::newRow("end of command 5") << r << cn([](TCanWrite &w) { w.EndOfCommand = 5; }) << true << false;
    }
    void incompleteWritesAreRefused()
    {
        QFETCH(TRS232Write, rs232);
        QFETCH(TCanWrite, can);
        QFETCH(bool, rs232Complete);
        QFETCH(bool, canComplete);
        QCOMPARE(IsCompleteRS232Write(rs232), rs232Complete);
        QCOMPARE(IsCompleteCanWrite(can), canComplete);
        // Every complete command has its fixed length.
        if (rs232Complete)
            QCOMPARE(BuildRS232Command(rs232).size(), 12);
        if (canComplete)
            QCOMPARE(BuildCanCommand(can, 2).size(), 36);
    }
};

QTEST_APPLESS_MAIN(TestSettingsCommand)
#include "tst_settingscommand.moc"
