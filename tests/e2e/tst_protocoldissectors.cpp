// Our protocol decoders against Wireshark's own dissectors: each conversation is written as a
// pcap with our writer, tshark (Debian's) dissects it as ISO 15765 + UDS, J1939 or CANopen, and
// the services, negative response codes, identifiers, PGNs, addresses, SDO objects and
// reassembled bytes it finds must be what we find.

#include "monitor/PcapWriter.h"
#include "protocols/J1939.h"
#include "protocols/ProtocolFrame.h"
#include "support/BusConversations.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString tshark()
{
    return QStandardPaths::findExecutable(QStringLiteral("tshark"));
}

// One pcap record per frame, through the writer the Frame Monitor and the CLI use.
QByteArray pcapOf(const QList<TBusFrame> &frames)
{
    QByteArray out = PcapHeader();
    for (const TBusFrame &f : frames) {
        TFrameRow row;
        row.timeUs = f.TimeUs + 1700000000000000LL;
        row.decoded.kind = f.Extended ? (f.Remote ? TFrameKind::ExtendedRemote : TFrameKind::ExtendedData)
                                      : (f.Remote ? TFrameKind::StandardRemote : TFrameKind::StandardData);
        row.decoded.id = f.Id;
        row.decoded.dlc = f.Dlc;
        std::memcpy(row.decoded.data, f.Data, 8);
        AppendPcapRecord(out, row);
    }
    return out;
}

// tshark's fields, one line a frame, ';' between the fields.
QStringList dissect(const QList<TBusFrame> &frames, const QStringList &options, const QStringList &fields)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.pcap"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(pcapOf(frames)) < 0)
        return {QStringLiteral("cannot write ") + file};
    f.close();
    QStringList args{QStringLiteral("-r"), file, QStringLiteral("-T"), QStringLiteral("fields"), QStringLiteral("-E"),
                     QStringLiteral("separator=;")};
    args << options;
    for (const QString &field : fields)
        args << QStringLiteral("-e") << field;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir.path()); // none of the machine's Wireshark settings
    p.setProcessEnvironment(env);
    p.start(tshark(), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {QStringLiteral("tshark failed: ") + QString::fromLocal8Bit(p.readAllStandardError())};
    return QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<TTransfer> decode(TProtocol protocol, const QList<TBusFrame> &frames, QStringList *texts = nullptr)
{
    auto decoder = MakeProtocolDecoder(protocol);
    QList<TTransfer> done;
    for (const TBusFrame &f : frames) {
        const QString text = decoder->Feed(f, done);
        if (texts)
            *texts << text;
    }
    decoder->Flush(-1, done);
    return done;
}

QString hex(int value, int digits)
{
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

} // namespace

class TestProtocolDissectors : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void uds_data();
    void uds();
    void j1939_data();
    void j1939();
    void canopen_data();
    void canopen();
};

void TestProtocolDissectors::initTestCase()
{
    if (tshark().isEmpty())
        QFAIL("tshark is missing: install it (scripts/install-deps.sh does)");
}

void TestProtocolDissectors::uds_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::newRow("VIN in three frames") << "0 7E0#0322F190\n5 7E8#101462F190575657\n6 7E0#3000000000000000\n"
                                            "7 7E8#215A5A5A314A5A58\n8 7E8#22573030303030\n9 7E8#2331";
    QTest::newRow("negative response") << "0 7E0#023101\n1 7E8#037F3131";
    QTest::newRow("response pending") << "0 7E0#021003\n1 7E8#037F1078\n60 7E8#065003003201F4";
    QTest::newRow("DTCs") << "0 7E0#031902FF\n1 7E8#075902FF03010009";
    QTest::newRow("tester present") << "0 7E0#023E80";
    QTest::newRow("block size 1 with a wait")
        << "0 7E8#101062F190414243\n1 7E0#3100000000000000\n500 7E0#300101F100000000\n501 7E8#214445464748494A\n"
           "502 7E0#300101F100000000\n503 7E8#224B4C4D";
    // Faults: where we name one, tshark has no whole message either.
    QTest::newRow("wrong sequence number") << "0 7E8#101462F190575657\n1 7E0#3000000000000000\n2 7E8#215A5A5A314A5A58\n"
                                              "3 7E8#23573030303030\n4 7E0#023E00";
    QTest::newRow("unexpected consecutive frame") << "0 7E8#2131323334353637\n1 7E0#023E00";
    QTest::newRow("cut short") << "0 7E8#101462F190575657\n1 7E0#3000000000000000\n2 7E0#023E00";
}

void TestProtocolDissectors::uds()
{
    QFETCH(QString, sequence);
    const QList<TBusFrame> frames = ParseBusFrames(sequence);
    QStringList expected;
    for (const TTransfer &t : decode(TProtocol::IsoTpUds, frames)) {
        if (!t.Fault.isEmpty() || t.Payload.isEmpty())
            continue;
        const int sid = uint8_t(t.Payload[0]);
        const bool negative = sid == 0x7F;
        QString line = QStringLiteral("%1;%2;%3;%4")
                           .arg(negative ? hex(0x3F, 2) : hex(sid & 0x3F, 2), hex(negative || (sid & 0x40) ? 1 : 0, 2))
                           .arg(negative ? hex(t.Service, 2) : QString(), negative ? hex(t.Nrc, 2) : QString());
        if (!negative && (sid & 0x3F) == 0x22 && t.Payload.size() >= 3)
            line += QStringLiteral(";%1;%2").arg(hex((uint8_t(t.Payload[1]) << 8) | uint8_t(t.Payload[2]), 4),
                                                  QString::fromLatin1(t.Payload.mid(3).toHex()));
        else
            line += QStringLiteral(";;");
        expected << line;
    }
    QStringList found;
    for (const QString &line : dissect(frames,
                                       {"-o", "iso15765.can.ids:0x7e0,0x7e8", "-d", "iso15765.subdissector,uds"},
                                       {"uds.sid", "uds.reply", "uds.err.sid", "uds.err.code", "uds.rdbi.data_identifier",
                                        "uds.rdbi.data_record"}))
        if (!line.startsWith(QLatin1Char(';')))
            found << line;
    QCOMPARE(found, expected);
}

void TestProtocolDissectors::j1939_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::newRow("DM1 by BAM") << "0 1CECFF00#20140003FFCAFE00\n50 1CEBFF00#0104FF6E0005011E\n100 1CEBFF00#02000E01D0070301\n"
                                   "150 1CEBFF00#03FFFFFFFFFFFFFF";
    QTest::newRow("RTS/CTS") << "0 1CEC0F00#10090002FFECFE00\n1 1CEC000F#110201FFFFECFE00\n2 1CEB0F00#0141424344454647\n"
                                "3 1CEB0F00#0248FFFFFFFFFFFF\n4 1CEC000F#13090002FFECFE00";
    QTest::newRow("PDU2 and a request") << "0 0CF00400#FFFFFF6812FFFFFF\n1 18EA00F9#00EE00\n2 18FEF121#00112233";
    QTest::newRow("data pages") << "0 19F00400#00\n1 1AFECA03#00\n2 1BEA2200#00";
}

void TestProtocolDissectors::j1939()
{
    QFETCH(QString, sequence);
    const QList<TBusFrame> frames = ParseBusFrames(sequence);
    QStringList expected;
    for (const TBusFrame &f : frames) {
        const TJ1939Id id = J1939Split(f.Id);
        const bool pdu1 = ((f.Id >> 16) & 0xFF) < 240; // only PDU1 names a destination
        expected << QStringLiteral("%1;%2;%3").arg(id.Pgn).arg(id.Source).arg(pdu1 ? QString::number(id.Destination) : QString());
    }
    const QStringList found = dissect(frames, {"-d", "can.subdissector,j1939"}, {"j1939.pgn", "j1939.src_addr", "j1939.dst_addr"});
    QCOMPARE(found, expected);
    // The transport sessions end whole.
    for (const TTransfer &t : decode(TProtocol::J1939, frames))
        QVERIFY2(t.Fault.isEmpty(), qPrintable(t.Fault));
}

void TestProtocolDissectors::canopen_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::newRow("expedited upload") << "0 605#4018100100000000\n1 585#4318100178563412";
    QTest::newRow("expedited download") << "0 605#2F00180205000000\n1 585#6000180200000000";
    QTest::newRow("segmented upload") << "0 605#4008100000000000\n1 585#410810000B000000\n2 605#6000000000000000\n"
                                         "3 585#004B2D333331362D\n4 605#7000000000000000\n5 585#1753494D31000000";
    QTest::newRow("abort") << "0 605#4000200000000000\n1 585#8000200000000206";
    QTest::newRow("node 127") << "0 67F#4018100100000000\n1 5FF#4F18100107000000";
}

void TestProtocolDissectors::canopen()
{
    QFETCH(QString, sequence);
    const QList<TBusFrame> frames = ParseBusFrames(sequence);
    const QList<TTransfer> ours = decode(TProtocol::CanOpen, frames);
    QCOMPARE(ours.size(), 1);
    const TTransfer &t = ours.first();
    // tshark names the object of each initiate frame and the abort code; the data of an
    // expedited answer is in its own frame.
    QString object, node, abort;
    QStringList data;
    for (const QString &line : dissect(frames, {"-d", "can.subdissector,canopen"},
                                       {"canopen.sdo.main_idx", "canopen.sdo.sub_idx", "canopen.node_id",
                                        "canopen.sdo.data.bytes", "canopen.sdo.abort_code"})) {
        const QStringList f = line.split(QLatin1Char(';'));
        if (!f.value(0).isEmpty())
            object = f.value(0) + QLatin1Char(':') + f.value(1);
        node = f.value(2);
        if (!f.value(3).isEmpty())
            data << f.value(3);
        if (!f.value(4).isEmpty())
            abort = f.value(4);
    }
    QCOMPARE(object, hex(t.Index, 4) + QLatin1Char(':') + hex(t.SubIndex, 2));
    QCOMPARE(node.toUInt(nullptr, 16), uint(t.Node));
    QCOMPARE(abort.isEmpty(), t.Fault.isEmpty());
    // Expedited transfers: the bytes tshark shows are ours. Segmented ones are not joined by tshark.
    if (t.Payload.size() <= 4 && !data.isEmpty())
        QVERIFY2(data.last().startsWith(QString::fromLatin1(t.Payload.toHex())), qPrintable(data.join(',')));
}

QTEST_GUILESS_MAIN(TestProtocolDissectors)
#include "tst_protocoldissectors.moc"
