#include "protocol/ModuleReplies.h"

#include <QTest>

class TestReplyDecoding : public QObject {
    Q_OBJECT

private slots:
    void rs232ReplyPositions()
    {
        TRS232Settings s;
        QVERIFY(DecodeRS232Reply("!P0B30000\r", s));
        QCOMPARE(s.BaudIndex, 11);
        QCOMPARE(s.DataBits, 3);
        QCOMPARE(s.StopBits, 0);
        QCOMPARE(s.Parity, 0);
        QCOMPARE(s.Checksum, 0);
        QCOMPARE(s.Respond, 0);

        QVERIFY(DecodeRS232Reply("!P0A21211\r", s));
        QCOMPARE(s.BaudIndex, 10);
        QCOMPARE(s.DataBits, 2);
        QCOMPARE(s.Parity, 2);
        QCOMPARE(s.Respond, 1);

        QVERIFY(DecodeRS232Reply("!P1B30000\r", s)); // two hex digits, first times 16
        QCOMPARE(s.BaudIndex, 27);
    }

    void rs232ReplyTooShortIsRefused()
    {
        TRS232Settings s;
        s.BaudIndex = 99;
        QVERIFY(!DecodeRS232Reply("", s));
        QVERIFY(!DecodeRS232Reply("!P0B3000\r", s)); // eight characters before the CR
        QCOMPARE(s.BaudIndex, 99); // nothing taken from a refused reply
        QVERIFY(DecodeRS232Reply("!P0B3000\r\r", s)); // only the final CR is left out of the count
        QCOMPARE(s.Respond, 13 - 48);
    }

    void canReply20BAtLevel2()
    {
        //            3 4 5 6-13     14-21    22-29    30 31 32 33
        const QByteArray r = "!P" "1" "6" "0" "1FFFFFFF" "00000ABC" "00000000" "1" "0" "1" "3" "\r";
        TCanSettings s;
        QVERIFY(DecodeCanReply(r, 2, s));
        QCOMPARE(s.Spec, 1);
        QCOMPARE(s.Baud, 6);
        QCOMPARE(s.Hidden, 0);
        QVERIFY(!s.Layout20A);
        QCOMPARE(s.Code, QStringLiteral("1FFFFFFF"));
        QCOMPARE(s.Mask, QStringLiteral("00000ABC"));
        QVERIFY(s.HasPairFields);
        QCOMPARE(s.TxCanId, QStringLiteral("00000001")); // all zeros replaced
        QCOMPARE(s.PairFlag, QStringLiteral("1"));
        QCOMPARE(s.TxIdFlag, QStringLiteral("0"));
        QCOMPARE(s.RespIdFlag, QStringLiteral("1"));
        QCOMPARE(s.EndOfCommand, 3);
    }

    void canReply20AAtLevel2()
    {
        //                   3   4   5   6   7-9    10-14    15-17  18-26        27-29 30-33
        const QByteArray r = "!P" "0" "9" "2" "0" "7FF" "00000" "123" "000000000" "000" "0000" "\r";
        QCOMPARE(r.size(), 34);
        TCanSettings s;
        QVERIFY(DecodeCanReply(r, 2, s));
        QVERIFY(s.Layout20A);
        QCOMPARE(s.Baud, 9);
        QCOMPARE(s.Hidden, 2);
        QCOMPARE(s.Code, QStringLiteral("7FF"));
        QCOMPARE(s.Mask, QStringLiteral("123"));
        QCOMPARE(s.TxCanId, QStringLiteral("001"));
        QCOMPARE(s.EndOfCommand, 0);
    }

    void canReplyBelowLevel2StopsAfterTheMask()
    {
        TCanSettings s;
        QVERIFY(DecodeCanReply("!P040" "0123" "00000" "456" "\r", 1, s)); // 17 characters, 2.0A
        QCOMPARE(s.Code, QStringLiteral("123"));
        QCOMPARE(s.Mask, QStringLiteral("456"));
        QVERIFY(!s.HasPairFields);
        QVERIFY(s.TxCanId.isEmpty());

        QVERIFY(DecodeCanReply("!P140" "12345678" "9ABCDEF0" "\r", 0, s)); // 21 characters, 2.0B
        QCOMPARE(s.Code, QStringLiteral("12345678"));
        QCOMPARE(s.Mask, QStringLiteral("9ABCDEF0"));
    }

    void shortCanRepliesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("level");
        QTest::newRow("empty") << QByteArray() << 2;
        QTest::newRow("two characters") << QByteArray("!P\r") << 2;
        QTest::newRow("2.0A one short, level 1") << QByteArray("!P040" "0123" "00000" "45" "\r") << 1;
        QTest::newRow("2.0B one short, level 1") << QByteArray("!P140" "12345678" "9ABCDEF" "\r") << 1;
        QTest::newRow("level 2 needs 33") << QByteArray("!P140" "12345678" "9ABCDEF0" "00000001" "101" "\r") << 2;
    }
    void shortCanRepliesAreRefused()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, level);
        TCanSettings s;
        s.Code = QStringLiteral("keep");
        QVERIFY(!DecodeCanReply(reply, level, s));
        QCOMPARE(s.Code, QStringLiteral("keep")); // nothing taken from a refused reply
    }

    void outOfListSpecificationReadsThe20BLayout()
    {
        TCanSettings s;
        QVERIFY(DecodeCanReply("!P540" "12345678" "9ABCDEF0" "\r", 1, s));
        QCOMPARE(s.Spec, 5);
        QVERIFY(!s.Layout20A);
        QCOMPARE(s.Code, QStringLiteral("12345678"));
    }
};

QTEST_APPLESS_MAIN(TestReplyDecoding)
#include "tst_replydecoding.moc"
