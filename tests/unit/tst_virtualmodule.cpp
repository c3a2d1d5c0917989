// The virtual module's command set, stepped in-process on a virtual clock.

#include "CanBus.h"
#include "SimOptions.h"
#include "VirtualModule.h"
#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"
#include "protocol/Framing.h"

#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTest>

using namespace Sim;

namespace {

constexpr int32_t Fast = 115200;

SimOptions operationOptions()
{
    SimOptions o;
    o.mode = SimMode::Operation;
    return o;
}

// One line in, everything due at the same moment out.
QByteArray ask(VirtualModule &m, const QByteArray &line, uint64_t nowMs = 0, int32_t baud = Fast)
{
    m.receive(line + '\r', baud, nowMs);
    return m.takeOutput(nowMs);
}

QList<QByteArray> linesOf(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\r');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

SimOptions parsed(const QList<QByteArray> &args)
{
    SimOptions o;
    QString error;
    const ParseOutcome outcome = ParseSimOptions(args, o, error);
    if (outcome != ParseOutcome::Run)
        qWarning() << "options refused:" << error;
    return o;
}

// The source tree, from the test harness: the demo database lives there.
QString sourceDir()
{
    return qEnvironmentVariable("K3316_SOURCE_DIR");
}

} // namespace

class TestVirtualModule : public QObject {
    Q_OBJECT

private slots:
    void configurationModeIdentifiesTheModule()
    {
        VirtualModule m{SimOptions{}};
        QCOMPARE(ask(m, "#A"), QByteArray("!S2.05\r"));
        QCOMPARE(ask(m, "#PV"), QByteArray("!V2.05\r"));
        QCOMPARE(ask(m, "#PC"), QByteArray("!CTERAVOX\r"));
        QCOMPARE(ask(m, "#PM"), QByteArray("!MK-3316\r"));

        VirtualModule older{parsed({"--firmware", "1.10", "--maker", "ACME CO", "--model", "K-9"})};
        QCOMPARE(ask(older, "#A"), QByteArray("!S1.10\r"));
        QCOMPARE(older.firmwareLevel(), 1);
        QCOMPARE(ask(older, "#PC"), QByteArray("!CACME CO\r"));
        QCOMPARE(ask(older, "#PM"), QByteArray("!MK-9\r"));
    }

    void configurationModeRefusesEverythingElse()
    {
        VirtualModule m{SimOptions{}};
        for (const QByteArray line : {"#A64", "", "#a", "#P2", "t1230", "#A ", "\n#A", "#A\n"})
            QCOMPARE(ask(m, line), QByteArray("?\r"));
        // A line feed does not end a line: nothing is answered until the CR.
        m.receive("#A\n", Fast, 0);
        QVERIFY(m.takeOutput(0).isEmpty());
        m.receive("\r", Fast, 0);
        QCOMPARE(m.takeOutput(0), QByteArray("?\r"));
        QCOMPARE(m.receivedLines().last(), QByteArray("#A\n"));
    }

    void linesAreAssembledAcrossReads()
    {
        VirtualModule m{SimOptions{}};
        m.receive("#", Fast, 0);
        m.receive("P", Fast, 1);
        QVERIFY(m.takeOutput(1).isEmpty());
        m.receive("V\r#A\r#P", Fast, 2);
        QCOMPARE(m.takeOutput(2), QByteArray("!V2.05\r!S2.05\r"));
        QCOMPARE(m.receivedLines(), (QList<QByteArray>{"#PV", "#A"}));
    }

    void overlongLineIsRefusedOnceWithBoundedMemory()
    {
        VirtualModule m{SimOptions{}};
        m.receive(QByteArray(100000, 'x') + "\r#A\r", Fast, 0);
        QCOMPARE(m.takeOutput(0), QByteArray("?\r!S2.05\r"));
        QCOMPARE(m.receivedLineCount(), 2);
        QCOMPARE(m.receivedLines().first().size(), VirtualModule::MaxLineLength);
    }

    void rs232ReplyCarriesTheStoredIndexes()
    {
        VirtualModule m{SimOptions{}};
        QCOMPARE(ask(m, "#P0"), QByteArray("!P0B30000\r"));
        VirtualModule other{parsed({"--params-p0", "0A21211"})};
        const QByteArray reply = ask(other, "#P0");
        QCOMPARE(reply.size(), 10);
        QCOMPARE(reply.mid(2, 2), QByteArray("0A")); // positions 3-4: 57600
        QCOMPARE(reply[4], '2');                     // data bits "7"
        QCOMPARE(reply[5], '1');                     // stop bits "2"
        QCOMPARE(reply[6], '2');                     // parity "Even"
        QCOMPARE(reply.mid(7, 2), QByteArray("11")); // checksum, error response
    }

    void canReplyLayouts_data()
    {
        QTest::addColumn<QByteArray>("firmware");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("level 2, 2.0A defaults")
            << QByteArray("2.05") << QByteArray()
            << QByteArray("!P040" "00000000" "00000000" "00000001" "0000" "\r");
        QTest::newRow("level 2, 2.0B")
            << QByteArray("2.05") << QByteArray("19A" "1FFFFFFF" "0000ABCD" "1ABCDEF0" "1103")
            << QByteArray("!P19A" "1FFFFFFF" "0000ABCD" "1ABCDEF0" "1103" "\r");
        // 2.0A keeps only the value digits; the rest travels as zeros.
        QTest::newRow("level 2, 2.0A with values")
            << QByteArray("2.05") << QByteArray("051" "F7FF1234" "F1239999" "123457FF" "1014")
            << QByteArray("!P051" "07FF0000" "01230000" "000007FF" "1014" "\r");
        QTest::newRow("level 1 stops after the mask")
            << QByteArray("1.20") << QByteArray("19A" "1FFFFFFF" "0000ABCD" "1ABCDEF0" "1103")
            << QByteArray("!P19A" "1FFFFFFF" "0000ABCD" "\r");
        QTest::newRow("level 0, 2.0A")
            << QByteArray("0.90") << QByteArray() << QByteArray("!P040" "00000000" "00000000" "\r");
    }

    void canReplyLayouts()
    {
        QFETCH(QByteArray, firmware);
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, reply);
        QList<QByteArray> args{"--firmware", firmware};
        if (!block.isEmpty())
            args << "--params-p1" << block;
        VirtualModule m{parsed(args)};
        QCOMPARE(ask(m, "#P1"), reply);
    }

    void defaultsWritesAreAcceptedByteForByte()
    {
        VirtualModule level2{parsed({"--params-p0", "0721111", "--params-p1",
                                     "19A1FFFFFFF0000ABCD1ABCDEF01103"})};
        QCOMPARE(ask(level2, "$P0090B30000" "72"), QByteArray("!P0\r"));
        QCOMPARE(ask(level2, "$P121040" + QByteArray(23, '0') + "1" "0000" "DD"),
                 QByteArray("!P1\r"));
        QCOMPARE(level2.rs232(), RS232Params{});
        QCOMPARE(level2.can(), CanParams{});
        QCOMPARE(ask(level2, "#P0"), QByteArray("!P0B30000\r"));
        QCOMPARE(ask(level2, "#P1"), "!P040" + QByteArray(23, '0') + "10000\r");

        VirtualModule level1{parsed({"--firmware", "1.20", "--params-p1",
                                     "19A1FFFFFFF0000ABCD1ABCDEF01103"})};
        QCOMPARE(ask(level1, "$P115040" + QByteArray(16, '0') + "9F"), QByteArray("!P1\r"));
        QCOMPARE(ask(level1, "#P1"), "!P040" + QByteArray(16, '0') + "\r");
        // The short write leaves what it does not carry.
        QCOMPARE(level1.can().txId, QByteArray("1ABCDEF0"));
        QCOMPARE(level1.can().endOfCommand, 3);
    }

    void writtenSettingsAreReadBack()
    {
        VirtualModule m{SimOptions{}};
        const QByteArray rs232 = "$P009" "0A21211";
        QCOMPARE(ask(m, rs232 + Framing::AddChksum(rs232)), QByteArray("!P0\r"));
        QCOMPARE(ask(m, "#P0"), QByteArray("!P0A21211\r"));
        const QByteArray can = "$P121" "19A" "1FFFFFFF" "0000ABCD" "1ABCDEF0" "1103";
        QCOMPARE(ask(m, can + Framing::AddChksum(can)), QByteArray("!P1\r"));
        QCOMPARE(ask(m, "#P1"), QByteArray("!P19A1FFFFFFF0000ABCD1ABCDEF01103\r"));
        QCOMPARE(m.can().pairFlag, '1');
        QCOMPARE(m.can().frameFormat, 1);
    }

    void badWritesAreRefusedAndStoreNothing_data()
    {
        QTest::addColumn<QByteArray>("text"); // without checksum unless `sum` is false
        QTest::addColumn<bool>("sum");
        const QByteArray can = "$P121040" + QByteArray(23, '0') + "10000";
        QTest::newRow("rs232 short") << QByteArray("$P0090B3000") << true;
        QTest::newRow("rs232 long") << QByteArray("$P0090B300000") << true;
        QTest::newRow("rs232 length digits") << QByteArray("$P0080B30000") << true;
        QTest::newRow("rs232 bad checksum") << QByteArray("$P0090B3000073") << false;
        QTest::newRow("rs232 lower-case checksum") << QByteArray("$P0090B30000" "7a") << false;
        QTest::newRow("rs232 no checksum") << QByteArray("$P0090B30000") << false;
        QTest::newRow("baud index 12") << QByteArray("$P0090C30000") << true;
        QTest::newRow("data bits 4") << QByteArray("$P0090B40000") << true;
        QTest::newRow("stop bits 2") << QByteArray("$P0090B32000") << true;
        QTest::newRow("parity 3") << QByteArray("$P0090B30300") << true;
        QTest::newRow("checksum flag 2") << QByteArray("$P0090B30020") << true;
        QTest::newRow("respond flag 2") << QByteArray("$P0090B30002") << true;
        QTest::newRow("lower-case baud") << QByteArray("$P0090b30000") << true;
        QTest::newRow("can bad checksum") << QByteArray(can + "DE") << false;
        QTest::newRow("can short") << can.chopped(1) << true;
        QTest::newRow("frame format 2") << QByteArray("$P121240" + QByteArray(23, '0') + "10000") << true;
        QTest::newRow("can baud 10") << QByteArray("$P1210A0" + QByteArray(23, '0') + "10000") << true;
        QTest::newRow("code not hex") << QByteArray("$P121040G" + QByteArray(22, '0') + "10000") << true;
        QTest::newRow("pair flag 2") << QByteArray("$P121040" + QByteArray(23, '0') + "12000") << true;
        QTest::newRow("end of command 5") << QByteArray("$P121040" + QByteArray(23, '0') + "10005") << true;
        QTest::newRow("short form at level 2") << QByteArray("$P115040" + QByteArray(16, '0')) << true;
    }

    void badWritesAreRefusedAndStoreNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, sum);
        SimOptions o = parsed({"--params-p0", "0721111"});
        o.can.pairFlag = '1';
        VirtualModule m{o};
        QCOMPARE(ask(m, sum ? text + Framing::AddChksum(text) : text), QByteArray("?\r"));
        QCOMPARE(m.rs232(), o.rs232);
        QCOMPARE(m.can(), o.can);
    }

    void levelOneRefusesTheLongCanWrite()
    {
        VirtualModule m{parsed({"--firmware", "1.20"})};
        const QByteArray can = "$P121040" + QByteArray(23, '0') + "10000";
        QCOMPARE(ask(m, can + "DD"), QByteArray("?\r"));
    }

    void operationModeProbe()
    {
        VirtualModule plain{operationOptions()};
        QCOMPARE(ask(plain, "#A"), QByteArray("!R2.05\r"));
        // Without checksums "#A64" is an unknown line: silence, or "?" with error responses.
        QVERIFY(ask(plain, "#A64").isEmpty());
        QVERIFY(ask(plain, "#PV").isEmpty());
        VirtualModule answering{parsed({"--mode", "operation", "--error-response"})};
        QCOMPARE(ask(answering, "#A64"), QByteArray("?\r"));
        QCOMPARE(ask(answering, "$P0090B30000" "72"), QByteArray("?\r"));
    }

    void checksummedOperation()
    {
        VirtualModule quiet{parsed({"--mode", "operation", "--checksum"})};
        QVERIFY(ask(quiet, "#A").isEmpty());
        QCOMPARE(ask(quiet, "#A64"), QByteArray("!R2.0538\r"));
        QVERIFY(ask(quiet, "t123211AB").isEmpty());   // no checksum: refused silently
        QVERIFY(ask(quiet, "t123211AB21").isEmpty()); // accepted silently
        QCOMPARE(quiet.busMessageCount(), 1);

        VirtualModule loud{parsed({"--mode", "operation", "--checksum", "--error-response", "--echo"})};
        QCOMPARE(ask(loud, "#A"), QByteArray("?3F\r"));
        QCOMPARE(ask(loud, "t123211AB22"), QByteArray("?3F\r"));
        QCOMPARE(ask(loud, "t123211AB21"), QByteArray("t123211AB21\r"));
        QCOMPARE(ask(loud, "E00000123803"), QByteArray("E00000123803\r"));
        QCOMPARE(ask(loud, "t123211ab21"), QByteArray("?3F\r")); // digits are part of the sum
        QCOMPARE(loud.busMessageCount(), 2);
    }

    void messageLinesAreCheckedBeforeTheBus_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("good");
        QTest::newRow("t with data") << QByteArray("t123211AB") << true;
        QTest::newRow("T remote") << QByteArray("T7FF0") << true;
        QTest::newRow("e with data") << QByteArray("e000001232A5FF") << true;
        QTest::newRow("E remote with DLC") << QByteArray("E000001238") << true;
        QTest::newRow("t no data") << QByteArray("t1230") << true;
        QTest::newRow("lower-case hex") << QByteArray("t7ff2a0ff") << true;
        QTest::newRow("eight bytes") << QByteArray("e1FFFFFFF81122334455667788") << true;
        QTest::newRow("11-bit id too big") << QByteArray("t8000") << false;
        QTest::newRow("29-bit id too big") << QByteArray("e200000000") << false;
        QTest::newRow("data missing") << QByteArray("t12321") << false;
        QTest::newRow("data extra") << QByteArray("t123211AB00") << false;
        QTest::newRow("DLC 9") << QByteArray("t1239") << false;
        QTest::newRow("remote with data") << QByteArray("T7FF1AA") << false;
        QTest::newRow("remote without DLC") << QByteArray("T123") << false;
        QTest::newRow("unknown kind") << QByteArray("x1230") << false;
        QTest::newRow("short id") << QByteArray("t12") << false;
        QTest::newRow("bad id digit") << QByteArray("tG230") << false;
        QTest::newRow("bad data digit") << QByteArray("t1231G0") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void messageLinesAreCheckedBeforeTheBus()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, good);
        QCOMPARE(IsWellFormedMessage(line), good);
        VirtualModule m{parsed({"--mode", "operation", "--echo", "--error-response"})};
        QCOMPARE(ask(m, line), good ? line + '\r' : QByteArray("?\r"));
        QCOMPARE(m.busMessageCount(), good ? 1 : 0);
    }

    void trafficFollowsTheVirtualClock()
    {
        VirtualModule m{parsed({"--mode", "operation", "--traffic", "10", "--traffic-count", "25"})};
        // The node waits for the probe.
        QVERIFY(m.takeOutput(5000).isEmpty());
        QCOMPARE(m.nextDueMs(), VirtualModule::NeverDue);
        QCOMPARE(ask(m, "#A", 10000), QByteArray("!R2.05\r"));
        QCOMPARE(m.nextDueMs(), uint64_t(10100));
        QVERIFY(m.takeOutput(10099).isEmpty());

        const QList<QByteArray> first = linesOf(m.takeOutput(11000));
        QCOMPARE(first.size(), 10);
        for (const QByteArray &line : first)
            QVERIFY2(IsWellFormedMessage(line), line.constData());
        QCOMPARE(linesOf(m.takeOutput(11999)).size(), 9);
        QCOMPARE(linesOf(m.takeOutput(99999)).size(), 6); // the count ends it at 25
        QCOMPARE(m.trafficLinesSent(), 25);
        QCOMPARE(m.nextDueMs(), VirtualModule::NeverDue);
    }

    void trafficCanWaitAfterTheProbe()
    {
        // A fast node must not run into the probe's reply when asked to wait.
        VirtualModule m{parsed({"--mode", "operation", "--traffic", "max", "--traffic-after", "50"})};
        QCOMPARE(ask(m, "#A", 1000), QByteArray("!R2.05\r"));
        QCOMPARE(m.nextDueMs(), uint64_t(1050));
        QVERIFY(m.takeOutput(1049).isEmpty());
        QCOMPARE(linesOf(m.takeOutput(1050)).size(), VirtualModule::TrafficBatch);
    }

    void trafficIsVariedAndRepeatable()
    {
        const QList<QByteArray> args{"--mode", "operation", "--traffic", "max", "--traffic-now"};
        VirtualModule a{parsed(args)};
        VirtualModule b{parsed(args)};
        VirtualModule c{parsed(args + QList<QByteArray>{"--seed", "7"})};
        QCOMPARE(a.nextDueMs(), uint64_t(0));
        const QByteArray batch = a.takeOutput(0);
        QCOMPARE(linesOf(batch).size(), VirtualModule::TrafficBatch);
        QCOMPARE(b.takeOutput(0), batch);
        QVERIFY(c.takeOutput(0) != batch);

        QSet<char> kinds;
        QSet<qsizetype> lengths;
        for (const QByteArray &line : linesOf(batch)) {
            QVERIFY2(IsWellFormedMessage(line), line.constData());
            kinds.insert(line[0]);
            lengths.insert(line.size());
        }
        QCOMPARE(kinds.size(), 4);
        QVERIFY(lengths.size() >= 10);
    }

    void trafficCarriesChecksumsWhenTheyAreOn()
    {
        VirtualModule m{parsed({"--mode", "operation", "--checksum", "--traffic", "max",
                                "--traffic-now", "--traffic-count", "20"})};
        const QList<QByteArray> lines = linesOf(m.takeOutput(0));
        QCOMPARE(lines.size(), 20);
        for (const QByteArray &line : lines) {
            QVERIFY(Framing::Chksum(line + '\r'));
            QVERIFY(IsWellFormedMessage(line.chopped(2)));
        }
    }

    // The demo bus keeps fixed identifiers and periods on the virtual clock, and only starts
    // once the probe has been answered.
    void demoBusSendsItsMessagesAtTheirPeriods()
    {
        VirtualModule m{parsed({"--demo"})};
        QCOMPARE(m.nextDueMs(), VirtualModule::NeverDue);
        QCOMPARE(ask(m, "#A", 1000), QByteArray("!R2.05\r"));
        QCOMPARE(m.nextDueMs(), uint64_t(1020));
        QHash<QByteArray, int> counts;
        for (const QByteArray &line : linesOf(m.takeOutput(2000))) {
            QVERIFY2(IsWellFormedMessage(line), line.constData());
            counts[line.left(line[0] == 'e' ? 9 : 4)]++;
        }
        const QHash<QByteArray, int> expected{
            {"t100", 50}, {"t200", 20}, {"t300", 10}, {"e18FF1021", 10}, {"t7A0", 1}};
        QCOMPARE(counts, expected);
        QCOMPARE(m.nextDueMs(), uint64_t(2020));
    }

    // Every demo line decodes with examples/demo.dbc to values inside the signals' ranges, the
    // values move slowly, and python3-canmatrix reads the same values from the same file.
    void demoBusMatchesItsDatabase()
    {
        QVERIFY2(!sourceDir().isEmpty(), "K3316_SOURCE_DIR is not set (run through ctest)");
        TDbcDatabase db;
        QString error;
        QVERIFY2(db.LoadFile(sourceDir() + "/examples/demo.dbc", error), qPrintable(error));
        VirtualModule m{parsed({"--demo", "--traffic-now"})};
        // Five minutes of bus time, a second at a time, so no batch limit is reached.
        QList<QByteArray> lines;
        for (uint64_t t = 1000; t <= 300000; t += 1000)
            lines += linesOf(m.takeOutput(t));
        QCOMPARE(lines.size(), 300 * 91);

        QHash<QString, double> low, high, last, largestStep;
        QSet<QString> messagesSeen;
        QByteArray sample;
        int sampled = 0;
        for (const QByteArray &line : lines) {
            const bool extended = line[0] == 'e';
            const int digits = extended ? 8 : 3;
            const uint id = line.mid(1, digits).toUInt(nullptr, 16);
            const QByteArray data = QByteArray::fromHex(line.mid(2 + digits));
            const TDbcMessage *message = db.Find(id, extended);
            QVERIFY2(message, line.constData());
            QCOMPARE(int(data.size()), message->Dlc);
            messagesSeen.insert(message->Name);
            const auto decoded = DecodeSignals(*message, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size()));
            QCOMPARE(decoded.size(), message->Signals.size());
            for (const TDecodedSignal &d : decoded) {
                const QString name = d.Signal->Name;
                QVERIFY2(d.Value >= d.Signal->Minimum && d.Value <= d.Signal->Maximum,
                         qPrintable(QStringLiteral("%1 = %2").arg(name).arg(d.Value)));
                if (last.contains(name))
                    largestStep[name] = qMax(largestStep.value(name), qAbs(d.Value - last[name]));
                last[name] = d.Value;
                low[name] = low.contains(name) ? qMin(low[name], d.Value) : d.Value;
                high[name] = high.contains(name) ? qMax(high[name], d.Value) : d.Value;
            }
            if (++sampled % 97 == 0)
                sample += QByteArray::number(id | (extended ? 0x80000000u : 0u)) + ' ' + data.toHex() + '\n';
        }
        QCOMPARE(messagesSeen.size(), db.Messages().size());
        // Slowly changing: a plot shows curves, not noise.
        QVERIFY(high["EngineSpeed"] - low["EngineSpeed"] > 2000);
        QVERIFY(largestStep["EngineSpeed"] < 10);
        QVERIFY(high["Speed"] > 119 && low["Speed"] < 1);
        QVERIFY(largestStep["Speed"] < 1);
        QVERIFY(high["CoolantTemp"] - low["CoolantTemp"] > 40);
        QVERIFY(low["BatteryCurrent"] < 0 && high["BatteryCurrent"] > 0);
        QCOMPARE(high["AliveCounter"], 255.0);
        QCOMPARE(high["Lights"], 3.0);

        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {sourceDir() + "/tests/support/dbc_canmatrix.py", sourceDir() + "/examples/demo.dbc"});
        QVERIFY(python.waitForStarted());
        python.write(sample);
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        int compared = 0;
        for (const QByteArray &out : python.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = out.split(' ');
            if (parts.size() != 4)
                continue;
            const uint rawId = parts[0].toUInt();
            const TDbcMessage *message = db.Find(rawId & 0x7FFFFFFFu, rawId & 0x80000000u);
            QVERIFY(message);
            const QByteArray data = QByteArray::fromHex(parts[1]);
            bool found = false;
            for (const TDecodedSignal &d : DecodeSignals(*message, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size())))
                if (d.Signal->Name == QString::fromUtf8(parts[2])) {
                    QVERIFY2(qAbs(d.Value - parts[3].toDouble()) <= 1e-9 * qMax(1.0, qAbs(d.Value)), out.constData());
                    found = true;
                }
            QVERIFY2(found, out.constData());
            ++compared;
        }
        QVERIFY(compared >= 3 * lines.size() / 97);
    }

    void configurationModeHasNoBus()
    {
        VirtualModule m{parsed({"--traffic", "max", "--traffic-now", "--echo"})};
        QCOMPARE(m.nextDueMs(), VirtualModule::NeverDue);
        QCOMPARE(ask(m, "t1230"), QByteArray("?\r"));
    }

    void delayedAnswersKeepTheirOrder()
    {
        VirtualModule m{parsed({"--delay", "300"})};
        m.receive("#A\r", Fast, 1000);
        m.receive("#PV\r", Fast, 1100);
        QCOMPARE(m.nextDueMs(), uint64_t(1300));
        QVERIFY(m.takeOutput(1299).isEmpty());
        QCOMPARE(m.takeOutput(1300), QByteArray("!S2.05\r"));
        QCOMPARE(m.nextDueMs(), uint64_t(1400));
        QCOMPARE(m.takeOutput(5000), QByteArray("!V2.05\r"));
        QCOMPARE(m.nextDueMs(), VirtualModule::NeverDue);
    }

    void silentModuleNeverAnswers()
    {
        VirtualModule m{parsed({"--silent"})};
        for (const QByteArray line : {"#A", "#P0", "$P0090B30000" "72", "junk"})
            QVERIFY(ask(m, line).isEmpty());
        QCOMPARE(m.nextDueMs(), VirtualModule::NeverDue);
        QCOMPARE(m.receivedLineCount(), 4);
        VirtualModule op{parsed({"--mode", "operation", "--silent", "--echo", "--error-response"})};
        QVERIFY(ask(op, "#A").isEmpty());
        QVERIFY(ask(op, "t1230").isEmpty());
        QVERIFY(ask(op, "bad").isEmpty());
    }

    void mismatchedSpeedGarblesWhatIsSent()
    {
        VirtualModule config{SimOptions{}};
        const QByteArray garbage = ask(config, "#A", 0, 9600);
        QCOMPARE(garbage, QByteArray("\xF8\xF8\x80\x80\x80\xF8")); // "!S2.05", no CR
        QCOMPARE(ask(config, "#A", 0, 0), QByteArray("!S2.05\r"));  // unknown speed: clean

        VirtualModule op{parsed({"--mode", "operation", "--baud", "9600"})};
        QCOMPARE(op.moduleBaud(), 9600);
        QCOMPARE(ask(op, "#A", 0, 9600), QByteArray("!R2.05\r"));
        const QByteArray wrong = ask(op, "#A", 0, Fast);
        QCOMPARE(wrong.size(), 6);
        QVERIFY(!wrong.contains('\r'));

        // The speed when the bytes leave counts, not when the line came.
        VirtualModule late{parsed({"--delay", "50"})};
        late.receive("#A\r", Fast, 0);
        late.setLineBaud(57600);
        QCOMPARE(late.takeOutput(50).size(), 6);
    }

    void busNoiseLengthensEveryReply()
    {
        for (const SimMode mode : {SimMode::Configuration, SimMode::Operation}) {
            SimOptions o;
            o.mode = mode;
            o.busNoise = true;
            VirtualModule m{o};
            const QByteArray probe = mode == SimMode::Configuration ? "!S2.05\r" : "!R2.05\r";
            const QByteArray reply = ask(m, "#A");
            QVERIFY(reply.size() > 10);
            QVERIFY(reply.endsWith(probe));
            const QList<QByteArray> lines = linesOf(reply);
            QCOMPARE(lines.size(), 2);
            QVERIFY(IsWellFormedMessage(lines.first()));
            QVERIFY(lines.first().size() > 10); // also when a reader stops at the first CR
        }
    }

    void replyOverridesReplaceTheAnswer()
    {
        VirtualModule m{parsed({"--reply-p1", "!P04\\r", "--reply", "#A=", "--reply",
                                "$P0=\\x80?", "--reply-p0", "!P0B"})};
        QCOMPARE(ask(m, "#P1"), QByteArray("!P04\r"));
        QCOMPARE(ask(m, "#P0"), QByteArray("!P0B"));
        QVERIFY(ask(m, "#A").isEmpty());
        // The write still takes effect; only its answer is replaced.
        QCOMPARE(ask(m, "$P009" "0721111" + Framing::AddChksum("$P0090721111")), QByteArray("\x80?"));
        QCOMPARE(m.rs232().baudIndex, 7);
        QCOMPARE(ask(m, "#PV"), QByteArray("!V2.05\r"));
    }

    void optionsParse()
    {
        SimOptions o;
        QString error;
        QCOMPARE(ParseSimOptions({"--checksum", "--baud=9600", "--params-p0", "0B30000",
                                  "--traffic", "max", "--delay", "20", "--link", "/tmp/x"},
                                 o, error),
                 ParseOutcome::Run);
        // Single settings win over the block whatever their order.
        QCOMPARE(o.rs232.baudIndex, 7);
        QCOMPARE(o.rs232.checksum, 1);
        QCOMPARE(o.trafficRate, TrafficMax);
        QCOMPARE(o.delayMs, 20);
        QCOMPARE(o.link, QString("/tmp/x"));

        const QList<QList<QByteArray>> bad{
            {"--bogus"}, {"--mode", "run"}, {"--baud", "1234"}, {"--params-p0", "0C30000"},
            {"--params-p1", "123"}, {"--delay"}, {"--delay", "-1"}, {"--traffic", "lots"},
            {"--traffic", "10000001"}, {"--traffic-after", "-5"},
            {"--demo", "--mode", "config"}, {"--demo", "--traffic", "10"},
            {"--reply", "noequals"}, {"--reply-p0", "\\q"}, {"--firmware", ""}, {"--echo=1"},
            {"stray"}};
        for (const QList<QByteArray> &args : bad) {
            SimOptions ignored;
            QCOMPARE(ParseSimOptions(args, ignored, error), ParseOutcome::Error);
            QVERIFY(!error.isEmpty());
        }
        QCOMPARE(ParseSimOptions({"--silent", "--help"}, o, error), ParseOutcome::Help);
        SimOptions demo;
        QCOMPARE(ParseSimOptions({"--demo", "--baud", "9600"}, demo, error), ParseOutcome::Run);
        QVERIFY(demo.demo);
        QCOMPARE(demo.mode, SimMode::Operation);
        QCOMPARE(demo.rs232.baudIndex, 7);
    }

    void escapesRoundTrip()
    {
        QByteArray bytes;
        QVERIFY(DecodeEscapes("a\\r\\n\\t\\\\\\x00\\xfF", bytes));
        QCOMPARE(bytes, QByteArray("a\r\n\t\\\0\xFF", 7));
        QCOMPARE(EscapeBytes(bytes), QByteArray("a\\x0D\\x0A\\x09\\\\\\x00\\xFF"));
        QVERIFY(!DecodeEscapes("\\x4", bytes));
        QVERIFY(!DecodeEscapes("end\\", bytes));
    }
};

QTEST_APPLESS_MAIN(TestVirtualModule)
#include "tst_virtualmodule.moc"
