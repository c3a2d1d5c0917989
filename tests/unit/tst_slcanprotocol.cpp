// The slcan adapter's protocol alone: commands in any split, each refusal's BEL with nothing
// sent, the bit-rate rule, the module's lines to the tool, and the bounded queue to the tool.

#include "bridge/SlcanProtocol.h"

#include <QTest>

namespace {

struct Harness {
    QList<QByteArray> sent;
    QStringList warnings;
    bool sendWorks = true;
    TSlcanProtocol protocol;

    explicit Harness(int32_t moduleRate = 500000)
        : protocol(TSlcanProtocol::TSetup{moduleRate, "0205", "0205",
                                          [this](const QByteArray &line) {
                                              if (sendWorks)
                                                  sent << line;
                                              return sendWorks;
                                          },
                                          [this](const QString &message) { warnings << message; }})
    {
    }
    // Everything queued for the tool, taken.
    QByteArray take()
    {
        const QByteArray out = protocol.Pending().toByteArray();
        protocol.Consumed(out.size());
        return out;
    }
};

QByteArray frameCommand(int i)
{
    return "t" + QByteArray::number(i % 0x800, 16).toUpper().rightJustified(3, '0') + "80011223344556677\r";
}

} // namespace

class TestSlcanProtocol : public QObject {
    Q_OBJECT

private slots:
    void commandsAnswered_data()
    {
        QTest::addColumn<int>("moduleRate");
        QTest::addColumn<bool>("sendWorks");
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<QList<QByteArray>>("sent"); // the composer's lines
        QTest::addColumn<int>("warnings");
        using L = QList<QByteArray>;
        const int k500 = 500000;
        QTest::newRow("standard data") << k500 << true << QByteArray("O\rt1232AABB\rC\r") << QByteArray("\rz\r\r") << L{"t1232AABB"} << 0;
        QTest::newRow("extended data, DLC 8") << k500 << true << QByteArray("O\rT1ABCDEF080011223344556677\r")
                                              << QByteArray("\rZ\r") << L{"e1ABCDEF080011223344556677"} << 0;
        QTest::newRow("standard remote") << k500 << true << QByteArray("O\rr7FF5\r") << QByteArray("\rz\r") << L{"T7FF5"} << 0;
        QTest::newRow("extended remote") << k500 << true << QByteArray("O\rR000001230\r") << QByteArray("\rZ\r") << L{"E000001230"} << 0;
        QTest::newRow("DLC 0") << k500 << true << QByteArray("O\rt1000\r") << QByteArray("\rz\r") << L{"t1000"} << 0;
        QTest::newRow("lower-case digits") << k500 << true << QByteArray("O\rt7ff1ab\r") << QByteArray("\rz\r") << L{"t7FF1AB"} << 0;
        QTest::newRow("closed: nothing sent") << k500 << true << QByteArray("t1230\r") << QByteArray("\a") << L{} << 0;
        QTest::newRow("listen-only: nothing sent") << k500 << true << QByteArray("L\rt1230\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("standard identifier over 7FF") << k500 << true << QByteArray("O\rt8001AA\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("extended identifier over 1FFFFFFF") << k500 << true << QByteArray("O\rT200000000\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("DLC 9") << k500 << true << QByteArray("O\rt1239001122334455667788\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("bad identifier digit") << k500 << true << QByteArray("O\rt12G0\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("bad data digit") << k500 << true << QByteArray("O\rt1231GG\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("fewer data than the DLC") << k500 << true << QByteArray("O\rt1232AA\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("more data than the DLC") << k500 << true << QByteArray("O\rt1231AABB\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("remote with data") << k500 << true << QByteArray("O\rr1231AA\r") << QByteArray("\r\a") << L{} << 0;
        QTest::newRow("over 64 bytes, then a good one")
            << k500 << true << QByteArray("O\rt123" + QByteArray(70, '0') + "\rt1230\r") << QByteArray("\r\az\r") << L{"t1230"} << 0;
        QTest::newRow("binary bytes") << k500 << true << QByteArray("\x00\xff\r", 3) << QByteArray("\a") << L{} << 0;
        QTest::newRow("the module does not take it")
            << k500 << false << QByteArray("O\rt1230\rF\rF\r") << QByteArray("\r\aF02\rF00\r") << L{} << 0;
        QTest::newRow("S6 at the module's rate") << k500 << true << QByteArray("C\rS6\rO\r") << QByteArray("\r\r\r") << L{} << 0;
        QTest::newRow("S4 at another rate") << k500 << true << QByteArray("S4\r") << QByteArray("\a") << L{} << 1;
        QTest::newRow("S9 is 83.3K") << 83333 << true << QByteArray("S9\r") << QByteArray("\r") << L{} << 0;
        QTest::newRow("S7 is 800K") << 800000 << true << QByteArray("S7\r") << QByteArray("\r") << L{} << 0;
        QTest::newRow("registers of 500K") << k500 << true << QByteArray("s001C\r") << QByteArray("\r") << L{} << 0;
        QTest::newRow("registers of 125K") << k500 << true << QByteArray("s031C\r") << QByteArray("\a") << L{} << 1;
        QTest::newRow("module's rate not known") << 0 << true << QByteArray("S6\r") << QByteArray("\a") << L{} << 1;
        QTest::newRow("no such rate code") << k500 << true << QByteArray("SA\rS\rS66\rs01\r") << QByteArray("\a\a\a\a") << L{} << 0;
        QTest::newRow("version, serial number") << k500 << true << QByteArray("V\rv\rN\r") << QByteArray("V0205\rv0205\rN0205\r") << L{} << 0;
        QTest::newRow("flags") << k500 << true << QByteArray("F\r") << QByteArray("F00\r") << L{} << 0;
        QTest::newRow("time stamps") << k500 << true << QByteArray("Z1\rZ0\rZ2\rZ\r") << QByteArray("\r\r\a\a") << L{} << 0;
        QTest::newRow("polling commands") << k500 << true << QByteArray("X1\rX0\rP\rA\r") << QByteArray("\r\r\rA\r") << L{} << 0;
        QTest::newRow("lone CR and CR LF") << k500 << true << QByteArray("\r\nO\r\nt1230\r\n") << QByteArray("\r\rz\r") << L{"t1230"} << 0;
        QTest::newRow("unknown commands") << k500 << true << QByteArray("Q\rM00000000\rO1\r") << QByteArray("\a\a\a") << L{} << 0;
    }
    // Whole, byte by byte and in uneven pieces: the same answers and the same lines.
    void commandsAnswered()
    {
        QFETCH(int, moduleRate);
        QFETCH(bool, sendWorks);
        QFETCH(QByteArray, commands);
        QFETCH(QByteArray, answers);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(int, warnings);
        for (const int piece : {0, 1, 2, 3, 7}) {
            Harness h(moduleRate);
            h.sendWorks = sendWorks;
            if (piece == 0)
                h.protocol.FeedCommands(commands);
            for (qsizetype at = 0; piece > 0 && at < commands.size(); at += piece)
                h.protocol.FeedCommands(QByteArrayView(commands).sliced(at, std::min<qsizetype>(piece, commands.size() - at)));
            QCOMPARE(h.take(), answers);
            QCOMPARE(h.sent, sent);
            QCOMPARE(h.warnings.size(), warnings);
        }
    }

    void frameToTool_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("stamps");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("toTool");
        QTest::addColumn<QString>("counted");
        QTest::newRow("standard data") << true << false << QByteArray("t123211AB") << QByteArray("t123211AB\r") << "toTool";
        QTest::newRow("standard remote") << true << false << QByteArray("T7FF5") << QByteArray("r7FF5\r") << "toTool";
        QTest::newRow("extended data") << true << false << QByteArray("e000001232A5FF") << QByteArray("T000001232A5FF\r") << "toTool";
        QTest::newRow("extended remote") << true << false << QByteArray("E000001238") << QByteArray("R000001238\r") << "toTool";
        QTest::newRow("DLC 0") << true << false << QByteArray("t0000") << QByteArray("t0000\r") << "toTool";
        QTest::newRow("right checksum") << true << false << QByteArray("t123211AB21") << QByteArray("t123211AB\r") << "toTool";
        QTest::newRow("wrong checksum") << true << false << QByteArray("t123211AB22") << QByteArray() << "badChecksum";
        QTest::newRow("reply") << true << false << QByteArray("!R2.05") << QByteArray() << "replies";
        QTest::newRow("refusal") << true << false << QByteArray("?") << QByteArray() << "replies";
        QTest::newRow("no frame") << true << false << QByteArray("hello") << QByteArray() << "other";
        QTest::newRow("closed") << false << false << QByteArray("t1230") << QByteArray() << "whileClosed";
        // 61.234567 s: 1234 ms into the minute.
        QTest::newRow("stamped") << true << true << QByteArray("t1230") << QByteArray("t123004D2\r") << "toTool";
    }
    void frameToTool()
    {
        QFETCH(bool, open);
        QFETCH(bool, stamps);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, toTool);
        QFETCH(QString, counted);
        Harness h;
        h.protocol.FeedCommands(QByteArray(open ? "O\r" : "") + (stamps ? "Z1\r" : ""));
        h.take();
        h.protocol.ModuleLine(line, 61234567);
        QCOMPARE(h.take(), toTool);
        const TSlcanCounts &c = h.protocol.Counts();
        const QMap<QString, int64_t> counts{{"toTool", c.toTool},     {"badChecksum", c.badChecksum},
                                            {"replies", c.replies},   {"other", c.other},
                                            {"whileClosed", c.whileClosed}};
        for (auto it = counts.begin(); it != counts.end(); ++it)
            QCOMPARE(it.value(), it.key() == counted ? 1 : 0);
    }

    // A tool that stops reading: the queue stops at its bound, the loss is counted, flagged in F
    // and said once; commands wait once even answers have no room; reading again is said too.
    void toolThatStopsReadingLosesFramesNotMemory()
    {
        Harness h;
        h.protocol.FeedCommands("O\r");
        for (int i = 0; i < 10000; ++i)
            h.protocol.ModuleLine(frameCommand(i).chopped(1), 0);
        QVERIFY(h.protocol.Pending().size() <= Slcan::FrameRoom);
        const TSlcanCounts &c = h.protocol.Counts();
        QVERIFY(c.dropped > 0);
        QCOMPARE(c.toTool + c.dropped, 10000);
        QCOMPARE(h.warnings.size(), 1);
        QVERIFY(h.protocol.AcceptsCommands());
        for (int i = 0; i < 20000 && h.protocol.AcceptsCommands(); ++i)
            h.protocol.FeedCommands("V\r");
        QVERIFY(!h.protocol.AcceptsCommands());
        QVERIFY(h.protocol.Pending().size() <= Slcan::FrameRoom + Slcan::AnswerSlack + 16);
        h.take();
        QCOMPARE(h.warnings.size(), 2);
        QVERIFY2(h.warnings[1].contains(QString::number(c.dropped)), qPrintable(h.warnings[1]));
        h.protocol.FeedCommands("F\rF\r");
        QCOMPARE(h.take(), QByteArray("F09\rF00\r"));
    }

    // A tool gone without C: the next one finds the channel closed, no stamps, no half command.
    void resetForgetsTheTool()
    {
        Harness h;
        h.protocol.FeedCommands("O\rZ1\rt12");
        h.protocol.Reset();
        QVERIFY(!h.protocol.IsOpen());
        h.protocol.FeedCommands("O\r");
        h.protocol.ModuleLine("t1230", 61234567);
        QCOMPARE(h.take(), QByteArray("\rt1230\r"));
    }
};

QTEST_APPLESS_MAIN(TestSlcanProtocol)
#include "tst_slcanprotocol.moc"
