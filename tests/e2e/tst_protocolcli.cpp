// k3316-cli's protocol commands against the virtual module's protocol nodes: `uds` requests and
// their answers, and `monitor`/`decode --protocol` reading ISO-TP, J1939 and CANopen.

#include "support/CliRun.h"
#include "support/SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<QJsonObject> objectsOf(const QByteArray &out)
{
    QList<QJsonObject> list;
    for (const QByteArray &line : out.split('\n'))
        if (!line.isEmpty())
            list << QJsonDocument::fromJson(line).object();
    return list;
}

} // namespace

class TestProtocolCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    // Writes `bytes` to the scratch file `name`; its path, empty when that fails.
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
    }

private slots:
    void uds_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // in the output (exit 0 or 1) or the error (else)
        const QStringList nodes{"--mode", "operation", "--nodes"};
        QTest::newRow("VIN over three frames") << nodes << QStringList{"uds", "22F190"} << 0
                                               << "7E8: UDS ReadDataByIdentifier response F190 (VIN) = \"K3316SIMVIN000001\"";
        QTest::newRow("long request with flow control") << nodes << QStringList{"uds", "2EF19001020304050607080910"} << 1
                                                        << "NRC 11 serviceNotSupported";
        QTest::newRow("negative answer") << nodes << QStringList{"uds", "22ABCD"} << 1 << "NRC 31 requestOutOfRange";
        QTest::newRow("response pending followed") << nodes << QStringList{"uds", "1101"} << 0 << "UDS ECUReset response hardReset";
        QTest::newRow("DTCs") << nodes << QStringList{"uds", "1902FF"} << 0 << "P0301-00 status 09 [testFailed,confirmedDTC]";
        QTest::newRow("functional OBD-II") << nodes << QStringList{"--tx", "7DF", "uds", "010C"} << 0
                                           << "7E8: OBD-II service 01 response engine speed 1726 rpm";
        QTest::newRow("checksummed module") << QStringList{"--mode", "operation", "--nodes", "--checksum"}
                                            << QStringList{"uds", "22F190"} << 0 << "\"K3316SIMVIN000001\"";
        QTest::newRow("no answer") << nodes << QStringList{"--tx", "7E1", "--rx", "7E9", "uds", "3E00"} << 4
                                   << "no answer from 7E9 within 500 ms";
        QTest::newRow("not hexadecimal") << nodes << QStringList{"uds", "22F19"} << 2 << "not bytes in hexadecimal";
        QTest::newRow("identifier beyond 11 bits") << nodes << QStringList{"--tx", "800", "uds", "3E00"} << 2 << "up to 7FF";
    }
    void uds()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        SimProcess sim(simArgs);
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli(QStringList{"--port", sim.path()} + args);
        QCOMPARE(r.exitCode, exitCode);
        const QByteArray where = exitCode <= 1 ? r.out : r.err;
        QVERIFY2(where.contains(said.toUtf8()), (r.out + r.err).constData());
    }

    void udsJson()
    {
        SimProcess sim({"--mode", "operation", "--nodes"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "--json", "uds", "22F190"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(o.value("ok").toBool(), true);
        QCOMPARE(o.value("answers").toArray().first().toObject().value("data").toString(),
                 QString::fromLatin1(QByteArray("\x62\xF1\x90K3316SIMVIN000001").toHex().toUpper()));
    }

    // What the nodes send by themselves, read as their protocols while the bus is busy.
    void monitorReadsTheNodes_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("meaning");
        QTest::newRow("J1939 DM1 by BAM") << "j1939" << "transfer"
                                          << "J1939 PGN 65226 DM1 SA 00 (BAM), 10 bytes: lamps amber warning; SPN 110 FMI 5 OC 1; SPN 2000 FMI 3 OC 1";
        QTest::newRow("J1939 EEC1") << "j1939" << "frame" << "J1939 PGN 61444 EEC1 SA 00 P3";
        QTest::newRow("CANopen heartbeat") << "canopen" << "frame" << "CANopen heartbeat operational (node 5)";
    }
    void monitorReadsTheNodes()
    {
        QFETCH(QString, protocol);
        QFETCH(QString, kind);
        QFETCH(QString, meaning);
        SimProcess sim({"--mode", "operation", "--nodes"});
        QVERIFY(sim.isRunning());
        // The nodes start with the probe: from then on the bus is busy, so later runs skip it.
        QCOMPARE(RunCli({"--port", sim.path(), "send", "t7DF3023E80"}).exitCode, 0);
        const CliResult r = RunCli({"--port", sim.path(), "--no-probe", "monitor", "--protocol", protocol, "--format", "json",
                                    "--seconds", "2.2"});
        QCOMPARE(r.exitCode, 0);
        bool found = false;
        for (const QJsonObject &o : objectsOf(r.out)) {
            QCOMPARE(o.value("protocol").toString(), protocol);
            const QString text = o.value(o.value("kind") == QLatin1String("transfer") ? "meaning" : "decoded").toString();
            found = found || (o.value("kind").toString() == kind && text == meaning);
        }
        QVERIFY2(found, r.out.constData());
    }

    void decodeReadsALog_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QStringList>("meanings");
        QTest::newRow("UDS over ISO-TP")
            << QByteArray("(1.000000) can0 7E0#0322F190AAAAAAAA\n(1.010000) can0 7E8#101462F190575657\n"
                          "(1.011000) can0 7E0#3000000000000000\n(1.012000) can0 7E8#215A5A5A314A5A58\n"
                          "(1.013000) can0 7E8#2257303030303031\n")
            << "uds"
            << QStringList{"UDS ReadDataByIdentifier F190 (VIN)",
                           "UDS ReadDataByIdentifier response F190 (VIN) = \"WVWZZZ1JZXW000001\""};
        QTest::newRow("an SDO cut short by the log's end")
            << QByteArray("(1.000000) can0 605#4008100000000000\n(1.001000) can0 585#4108100014000000\n") << "canopen"
            << QStringList{"CANopen SDO upload 1008:00 (node 5)"};
    }
    void decodeReadsALog()
    {
        QFETCH(QByteArray, log);
        QFETCH(QString, protocol);
        QFETCH(QStringList, meanings);
        const QString file = write(QStringLiteral("bus.log"), log);
        QVERIFY(!file.isEmpty());
        const CliResult r = RunCli({"decode", "--protocol", protocol, file});
        QCOMPARE(r.exitCode, 0);
        QStringList found;
        for (const QJsonObject &o : objectsOf(r.out))
            if (o.value("kind") == QLatin1String("transfer"))
                found << o.value("meaning").toString();
        QCOMPARE(found, meanings);
    }

    // A J1939 database's parameter groups decoded from the reassembled bytes of a BAM, and from a
    // single frame sent by another source address than the database names.
    void decodeJ1939SignalsFromADatabase()
    {
        const QString dbc = write(QStringLiteral("j1939.dbc"),
                                  "VERSION \"\"\nNS_ :\nBS_:\nBU_: Engine\n"
                                  "BO_ 2364539904 EEC1: 8 Engine\n SG_ EngineSpeed : 24|16@1+ (0.125,0) [0|8031.875] \"rpm\" Vector__XXX\n"
                                  "BO_ 2566834942 DM1: 10 Engine\n SG_ AmberLamp : 2|2@1+ (1,0) [0|3] \"\" Vector__XXX\n"
                                  " SG_ SPN1 : 16|16@1+ (1,0) [0|65535] \"\" Vector__XXX\n SG_ SPN2 : 48|16@1+ (1,0) [0|65535] \"\" Vector__XXX\n");
        // EEC1 from SA 17 (0x2490 * 0.125 = 1170 rpm), then a DM1 by BAM.
        const QString log = write(QStringLiteral("j1939.log"),
                                  "(1.000000) can0 0CF00417#F07D7D902400F07D\n"
                                  "(1.100000) can0 1CECFF00#200A0002FFCAFE00\n(1.150000) can0 1CEBFF00#0104FF6E000501D0\n"
                                  "(1.200000) can0 1CEBFF00#02070301FFFFFFFF\n");
        QVERIFY(!dbc.isEmpty() && !log.isEmpty());
        const CliResult r = RunCli({"decode", "--protocol", "j1939", "--dbc", dbc, log});
        QCOMPARE(r.exitCode, 0);
        const QList<QJsonObject> objects = objectsOf(r.out);
        QCOMPARE(objects.size(), 2);
        QCOMPARE(objects[0].value("message").toString(), QStringLiteral("EEC1"));
        QCOMPARE(objects[0].value("signals").toObject().value("EngineSpeed").toObject().value("value").toDouble(), 1170.0);
        QCOMPARE(objects[1].value("kind").toString(), QStringLiteral("transfer"));
        QCOMPARE(objects[1].value("message").toString(), QStringLiteral("DM1"));
        const QJsonObject s = objects[1].value("signals").toObject();
        QCOMPARE(s.value("AmberLamp").toObject().value("raw").toInt(), 1);
        QCOMPARE(s.value("SPN1").toObject().value("raw").toInt(), 110);  // bytes 2-3 of the first packet
        QCOMPARE(s.value("SPN2").toObject().value("raw").toInt(), 0x07D0); // across the two packets
    }
};

QTEST_GUILESS_MAIN(TestProtocolCli)
#include "tst_protocolcli.moc"
