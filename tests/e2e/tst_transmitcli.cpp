// k3316-cli transmit and play against the virtual module: what arrives, byte for byte and in
// order, what is printed, and the exit codes.

#include "support/CliRun.h"
#include "support/SimProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QStringList withPrefix(const QStringList &lines, const QString &prefix)
{
    QStringList out;
    for (const QString &l : lines)
        if (l.startsWith(prefix))
            out << l;
    return out;
}

const QByteArray kList = R"({"format": "k3316-transmit", "version": 1, "messages": [
  {"enabled": true, "name": "Heartbeat", "id": "123", "extended": false, "remote": false, "dlc": 2, "data": "11AE", "period_ms": 20, "count": 4, "counter": {"start_bit": 8, "length": 4, "step": 1}},
  {"enabled": true, "id": "1ABCDEF0", "extended": true, "remote": false, "dlc": 1, "data": "01", "period_ms": 15, "count": 3},
  {"enabled": false, "id": "456", "extended": false, "remote": false, "dlc": 0, "data": "", "period_ms": 10, "count": 0},
  {"enabled": true, "name": "Reset", "id": "7FF", "extended": false, "remote": true, "dlc": 2, "data": "", "period_ms": 0, "count": 0}]})";

} // namespace

class TestTransmitCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString write(const QString &name, const QByteArray &text)
    {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return QString();
        return f.fileName();
    }

private slots:
    void transmitSendsEachRowItsCount_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("heartbeats");
        QTest::addColumn<QString>("extended");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QByteArray>("load"); // 10 bytes every 20 ms, 13 every 15 ms (and a checksum each)
        QTest::newRow("plain") << QStringList{"--mode", "operation"} << QStringList{}
                               << QStringList{"t123211AE", "t123211AF", "t123211A0", "t123211A1"}
                               << "e1ABCDEF0101" << "" << QByteArray("1,367 of 11,520 bytes/s (12 %)");
        QTest::newRow("checksummed") << QStringList{"--mode", "operation", "--checksum"} << QStringList{}
                                     << QStringList{"t123211AE24", "t123211AF25", "t123211A00F", "t123211A110"}
                                     << "e1ABCDEF0101ED" << "" << QByteArray("1,600 of 11,520 bytes/s (14 %)");
        QTest::newRow("on demand, asked for") << QStringList{"--mode", "operation"} << QStringList{"--send", "Reset"}
                                              << QStringList{"t123211AE", "t123211AF", "t123211A0", "t123211A1"}
                                              << "e1ABCDEF0101" << "T7FF2" << QByteArray("1,367 of 11,520 bytes/s (12 %)");
    }
    void transmitSendsEachRowItsCount()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, options);
        QFETCH(QString, remote);
        const QString log = file(QStringLiteral("tx-%1.log").arg(QTest::currentDataTag()).replace(' ', '_'));
        SimProcess sim(simArgs + QStringList{"--log", log});
        QVERIFY(sim.isRunning());
        const QString list = write(QStringLiteral("list.json"), kList);
        const CliResult r = RunCli(QStringList{"--port", sim.path(), "transmit", list} + options);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out, QByteArray("0 123 Heartbeat: 4 sent\n1 1ABCDEF0: 3 sent\n2 456: 0 sent\n3 7FF Reset: ") +
                            (remote.isEmpty() ? "0" : "1") + " sent\n");
        // What the enabled periodic rows ask of the line, said before they start.
        QFETCH(QByteArray, load);
        QVERIFY2(r.err.startsWith("k3316-cli: Load: " + load + "\n"), r.err.constData());
        const int expected = remote.isEmpty() ? 7 : 8;
        QTRY_COMPARE(ReceivedBySim(log, false).size(), expected);
        const QStringList got = ReceivedBySim(log, false);
        QTEST(withPrefix(got, "t123"), "heartbeats");
        QFETCH(QString, extended);
        QCOMPARE(withPrefix(got, "e"), QStringList(3, extended));
        // On demand: only when asked, once, after the periodic rows' first sends.
        QCOMPARE(withPrefix(got, "T"), remote.isEmpty() ? QStringList() : QStringList{remote});
        if (!remote.isEmpty())
            QVERIFY2(got.indexOf(remote) > got.indexOf(extended) && got.indexOf(remote) > got.indexOf(withPrefix(got, "t123").first()),
                     qPrintable(got.join(' ')));
    }

    void transmitPrintsJsonAfterItsSeconds()
    {
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        const QString list = write(QStringLiteral("endless.json"), R"({"format": "k3316-transmit", "version": 1, "messages": [
            {"enabled": true, "id": "1", "extended": false, "remote": false, "dlc": 0, "data": "", "period_ms": 10, "count": 0}]})");
        const CliResult r = RunCli({"--port", sim.path(), "transmit", list, "--seconds", "0.3", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(o["ok"].toBool(), true);
        const QJsonObject row = o["messages"].toArray().at(0).toObject();
        QCOMPARE(row["id"].toString(), QStringLiteral("1"));
        QVERIFY2(row["sent"].toInt() > 0, r.out.constData());
    }

    // Refused with exit 2 and the reason; the module gets nothing, or from a log that is read as
    // it plays, at most the frames before the line refused.
    void refusedSendsNothing_data()
    {
        QTest::addColumn<QString>("name"); // of the file the command reads, written from `content` unless empty
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("args"); // FILE stands for that file
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("before");
        QByteArray badDlc = kList;
        badDlc.replace("\"dlc\": 2, \"data\": \"11AE\"", "\"dlc\": 9, \"data\": \"11AE\"");
        const QByteArray log = "(1.0) can0 123#11\n(2.0) can0 124#11\n";
        const QStringList transmit{"transmit", "FILE"}, play{"play", "FILE"};
        QTest::newRow("DLC 9 in the list") << "bad.json" << badDlc << transmit << "messages[0].dlc: must be 0 to 8" << QStringList();
        QTest::newRow("no such list") << "missing.json" << QByteArray() << transmit << "missing.json: No such file" << QStringList();
        // --send names an on-demand row of the list, or nothing at all is sent.
        QTest::newRow("--send names no row") << "good.json" << kList << transmit + QStringList{"--send", "Wake"}
                                             << "--send Wake: no row of the list has that name" << QStringList();
        QTest::newRow("--send names a periodic row") << "good.json" << kList << transmit + QStringList{"--send", "Heartbeat"}
                                                     << "--send Heartbeat: the row runs every 20 ms" << QStringList();
        QTest::newRow("log line that is no frame") << "bad-drive.log" << QByteArray("(1.0) can0 123#11\n(2.0) can0 12#11\n")
                                                   << play << "bad-drive.log:2: expected a frame" << QStringList{"t123111"};
        QTest::newRow("speed 9") << "drive.log" << log << play + QStringList{"--speed", "9"}
                                 << "expected a speed factor from 0.25 to 8" << QStringList();
        QTest::newRow("speed and fast") << "drive.log" << log << play + QStringList{"--speed", "2", "--fast"}
                                        << "--speed and --fast exclude each other" << QStringList();
        QTest::newRow("identifier 1G") << "drive.log" << log << play + QStringList{"--ids", "1G"}
                                       << "\"1G\" is not an identifier or a range of identifiers" << QStringList();
    }
    void refusedSendsNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        QFETCH(QStringList, before);
        const QString log = file(QStringLiteral("refused-%1.log").arg(QTest::currentDataTag()).replace(' ', '_'));
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        args.replaceInStrings(QRegularExpression("^FILE$"), content.isEmpty() ? file(name) : write(name, content));
        const CliResult r = RunCli(QStringList{"--port", sim.path()} + args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(reason.toUtf8()), r.err.constData());
        const QStringList got = ReceivedBySim(log, false);
        QCOMPARE(got, before.mid(0, got.size()));
    }

    // Rows by database message name: identifier, DLC and data from the database and signal
    // values, the counter on a named signal; without the database nothing is sent.
    void transmitWithADatabase()
    {
        const QString log = file(QStringLiteral("dbc.log"));
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        const QString dbc = write(QStringLiteral("bench.dbc"), "VERSION \"\"\nBU_: ECU\nBO_ 291 Heartbeat: 2 ECU\n"
                                                             " SG_ State : 0|8@1+ (1,0) [0|255] \"\" ECU\n"
                                                             " SG_ Alive : 8|4@1+ (1,0) [0|15] \"\" ECU\n"
                                                             "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n"
                                                             "BA_ \"GenMsgCycleTime\" BO_ 291 10;\n");
        const QString list = write(QStringLiteral("dbc.json"), R"({"format": "k3316-transmit", "version": 1, "messages": [
            {"enabled": true, "message": "Heartbeat", "signals": {"State": 17, "Alive": 14}, "count": 3,
             "counter": {"signal": "Alive", "step": 1}}]})");
        const CliResult without = RunCli({"--port", sim.path(), "transmit", list});
        QCOMPARE(without.exitCode, 2);
        QVERIFY2(without.err.contains("messages[0].message: names a message of a database"), without.err.constData());
        const CliResult r = RunCli({"--port", sim.path(), "transmit", list, "--dbc", dbc});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out, QByteArray("0 123 Heartbeat: 3 sent\n")); // named by its message
        QTRY_COMPARE(ReceivedBySim(log, false), (QStringList{"t1232110E", "t1232110F", "t12321100"}));
    }

    void lostConnectionEndsWithOne_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("one JSON object") << true;
    }
    void lostConnectionEndsWithOne()
    {
        QFETCH(bool, json);
        const QString log = file(QStringLiteral("endless-%1.log").arg(json));
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        const QString list = write(QStringLiteral("endless.json"), R"({"format": "k3316-transmit", "version": 1, "messages": [
            {"enabled": true, "id": "1", "extended": false, "remote": false, "dlc": 0, "data": "", "period_ms": 5, "count": 0}]})");
        QProcess cli;
        cli.start(CliExecutable(), QStringList{"--port", sim.path(), "transmit", list} + (json ? QStringList{"--json"} : QStringList{}));
        QVERIFY(cli.waitForStarted());
        // Lost while the list runs, not while connecting (a loaded machine may take a while).
        QTRY_VERIFY_WITH_TIMEOUT(ReceivedBySim(log, false).join(QLatin1Char('\n')).contains(QLatin1String("t0010")), 10000);
        sim.process().terminate();
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 1);
        const QByteArray out = cli.readAllStandardOutput();
        if (json) {
            // One object, the loss in it: not the counts and then an error object besides.
            QCOMPARE(out.count('\n'), 1);
            const QJsonObject o = QJsonDocument::fromJson(out).object();
            QCOMPARE(o["ok"].toBool(true), false);
            QVERIFY2(o["error"].toString().contains("Connection Lost!"), out.constData());
            QCOMPARE(o["exit_code"].toInt(), 1);
            QVERIFY(o["messages"].toArray().at(0).toObject()["sent"].toInt() > 0);
        } else {
            QVERIFY(out.startsWith("0 1: "));
        }
        QVERIFY(cli.readAllStandardError().contains("Connection Lost!"));
    }

    // Any log format, from a file or standard input, longer than what is read at a time: the
    // chosen frames arrive in order, FD and error frames are skipped, and the summary says so.
    void playSendsTheChosenFramesInOrder_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<bool>("fromStandardInput");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("received");
        QTest::addColumn<QString>("summary");
        const QByteArray drive = "(1765280000.000000) can0 123#11AB\n"
                                 "(1765280000.010000) can0 1ABCDEF0#\n"
                                 "(1765280000.015000) can0 100##0112233\n"
                                 "(1765280000.020000) can0 7FF#R3 R\n"
                                 "(1765280000.005000) can0 20000080#0000000000000000\n"
                                 "(1765280000.030000) can0 7E8#FF\n";
        const QStringList all{"t123211AB", "e1ABCDEF00", "T7FF3", "t7E81FF"};
        QTest::newRow("1x") << drive << false << QStringList{} << all
                            << "4 frames sent, 2 skipped (CAN FD or error frames), 0 not chosen";
        QTest::newRow("fast, two loops") << drive << false << QStringList{"--fast", "--loop", "2"} << all + all
                                         << "8 frames sent, 4 skipped (CAN FD or error frames), 0 not chosen";
        QTest::newRow("chosen ids at 8x") << drive << false << QStringList{"--ids", "100-1FF,7E8", "--speed", "8"}
                                          << QStringList{"t123211AB", "t7E81FF"}
                                          << "2 frames sent, 2 skipped (CAN FD or error frames), 2 not chosen";
        QTest::newRow("ASC from standard input")
            << QByteArray("base hex  timestamps absolute\n 0.000 1  123  Rx d 2 11 AB\n 0.001 1  ErrorFrame\n"
                          " 0.002 1  1ABCDEF0x  Rx r 1\n")
            << true << QStringList{} << QStringList{"t123211AB", "E1ABCDEF01"}
            << "2 frames sent, 1 skipped (CAN FD or error frames), 0 not chosen";
        QByteArray longLog;
        QStringList lines;
        for (int i = 0; i < 4100; ++i) {
            longLog += QStringLiteral("(%1.%2) can0 %3#%4\n")
                           .arg(1765280000 + i / 1000)
                           .arg(i % 1000 * 1000, 6, 10, QLatin1Char('0'))
                           .arg(0x100 + i % 0x100, 3, 16, QLatin1Char('0'))
                           .arg(i % 256, 2, 16, QLatin1Char('0'))
                           .toLatin1();
            lines << QLatin1Char('t') + QStringLiteral("%1").arg(0x100 + i % 0x100, 3, 16, QLatin1Char('0')).toUpper() + QLatin1Char('1')
                         + QStringLiteral("%1").arg(i % 256, 2, 16, QLatin1Char('0')).toUpper();
        }
        QTest::newRow("4100 frames, more than one chunk") << longLog << false << QStringList{"--fast"} << lines
                                                          << "4100 frames sent, 0 skipped (CAN FD or error frames), 0 not chosen";
    }
    void playSendsTheChosenFramesInOrder()
    {
        QFETCH(QByteArray, log);
        QFETCH(bool, fromStandardInput);
        QFETCH(QStringList, options);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        const QString simLog = file(QStringLiteral("play-%1.log").arg(tag));
        SimProcess sim({"--mode", "operation", "--log", simLog});
        QVERIFY(sim.isRunning());
        const QString input = fromStandardInput ? QStringLiteral("-") : write(QStringLiteral("drive-%1.log").arg(tag), log);
        const CliResult r = RunCli(QStringList{"--port", sim.path(), "play", input} + options, 60000,
                                   fromStandardInput ? log : QByteArray());
        QCOMPARE(r.exitCode, 0);
        QFETCH(QString, summary);
        QCOMPARE(r.out, summary.toLatin1() + '\n');
        QFETCH(QStringList, received);
        QTRY_COMPARE(ReceivedBySim(simLog, false), received);
    }

    // A log with a minute's gap: the wait is said; a signal cuts the play short, which is said
    // and ends with 130 or 143; --max-gap plays the gap short.
    void playCutShortOrGapShortened_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("word");
        QTest::newRow("Ctrl+C") << int(SIGINT) << 130 << "interrupted";
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << "terminated";
        QTest::newRow("gap shortened") << 0 << 0 << "";
    }
    void playCutShortOrGapShortened()
    {
        QFETCH(int, signal);
        const QString log = file(QStringLiteral("gap-%1.log").arg(signal));
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        const QString input = write(QStringLiteral("gap.log"), "(1765280000.000000) can0 123#11AB\n"
                                                             "(1765280060.000000) can0 124#22\n");
        QProcess cli;
        cli.start(CliExecutable(), QStringList{"--port", sim.path(), "play", input} +
                                       (signal ? QStringList{} : QStringList{"--max-gap", "0.05"}));
        QVERIFY(cli.waitForStarted());
        QFETCH(int, exitCode);
        if (signal) {
            QByteArray err;
            QTRY_VERIFY_WITH_TIMEOUT((err += cli.readAllStandardError()).contains(" s for frame 2 of 2 (--max-gap shortens gaps)"), 10000);
            QVERIFY2(err.contains("waiting 59.") || err.contains("waiting 60.0 s"), err.constData());
            QCOMPARE(ReceivedBySim(log, false), QStringList{"t123211AB"});
            ::kill(pid_t(cli.processId()), signal);
            QVERIFY(cli.waitForFinished(10000));
            QCOMPARE(cli.exitCode(), exitCode);
            err += cli.readAllStandardError();
            QFETCH(QString, word);
            QVERIFY2(err.contains((word + ": stopped after 1 of 2 frames").toLatin1()), err.constData());
            QCOMPARE(cli.readAllStandardOutput(), QByteArray("1 frames sent, 0 skipped (CAN FD or error frames), 0 not chosen\n"));
        } else {
            QVERIFY(cli.waitForFinished(10000));
            QCOMPARE(cli.exitCode(), 0);
            QVERIFY(!cli.readAllStandardError().contains("waiting"));
            QTRY_COMPARE(ReceivedBySim(log, false), (QStringList{"t123211AB", "t1241" "22"}));
        }
    }

};

QTEST_GUILESS_MAIN(TestTransmitCli)
#include "tst_transmitcli.moc"
