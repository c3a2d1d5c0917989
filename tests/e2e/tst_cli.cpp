// k3316-cli against the virtual module: every command, its output and its exit code.

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
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QJsonObject jsonOf(const QByteArray &out)
{
    return QJsonDocument::fromJson(out.trimmed()).object();
}

QByteArray profileText(const QString &canBaud, bool pair)
{
    QJsonObject o{{"format", "k3316-profile"}, {"version", 1},
                  {"rs232_baudrate", "115200"}, {"data_bit", "8"}, {"stop_bit", "2"}, {"parity", "Even"},
                  {"add_checksum", "No"}, {"error_response", "No"},
                  {"can_specification", "2.0B"}, {"can_baudrate", canBaud},
                  {"acceptance_code", "00000123"}, {"acceptance_mask", "1FFFFFFF"},
                  {"pair_connection", pair}, {"end_of_rs232_command", "LF"},
                  {"fixed_tx_can_id", true}, {"tx_can_id", "00000456"}, {"response_with_can_id", true}};
    return QJsonDocument(o).toJson();
}

QStringList linesOf(const QByteArray &out)
{
    return QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList receivedBySim(const QString &logPath)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString &l : linesOf(log.readAll()))
        if (l.startsWith(QLatin1String("rx ")))
            lines << l.mid(3);
    return lines;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void info_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("checksums");
        QTest::addColumn<QJsonValue>("maker");
        QTest::newRow("configuration") << QStringList{"--maker", "ACMEINC"} << "configuration" << 2 << false << QJsonValue("ACMEINC");
        QTest::newRow("level 1") << QStringList{"--firmware", "1.10"} << "configuration" << 1 << false << QJsonValue("TERAVOX");
        QTest::newRow("operation") << QStringList{"--mode", "operation"} << "operation" << 2 << false << QJsonValue();
        QTest::newRow("operation with checksums") << QStringList{"--mode", "operation", "--checksum"} << "operation" << 2 << true
                                                  << QJsonValue();
    }
    void info()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, mode);
        QFETCH(int, level);
        QFETCH(bool, checksums);
        QFETCH(QJsonValue, maker);
        SimProcess sim(simArgs);
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "--json", "info"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = jsonOf(r.out);
        QCOMPARE(o.value("mode").toString(), mode);
        QCOMPARE(o.value("firmware_level").toInt(), level);
        QCOMPARE(o.value("checksums").toBool(), checksums);
        QCOMPARE(o.value("maker"), maker);

        const CliResult text = RunCli({"--port", sim.path(), "info"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY(text.out.contains("mode: " + mode.toLatin1() + "\n"));
    }

    void getWritesTheModulesSettingsAsAProfile()
    {
        // 2.0B, 500K, code 00000123, mask 1FFFFFFF, Tx id 00000456, pair on, LF.
        SimProcess sim({"--params-p0", "0730010", "--params-p1", "160000001231FFFFFFF000004561102"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "get", "-o", file("got.json")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.isEmpty());
        QFile f(file("got.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(o.value("format").toString(), QStringLiteral("k3316-profile"));
        QCOMPARE(o.value("rs232_baudrate").toString(), QStringLiteral("9600"));
        QCOMPARE(o.value("add_checksum").toString(), QStringLiteral("Yes"));
        QCOMPARE(o.value("can_baudrate").toString(), QStringLiteral("500K"));
        QCOMPARE(o.value("acceptance_mask").toString(), QStringLiteral("1FFFFFFF"));
        QCOMPARE(o.value("pair_connection").toBool(), true);
        QCOMPARE(o.value("end_of_rs232_command").toString(), QStringLiteral("LF"));
        QCOMPARE(o.value("response_with_can_id").toBool(), false);

        // Without -o the profile goes to standard output.
        const CliResult toOut = RunCli({"--port", sim.path(), "get"});
        QCOMPARE(toOut.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(toOut.out).object(), o);
    }

    void set_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("differing");
        QTest::addColumn<QString>("canCommand"); // the CAN write the module received
        QTest::newRow("stored as sent") << QStringList{} << 0 << QStringList{}
                                        << "$P121140000001231FFFFFFF000004561112";
        QTest::newRow("confirms but stores another baud rate") << QStringList{"--misstore"} << 1 << QStringList{"can_baudrate"}
                                                               << "$P121140000001231FFFFFFF000004561112";
        QTest::newRow("level 1: the short form") << QStringList{"--firmware", "1.10"} << 0 << QStringList{}
                                                 << "$P115140000001231FFFFFFF";
    }
    void set()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(int, exitCode);
        QFETCH(QStringList, differing);
        QFETCH(QString, canCommand);
        const QString log = file(QStringLiteral("set-%1.log").arg(QTest::currentDataTag()).replace(' ', '_'));
        SimProcess sim(simArgs + QStringList{"--log", log});
        QVERIFY(sim.isRunning());
        QFile profile(file("set.json"));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(profileText("125K", true));
        profile.close();

        const CliResult r = RunCli({"--port", sim.path(), "--json", "set", profile.fileName()});
        QCOMPARE(r.exitCode, exitCode);
        const QJsonObject o = jsonOf(r.out);
        QCOMPARE(o.value("ok").toBool(), exitCode == 0);
        QStringList keys;
        for (const QJsonValue &d : o.value("differing").toArray())
            keys << d.toObject().value("key").toString();
        QCOMPARE(keys, differing);

        // The same lines as the window: probe, identification, settings read, the two writes
        // (checksummed), then the read-back.
        const QStringList rx = receivedBySim(log);
        QCOMPARE(rx.mid(0, 6), (QStringList{"#A", "#PV", "#PC", "#PM", "#P0", "#P1"}));
        QCOMPARE(rx.value(6).left(12), QStringLiteral("$P0090B31200"));
        QCOMPARE(rx.value(7).chopped(2), canCommand);
        QCOMPARE(rx.mid(8), (QStringList{"#P0", "#P1"}));

        const CliResult text = RunCli({"--port", sim.path(), "set", profile.fileName()});
        QCOMPARE(text.exitCode, exitCode);
        if (exitCode != 0)
            QVERIFY(text.out.contains("differs: can_baudrate: written \"125K\", module holds \"250K\""));
    }

    void refusedWriteFails()
    {
        SimProcess sim({"--reply", "$P1=?\\r"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "set", "-"}, 30000, profileText("125K", false));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("Setting Failed!!!") && r.err.contains("$P1"), r.err.constData());
    }

    void hiddenDigitOutOfRangeWritesNothing()
    {
        const QString log = file("hidden.log");
        SimProcess sim({"--reply-p1", "!P04a" + QString(28, '0') + "\\r", "--log", log});
        QVERIFY(sim.isRunning());
        // It is written back as read by "set"; "defaults" puts 0 there, as the window's Defaults.
        const CliResult r = RunCli({"--port", sim.path(), "set", "-"}, 30000, profileText("125K", true));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("hidden CAN parameter reads 42"), r.err.constData());
        QCOMPARE(RunCli({"--port", sim.path(), "defaults"}).exitCode, 0);
        const QStringList rx = receivedBySim(log);
        QCOMPARE(rx.filter(QRegularExpression("^\\$")).size(), 2); // only the two writes of defaults
    }

    void defaultsRestoreTheDefaults()
    {
        SimProcess sim({"--params-p0", "0730010", "--params-p1", "160000001231FFFFFFF000004561102"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "--json", "defaults"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(jsonOf(r.out).value("ok").toBool(), true);
        const QJsonObject got = QJsonDocument::fromJson(RunCli({"--port", sim.path(), "get"}).out).object();
        QCOMPARE(got.value("rs232_baudrate").toString(), QStringLiteral("115200"));
        QCOMPARE(got.value("can_specification").toString(), QStringLiteral("2.0A"));
        QCOMPARE(got.value("can_baudrate").toString(), QStringLiteral("125K"));
        QCOMPARE(got.value("acceptance_code").toString(), QStringLiteral("000"));
        QCOMPARE(got.value("pair_connection").toBool(), false);
        QCOMPARE(got.value("tx_can_id").toString(), QStringLiteral("001"));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args"); // "PORT" stands for the module's port
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{"--port", "PORT"} << QByteArray() << 2 << "no command";
        QTest::newRow("unknown command") << QStringList{"--port", "PORT", "reset"} << QByteArray() << 2 << "unknown command";
        QTest::newRow("no port") << QStringList{"info"} << QByteArray() << 2 << "--port";
        QTest::newRow("bad port name") << QStringList{"--port", "LPT1", "info"} << QByteArray() << 2 << "COMn";
        QTest::newRow("bad profile: nothing sent") << QStringList{"--port", "PORT", "set", "-"}
                                                   << profileText("126K", true) << 2 << "can_baudrate";
        QTest::newRow("missing device") << QStringList{"--port", "/dev/k3316-none", "info"} << QByteArray() << 3
                                        << "No such file or directory";
        QTest::newRow("not a serial device") << QStringList{"--port", "/dev/null", "info"} << QByteArray() << 3
                                             << "not a serial device";
        QTest::newRow("configuration command in operation mode") << QStringList{"--port", "PORT", "get"} << QByteArray() << 1
                                                                 << "operation mode";
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, profile);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString log = file("failures.log");
        QFile::remove(log);
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        args.replaceInStrings(QRegularExpression("^PORT$"), sim.path());
        const CliResult r = RunCli(args, 30000, profile);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message.toLocal8Bit()), r.err.constData());
        if (exitCode == 2)
            QCOMPARE(receivedBySim(log), QStringList()); // nothing reached the module
    }

    void busyPortNamesTheReason()
    {
        SimProcess sim({});
        QVERIFY(sim.isRunning());
        const int fd = ::open(QFile::encodeName(sim.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const CliResult r = RunCli({"--port", sim.path(), "info"});
        ::close(fd);
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains("in use"), r.err.constData());
    }

    void send_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("cliArgs");
        QTest::addColumn<QStringList>("received");
        QTest::newRow("plain") << QStringList{"--mode", "operation"} << QStringList{}
                               << QStringList{"#A", "t12321122", "T4560"};
        QTest::newRow("checksummed module") << QStringList{"--mode", "operation", "--checksum"} << QStringList{}
                                            << QStringList{"#A", "#A64", "t1232112202", "T456023"};
        // As the window's pair test: no probe, whatever the mode, no checksums added.
        QTest::newRow("no probe") << QStringList{"--mode", "config"} << QStringList{"--no-probe"}
                                  << QStringList{"t12321122", "T4560"};
    }
    void send()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, cliArgs);
        QFETCH(QStringList, received);
        const QString log = file(QStringLiteral("send-%1.log").arg(QTest::currentDataTag()).replace(' ', '_'));
        SimProcess sim(simArgs + QStringList{"--log", log});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli(QStringList{"--port", sim.path(), "send", "t12321122", "T4560"} + cliArgs);
        QCOMPARE(r.exitCode, 0);
        QTRY_COMPARE(receivedBySim(log), received);
    }

    void monitor_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("lines") << "lines" << R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} [tTeE][0-9A-F]+$)";
        QTest::newRow("candump") << "candump" << R"(^\(\d+\.\d{6}\) k3316 ([0-9A-F]{3}|[0-9A-F]{8})#([0-9A-F]*|R\d?)$)";
        QTest::newRow("csv") << "csv"
                             << R"(^\d{4}-\d\d-\d\dT[0-9:.]+Z,[tTeE],([0-9A-F]{3}|[0-9A-F]{8}),\d,[0-9A-F]*,,[tTeE][0-9A-F]+\r$)";
    }
    void monitor()
    {
        QFETCH(QString, format);
        QFETCH(QString, pattern);
        SimProcess sim({"--mode", "operation", "--traffic", "200", "--traffic-count", "7", "--traffic-after", "50"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "monitor", "--format", format, "--count", "7"});
        QCOMPARE(r.exitCode, 0);
        QStringList lines = linesOf(r.out);
        if (format == QLatin1String("csv"))
            QCOMPARE(lines.takeFirst(), QStringLiteral("time,kind,id,dlc,data,checksum,raw\r"));
        QCOMPARE(lines.size(), 7);
        const QRegularExpression re(pattern);
        for (const QString &line : lines)
            QVERIFY2(re.match(line).hasMatch(), qPrintable(line));
    }

    // A busy bus fills the probe's reply; without the probe the lines are simply read.
    void monitorWithoutAProbeReadsABusyBus()
    {
        const QString log = file("noprobe.log");
        SimProcess sim({"--mode", "operation", "--traffic", "500", "--traffic-now", "--log", log});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "monitor", "--no-probe", "--count", "20", "--format", "candump"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(linesOf(r.out).size() >= 19); // the first line read may have begun before the port was opened
        QCOMPARE(receivedBySim(log), QStringList());
    }

    void monitorEndsAfterItsSeconds()
    {
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "monitor", "--seconds", "0.3"}, 10000);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.isEmpty());
    }

    void ctrlCEndsMonitorWithCompleteLines()
    {
        SimProcess sim({"--mode", "operation", "--traffic", "500", "--traffic-after", "50"});
        QVERIFY(sim.isRunning());
        QProcess cli;
        cli.start(CliExecutable(), {"--port", sim.path(), "monitor"});
        QVERIFY(cli.waitForStarted());
        QByteArray out;
        QTRY_VERIFY((out += cli.readAllStandardOutput()).count('\n') >= 20);
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(5000));
        out += cli.readAllStandardOutput();
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(out.endsWith('\n'));
    }

    void signalStopsASetBetweenExchanges_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("word");
        QTest::newRow("Ctrl+C") << int(SIGINT) << 130 << QByteArray("interrupted");
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << QByteArray("terminated");
    }
    void signalStopsASetBetweenExchanges()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, word);
        const QString log = file(QStringLiteral("interrupted-%1.log").arg(signal));
        SimProcess sim({"--delay", "300", "--log", log});
        QVERIFY(sim.isRunning());
        QProcess cli;
        cli.start(CliExecutable(), {"--port", sim.path(), "--timeout", "1000", "set", "-"});
        QVERIFY(cli.waitForStarted());
        cli.write(profileText("125K", true));
        cli.closeWriteChannel();
        QTRY_VERIFY(receivedBySim(log).size() >= 2); // the probe was answered, identification runs
        ::kill(pid_t(cli.processId()), signal);
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), exitCode);
        QVERIFY(cli.readAllStandardError().contains(word));
        QCOMPARE(receivedBySim(log).filter(QRegularExpression("^\\$")), QStringList()); // nothing written
    }

    void helpNamesEveryCommand()
    {
        const CliResult r = RunCli({"--help"});
        QCOMPARE(r.exitCode, 0);
        for (const char *command : {"info", "get", "set PROFILE", "defaults", "send LINE", "monitor", "--no-probe", "130", "143"})
            QVERIFY2(r.out.contains(command), command);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
