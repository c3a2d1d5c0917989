// The module conversation over a scripted exchange: the lines each step sends, and its verdict.

#include "protocol/ModuleSession.h"
#include "protocol/Profile.h"

#include <QTest>

namespace {

// Answers each line with the next scripted reply ("" for silence) and records what was sent.
struct TScript {
    QList<QByteArray> replies;
    QList<QByteArray> sent;
    bool sendFails = false;

    TExchange Exchange()
    {
        return {[this](const QByteArray &line) {
                    sent << line;
                    return !sendFails;
                },
                [this] { return replies.isEmpty() ? QByteArray() : replies.takeFirst(); }};
    }
};

} // namespace

class TestModuleSession : public QObject {
    Q_OBJECT

private slots:
    void identify_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("maker");
        using L = QList<QByteArray>;
        const L configuration{"#A\r", "#PV\r", "#PC\r", "#PM\r"};
        QTest::newRow("configuration") << L{"!S2.05\r", "!V2.06\r", "!CACMEINC\r", "!MK-3316\r"} << 115200 << configuration
                                       << int(TProbeVerdict::Configuration) << false << QString() << "ACMEINC";
        QTest::newRow("silent identification keeps the probe's version")
            << L{"!S2.05\r", "", "", ""} << 115200 << configuration << int(TProbeVerdict::Configuration) << false
            << QString() << QString();
        QTest::newRow("S at another speed") << L{"!S2.05\r"} << 9600 << L{"#A\r"} << int(TProbeVerdict::OperationAsS)
                                            << false << QString() << QString();
        QTest::newRow("operation") << L{"!R2.05\r"} << 115200 << L{"#A\r"} << int(TProbeVerdict::Operation) << false
                                   << QString() << QString();
        QTest::newRow("checksums only") << L{"", "!R2.05\r"} << 115200 << L{"#A\r", "#A64\r"}
                                        << int(TProbeVerdict::Operation) << true << QString() << QString();
        QTest::newRow("bus traffic in the reply") << L{"!S2.05\rt12300\r"} << 115200 << L{"#A\r"}
                                                  << int(TProbeVerdict::TooLong) << false
                                                  << "Please remove the CAN connector when connecting!!!" << QString();
        QTest::newRow("traffic in the checksummed reply") << L{"?\r", "t1230112233\r"} << 115200 << L{"#A\r", "#A64\r"}
                                                          << int(TProbeVerdict::TooLong) << false
                                                          << "Remove the CAN Connector When Connecting!!!" << QString();
        QTest::newRow("garbage") << L{"xx\r"} << 115200 << L{"#A\r"} << int(TProbeVerdict::Failed) << false
                                 << "Timeout!!! COM1 Connect Failed!" << QString();
        QTest::newRow("silence") << L{"", ""} << 115200 << L{"#A\r", "#A64\r"} << int(TProbeVerdict::Failed) << false
                                 << "COM1 Connect Failed!" << QString();
    }
    void identify()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(int, baud);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(int, verdict);
        QFETCH(bool, checksum);
        QFETCH(QString, message);
        QFETCH(QString, maker);
        TScript script{replies, {}};
        TModuleSession session(script.Exchange());
        const TModuleIdentity id = session.Identify(baud, QStringLiteral("COM1"));
        QCOMPARE(script.sent, sent);
        QCOMPARE(int(id.Verdict), verdict);
        QCOMPARE(id.UseChecksum, checksum);
        QCOMPARE(id.Message, message);
        QCOMPARE(id.Maker, maker);
        QCOMPARE(id.Decided(), message.isEmpty());
        if (id.Decided())
            QCOMPARE(id.FirmwareLevel, 2);
    }

    void leftoverFollowsTheProbeReply()
    {
        TScript script{{"!R2.05\rt1230\rt4"}, {}};
        const TModuleIdentity id = TModuleSession(script.Exchange()).Probe(115200, QStringLiteral("COM1"));
        QCOMPARE(id.Leftover(), QByteArray("t1230\rt4"));
    }

    void readSettings_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<int>("sentCount");
        QTest::addColumn<QString>("message");
        using L = QList<QByteArray>;
        const QByteArray p1 = "!P040" + QByteArray(23, '0') + "10000\r";
        QTest::newRow("both") << L{"!P0B30000\r", p1} << 2 << QString();
        QTest::newRow("no RS-232 reply: CAN not asked") << L{""} << 1 << "Get Module COM Setting Error!";
        QTest::newRow("short RS-232 reply") << L{"!P0B3\r"} << 1 << "Get Module COM Setting Error!";
        QTest::newRow("no CAN reply") << L{"!P0B30000\r", ""} << 2 << "Get Module CAN Setting Error!";
    }
    void readSettings()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(int, sentCount);
        QFETCH(QString, message);
        TScript script{replies, {}};
        TRS232Settings rs232;
        TCanSettings can;
        const TStepResult r = TModuleSession(script.Exchange()).ReadSettings(2, rs232, can);
        QCOMPARE(r.Ok, message.isEmpty());
        QCOMPARE(r.Message, message);
        QCOMPARE(script.sent.size(), sentCount);
        QCOMPARE(script.sent.first(), QByteArray("#P0\r"));
        if (r.Ok)
            QCOMPARE(rs232.BaudIndex, 11);
    }

    void writeDefaults_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<bool>("sendFails");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("verdict");
        using L = QList<QByteArray>;
        QTest::newRow("both confirmed") << L{"!P0\r", "!P1\r"} << false << true << "Setting OK!!!";
        QTest::newRow("RS-232 refused, CAN still sent") << L{"?\r", "!P1\r"} << false << false << "Setting Failed!!!";
        QTest::newRow("CAN confirmed as RS-232") << L{"!P0\r", "!P0\r"} << false << false << "Setting Failed!!!";
        QTest::newRow("nothing goes out") << L{} << true << false << "Setting Failed!!!";
    }
    void writeDefaults()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(bool, sendFails);
        QFETCH(bool, ok);
        QFETCH(QString, verdict);
        TScript script{replies, {}, sendFails};
        const TWriteResult r = TModuleSession(script.Exchange()).WriteDefaults(2);
        QCOMPARE(r.Ok(), ok);
        QCOMPARE(ModuleTexts::SettingVerdict(r.Ok()), verdict);
        // The command bytes themselves are pinned by the command builder's test.
        QCOMPARE(script.sent.size(), 2);
        QVERIFY(script.sent[0].startsWith("$P0090B30000"));
        QVERIFY(script.sent[1].startsWith("$P121040"));
        QCOMPARE(r.RS232.Sent, !sendFails);
        QCOMPARE(script.replies.size(), 0);
    }

    void incompleteWriteIsNotSent()
    {
        TScript script{{"!P1\r"}, {}};
        TRS232Write rs232;
        TCanWrite can;
        Profiles::DefaultWrites(2, rs232, can);
        rs232.Parity = -1; // a box without a selection
        const TWriteResult r = TModuleSession(script.Exchange()).WriteSettings(rs232, can, 2);
        QVERIFY(!r.RS232.Sent);
        QVERIFY(r.Can.Confirmed);
        QCOMPARE(script.sent.size(), 1);
    }
};

QTEST_APPLESS_MAIN(TestModuleSession)
#include "tst_modulesession.moc"
