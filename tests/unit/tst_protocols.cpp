// ISO-TP/UDS, J1939 and CANopen read from frame sequences: each row is a conversation as it
// appears on the bus and what must come out of it (the text of its last frame, its transfers).

#include "protocols/CanOpen.h"
#include "protocols/IsoTp.h"
#include "protocols/J1939.h"
#include "protocols/ProtocolJson.h"
#include "protocols/Uds.h"
#include "fuzz/ProtocolsDriver.h"
#include "support/BusConversations.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

struct TRun {
    QStringList texts;
    QList<TTransfer> transfers;
};

TRun run(TProtocol protocol, const QString &sequence, bool flushAtEnd = true)
{
    TRun r;
    auto decoder = MakeProtocolDecoder(protocol);
    for (const TBusFrame &f : ParseBusFrames(sequence))
        r.texts << decoder->Feed(f, r.transfers);
    if (flushAtEnd)
        decoder->Flush(-1, r.transfers);
    return r;
}

QStringList summaries(const QList<TTransfer> &transfers)
{
    QStringList list;
    for (const TTransfer &t : transfers)
        list << (t.Fault.isEmpty() ? t.Meaning : t.Meaning + QStringLiteral(" | ") + t.Fault);
    return list;
}

} // namespace

class TestProtocols : public QObject {
    Q_OBJECT

private slots:
    void conversations_data();
    void conversations();
    void udsAnswerTime();
    void jsonCarriesTheFields();
    void anyOrderNeverCrashes();
};

void TestProtocols::conversations_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QString>("lastText"); // the last frame's text
    const QString any; // the last frame's text is not looked at
    QTest::addColumn<QStringList>("transfers");

    const int uds = int(TProtocol::IsoTpUds), j1939 = int(TProtocol::J1939), canopen = int(TProtocol::CanOpen);
    const QString vin = QStringLiteral("\"WVWZZZ1JZXW000001\"");
    // ISO-TP and UDS
    QTest::newRow("single frame request") << uds << "0 7E0#0322F190" << "UDS ReadDataByIdentifier F190 (VIN)"
                                          << QStringList{"UDS ReadDataByIdentifier F190 (VIN)"};
    QTest::newRow("VIN in three frames with flow control")
        << uds
        << "0 7E0#0322F190\n5 7E8#101462F190575657\n6 7E0#3000000000000000\n7 7E8#215A5A5A314A5A58\n8 7E8#22573030303030\n"
           "9 7E8#2331"
        << any
        << QStringList{"UDS ReadDataByIdentifier F190 (VIN)", "UDS ReadDataByIdentifier response F190 (VIN) = " + vin};
    QTest::newRow("negative response named") << uds << "0 7E0#023101\n1 7E8#037F3131" << "UDS negative response RoutineControl NRC 31 requestOutOfRange"
                                             << QStringList{"UDS RoutineControl startRoutine", "UDS negative response RoutineControl NRC 31 requestOutOfRange"};
    QTest::newRow("response pending then the answer")
        << uds << "0 7E0#021003\n1 7E8#037F1078\n60 7E8#065003003201F4" << any
        << QStringList{"UDS DiagnosticSessionControl extendedDiagnosticSession",
                       "UDS negative response DiagnosticSessionControl NRC 78 requestCorrectlyReceivedResponsePending",
                       "UDS DiagnosticSessionControl response extendedDiagnosticSession 00 32 01 F4"};
    QTest::newRow("DTCs with status") << uds << "0 7E0#031902FF\n1 7E8#075902FF03010009"
                                      << any << QStringList{"UDS ReadDTCInformation reportDTCByStatusMask FF",
                                                           "UDS ReadDTCInformation response reportDTCByStatusMask P0301-00 status 09 [testFailed,confirmedDTC]"};
    QTest::newRow("tester present, no response wanted") << uds << "0 7DF#023E80" << "UDS TesterPresent zeroSubFunction (no response wanted)"
                                                        << QStringList{"UDS TesterPresent zeroSubFunction (no response wanted)"};
    QTest::newRow("OBD-II engine speed") << uds << "0 7DF#02010C\n1 7E8#04410C1AF8" << "OBD-II service 01 response engine speed 1726 rpm"
                                         << QStringList{"OBD-II service 01 engine speed", "OBD-II service 01 response engine speed 1726 rpm"};
    QTest::newRow("OBD-II coolant") << uds << "0 7E8#03410578" << "OBD-II service 01 response coolant temperature 80 degC"
                                    << QStringList{"OBD-II service 01 response coolant temperature 80 degC"};
    QTest::newRow("29-bit normal fixed addressing") << uds << "0 18DA10F1#0322F190\n1 18DAF110#037F2231" << any
                                                    << QStringList{"UDS ReadDataByIdentifier F190 (VIN)",
                                                                   "UDS negative response ReadDataByIdentifier NRC 31 requestOutOfRange"};
    QTest::newRow("wrong sequence number")
        << uds << "0 7E8#101462F190575657\n1 7E0#3000000000000000\n2 7E8#215A5A5A314A5A58\n3 7E8#23573030303030" << any
        << QStringList{"incomplete: 13 of 20 bytes | wrong sequence number 3, expected 2 (a frame is missing)"};
    QTest::newRow("consecutive frame without a first") << uds << "0 7E8#2131323334353637" << "ISO-TP consecutive frame 1, unexpected"
                                                       << QStringList{" | unexpected consecutive frame 1: no first frame"};
    QTest::newRow("no flow control: N_Bs") << uds << "0 7E8#101462F190575657\n1500 7E0#023E00" << any
                                           << QStringList{"incomplete: 6 of 20 bytes | N_Bs timeout: no flow control within 1000 ms",
                                                          "UDS TesterPresent zeroSubFunction"};
    QTest::newRow("stalled consecutive frames: N_Cr")
        << uds << "0 7E8#101462F190575657\n1 7E0#3000000000000000\n2 7E8#215A5A5A314A5A58\n1100 7E0#023E00" << any
        << QStringList{"incomplete: 13 of 20 bytes | N_Cr timeout: no consecutive frame within 1000 ms",
                       "UDS TesterPresent zeroSubFunction"};
    QTest::newRow("overflow refused") << uds << "0 7E8#101462F190575657\n1 7E0#3200000000000000"
                                      << "ISO-TP flow control OVFLW, block size 0, STmin 0 ms"
                                      << QStringList{"incomplete: 6 of 20 bytes | the receiver refused the message (flow control OVFLW)"};
    QTest::newRow("length beyond 4095") << uds << "0 7E8#1000000020000000" << "ISO-TP first frame: length 8192 beyond 4095"
                                        << QStringList{};
    QTest::newRow("wait then block size 1, STmin in microseconds")
        << uds
        << "0 7E8#101062F190414243\n1 7E0#3100000000000000\n500 7E0#300101F100000000\n501 7E8#214445464748494A\n502 7E0#300101F100000000\n503 7E8#224B4C4D"
        << any
        << QStringList{"UDS ReadDataByIdentifier response F190 (VIN) = \"ABCDEFGHIJKLM\""};
    QTest::newRow("cut short at the log's end") << uds << "0 7E8#101462F190575657\n1 7E0#3000000000000000" << any
                                                << QStringList{"incomplete: 6 of 20 bytes | the log ended with 6 of 20 bytes"};
    QTest::newRow("other identifiers ignored") << uds << "0 123#0322F190" << "" << QStringList{};
    // J1939
    QTest::newRow("EEC1") << j1939 << "0 0CF00400#FFFFFF6812FFFFFF" << "J1939 PGN 61444 EEC1 SA 00 P3" << QStringList{};
    QTest::newRow("request PDU1 with destination") << j1939 << "0 18EA00F9#00EE00" << "J1939 PGN 59904 Request SA F9 DA 00 P6: request for PGN 60928 Address Claimed"
                                                   << QStringList{};
    QTest::newRow("DM1 by BAM")
        << j1939 << "0 1CECFF00#20140003FFCAFE00\n50 1CEBFF00#0104FF6E0005011E\n100 1CEBFF00#02000E01D0070301\n150 1CEBFF00#03FFFFFFFFFFFFFF"
        << "J1939 PGN 60160 TP.DT SA 00 DA FF P7: TP.DT 3, last of PGN 65226 DM1"
        << QStringList{"J1939 PGN 65226 DM1 SA 00 (BAM), 20 bytes: lamps amber warning; SPN 110 FMI 5 OC 1; SPN 30 FMI 14 OC 1; SPN 2000 FMI 3 OC 1"};
    QTest::newRow("RTS/CTS with EndOfMsgAck")
        << j1939 << "0 1CEC0F00#10090002FFECFE00\n1 1CEC000F#110201FFFFECFE00\n2 1CEB0F00#0141424344454647\n3 1CEB0F00#0248FFFFFFFFFFFF\n4 1CEC000F#13090002FFECFE00"
        << "J1939 PGN 60416 TP.CM SA 0F DA 00 P7: TP.CM EndOfMsgAck 9 bytes of PGN 65260 VI"
        << QStringList{"J1939 PGN 65260 VI SA 00 DA 0F, 9 bytes"};
    QTest::newRow("abort with reason") << j1939 << "0 1CEC0F00#10090002FFECFE00\n1 1CEC000F#FF03FFFFFFECFE00"
                                       << "J1939 PGN 60416 TP.CM SA 0F DA 00 P7: TP.CM Abort of PGN 65260 VI: a timeout occurred"
                                       << QStringList{"J1939 PGN 65260 VI SA 00 DA 0F, 9 bytes | aborted: a timeout occurred"};
    QTest::newRow("bad sequence") << j1939 << "0 1CECFF00#20140003FFCAFE00\n1 1CEBFF00#0204FF6E0005011E" << any
                                  << QStringList{"J1939 PGN 65226 DM1 SA 00 (BAM), 20 bytes | bad sequence number 2, expected 1"};
    QTest::newRow("BAM timeout") << j1939 << "0 1CECFF00#20140003FFCAFE00\n1 1CEBFF00#0104FF6E0005011E\n2000 0CF00400#FFFFFF6812FFFFFF" << any
                                 << QStringList{"J1939 PGN 65226 DM1 SA 00 (BAM), 20 bytes | timeout: no TP.DT within 1250 ms"};
    QTest::newRow("standard frames ignored") << j1939 << "0 123#00" << "" << QStringList{};
    // CANopen
    QTest::newRow("NMT start all") << canopen << "0 000#0100" << "CANopen NMT start all nodes" << QStringList{};
    QTest::newRow("heartbeat operational") << canopen << "0 705#05" << "CANopen heartbeat operational (node 5)" << QStringList{};
    QTest::newRow("boot-up") << canopen << "0 705#00" << "CANopen boot-up (node 5)" << QStringList{};
    QTest::newRow("SYNC") << canopen << "0 080#" << "CANopen SYNC" << QStringList{};
    QTest::newRow("EMCY temperature") << canopen << "0 085#1042090000000000" << "CANopen EMCY 4210 temperature, register generic,temperature, data 00 00 00 00 00 (node 5)"
                                      << QStringList{};
    QTest::newRow("TPDO1") << canopen << "0 185#0102" << "CANopen TPDO1 01 02 (node 5)" << QStringList{};
    QTest::newRow("expedited upload") << canopen << "0 605#4018100100000000\n1 585#4318100178563412"
                                      << "CANopen SDO upload 1018:01 = 0x12345678 (node 5)"
                                      << QStringList{"CANopen SDO upload 1018:01 = 0x12345678 (node 5)"};
    QTest::newRow("segmented upload of the device name")
        << canopen
        << "0 605#4008100000000000\n1 585#410810000B000000\n2 605#6000000000000000\n3 585#004B2D333331362D\n4 605#7000000000000000\n5 585#1753494D31000000"
        << "CANopen SDO upload segment, last: 1008:00 = \"K-3316-SIM1\" (node 5)"
        << QStringList{"CANopen SDO upload 1008:00 = \"K-3316-SIM1\" (node 5)"};
    QTest::newRow("expedited download confirmed") << canopen << "0 605#2F00180205000000\n1 585#6000180200000000" << "CANopen SDO download 1800:02 confirmed (node 5)"
                                                  << QStringList{"CANopen SDO download 1800:02 = 0x05 (node 5)"};
    QTest::newRow("abort named") << canopen << "0 605#4000200000000000\n1 585#8000200000000206"
                                 << "CANopen SDO abort 2000:00: object does not exist in the object dictionary (node 5)"
                                 << QStringList{"CANopen SDO upload 2000:00 (node 5) | aborted: object does not exist in the object dictionary"};
    QTest::newRow("toggle not alternated")
        << canopen << "0 605#4008100000000000\n1 585#4108100014000000\n2 605#6000000000000000\n3 585#104B2D333331362D" << any
        << QStringList{"CANopen SDO upload 1008:00 (node 5) | toggle bit not alternated"};
    QTest::newRow("extended frames ignored") << canopen << "0 18DA10F1#00" << "" << QStringList{};
}

void TestProtocols::conversations()
{
    QFETCH(int, protocol);
    QFETCH(QString, sequence);
    QFETCH(QString, lastText);
    QFETCH(QStringList, transfers);
    const TRun r = run(TProtocol(protocol), sequence);
    if (!lastText.isNull())
        QCOMPARE(r.texts.last(), lastText);
    QCOMPARE(summaries(r.transfers), transfers);
}

void TestProtocols::udsAnswerTime()
{
    // The answer's time runs from its request, across a responsePending.
    const TRun r = run(TProtocol::IsoTpUds, "0 7E0#021003\n1 7E8#037F1078\n60 7E8#065003003201F4");
    QCOMPARE(r.transfers.size(), 3);
    QCOMPARE(r.transfers[1].AnswerAfterUs, 1000);
    QCOMPARE(r.transfers[2].AnswerAfterUs, 60000);
    QCOMPARE(r.transfers[1].Nrc, 0x78);
    QCOMPARE(r.transfers[2].Service, 0x10);
}

void TestProtocols::jsonCarriesTheFields()
{
    const TRun r = run(TProtocol::CanOpen, "0 605#4018100100000000\n1 585#4318100178563412");
    QByteArray line;
    AppendTransferJson(line, r.transfers.value(0));
    QVERIFY(line.endsWith("}\n"));
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    QCOMPARE(o.value("kind").toString(), QStringLiteral("transfer"));
    QCOMPARE(o.value("start").toDouble(), 0.0);
    QCOMPARE(o.value("end").toDouble(), 0.001);
    QCOMPARE(o.value("index").toInt(), 0x1018);
    QCOMPARE(o.value("subindex").toInt(), 1);
    QCOMPARE(o.value("node").toInt(), 5);
    QCOMPARE(o.value("data").toString(), QStringLiteral("78563412"));
    QVERIFY(o.value("fault").isNull());
    QVERIFY(!o.contains("pgn"));
}

void TestProtocols::anyOrderNeverCrashes()
{
    // Random frames on the identifiers each decoder watches, in any order and timing, through the
    // fuzz target's driver: every transfer that ends keeps within its protocol's bounds.
    QRandomGenerator random(3316);
    for (char protocol : {0, 1, 2}) {
        QByteArray bytes(1 + 65 + 20000 * kProtocolsFrameBytes, Qt::Uninitialized);
        for (char &b : bytes)
            b = char(random.bounded(256));
        bytes[0] = protocol;
        const QString problem = DriveProtocols(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
}

QTEST_GUILESS_MAIN(TestProtocols)
#include "tst_protocols.moc"
