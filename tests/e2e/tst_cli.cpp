// k3316-cli against the virtual module: every command, its output and its exit code.

#include "support/CliRun.h"
#include "support/FakeModule.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QJsonObject jsonOf(const QByteArray &out)
{
    return QJsonDocument::fromJson(out.trimmed()).object();
}

QByteArray profileText(const QString &canBaud, bool pair, const QString &checksums = QStringLiteral("No"))
{
    QJsonObject o{{"format", "k3316-profile"}, {"version", 1},
                  {"rs232_baudrate", "115200"}, {"data_bit", "8"}, {"stop_bit", "2"}, {"parity", "Even"},
                  {"add_checksum", checksums}, {"error_response", checksums},
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

// Whether process `pid` has a handler installed for `signal` (its SigCgt mask).
bool catchesSignal(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // engine.dbc: a few messages; every.dbc: a message for each of the 2,048 standard identifiers,
    // so every standard frame of the virtual module's random traffic is known.
    void writeDatabases()
    {
        QFile engine(file("engine.dbc"));
        QVERIFY(engine.open(QIODevice::WriteOnly));
        engine.write("BO_ 291 Engine: 2 A\n SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" B\n"
                     "BO_ 2566844672 Trip: 8 A\n SG_ Distance : 0|32@1+ (1,0) [0|0] \"m\" B\n"
                     "BO_ 256 Wide: 8 A\n SG_ Level : 0|32@1- (1,0) [0|0] \"\" B\n SG_ Mode : 32|8@1+ (1,0) [0|0] \"\" B\n"
                     "BO_ 257 Big: 8 A\n SG_ Count : 0|64@1+ (1,0) [0|0] \"\" B\n"
                     "BO_ 258 Muxed: 3 A\n SG_ Sel M : 0|8@1+ (1,0) [0|0] \"\" B\n" // a unit in Windows-1252
                     " SG_ Temp m1 : 8|16@1- (0.5,-40) [0|0] \"\xB0" "C\" B\n SG_ Gear m2 : 8|8@1- (1,0) [0|0] \"\" B\n"
                     "VAL_ 256 Mode 0 \"Off\" 1 \"On\" 2 \"Error\" ;\nSIG_VALTYPE_ 256 Level : 1;\n"
                     "VAL_ 258 Gear -1 \"Re\tverse \\\"R\\\"\" 0 \"\" ;\n");
        engine.close();
        QFile bad(file("bad.dbc"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("BO_ 291 Engine: 2 A\n SG_ Speed : 0|16@3+ (0.1,0) [0|6553.5] \"km/h\" B\n");
        bad.close();
        QVERIFY(::mkfifo(QFile::encodeName(file("fifo")).constData(), 0600) == 0);
        QFile log(file("can.log"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("(1765280000.123456) can0 123#1027\n");
        log.close();
        QFile every(file("every.dbc"));
        QVERIFY(every.open(QIODevice::WriteOnly));
        for (int id = 0; id < 2048; ++id)
            every.write(QStringLiteral("BO_ %1 M%2: 8 A\n SG_ B0 : 0|8@1+ (1,0) [0|0] \"\" B\n")
                            .arg(id).arg(id, 3, 16, QLatin1Char('0')).toUpper().toLatin1());
    }

private slots:
    void initTestCase() { writeDatabases(); }

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
        QTest::addColumn<QString>("checksums");  // the profile's add_checksum and error_response
        QTest::addColumn<QStringList>("adjusted");
        QTest::newRow("stored as sent") << QStringList{} << 0 << QStringList{}
                                        << "$P121140000001231FFFFFFF000004561112" << "No" << QStringList{};
        QTest::newRow("confirms but stores another baud rate") << QStringList{"--misstore"} << 1 << QStringList{"can_baudrate"}
                                                               << "$P121140000001231FFFFFFF000004561112" << "No"
                                                               << QStringList{};
        QTest::newRow("level 1: the short form") << QStringList{"--firmware", "1.10"} << 0 << QStringList{}
                                                 << "$P115140000001231FFFFFFF" << "No" << QStringList{};
        // As the window's page: pair connection turns both off, and the user is told.
        QTest::newRow("pair connection with checksums: adjusted") << QStringList{} << 0 << QStringList{}
                                                                  << "$P121140000001231FFFFFFF000004561112" << "Yes"
                                                                  << QStringList{"add_checksum", "error_response"};
    }
    void set()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(int, exitCode);
        QFETCH(QStringList, differing);
        QFETCH(QString, canCommand);
        QFETCH(QString, checksums);
        QFETCH(QStringList, adjusted);
        const QString log = file(QStringLiteral("set-%1.log").arg(QTest::currentDataTag()).replace(' ', '_'));
        SimProcess sim(simArgs + QStringList{"--log", log});
        QVERIFY(sim.isRunning());
        QFile profile(file("set.json"));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(profileText("125K", true, checksums));
        profile.close();

        const CliResult r = RunCli({"--port", sim.path(), "--json", "set", profile.fileName()});
        QCOMPARE(r.exitCode, exitCode);
        const QJsonObject o = jsonOf(r.out);
        QCOMPARE(o.value("ok").toBool(), exitCode == 0);
        QStringList keys;
        for (const QJsonValue &d : o.value("differing").toArray())
            keys << d.toObject().value("key").toString();
        QCOMPARE(keys, differing);
        QStringList adjustedKeys;
        for (const QJsonValue &a : o.value("adjusted").toArray()) {
            adjustedKeys << a.toObject().value("key").toString();
            QCOMPARE(a.toObject().value("from").toString(), checksums);
            QCOMPARE(a.toObject().value("to").toString(), QStringLiteral("No"));
        }
        QCOMPARE(adjustedKeys, adjusted);
        for (const QString &key : adjusted)
            QVERIFY2(r.err.contains(("adjusted " + key + ": \"Yes\" -> \"No\"").toUtf8()), r.err.constData());

        // The same lines as the window: probe, identification, settings read, the two writes
        // (checksummed), then the read-back.
        const QStringList rx = ReceivedBySim(log);
        QCOMPARE(rx.mid(0, 6), (QStringList{"#A", "#PV", "#PC", "#PM", "#P0", "#P1"}));
        QCOMPARE(rx.value(6).left(12), QStringLiteral("$P0090B31200"));
        QCOMPARE(rx.value(7).chopped(2), canCommand);
        QCOMPARE(rx.mid(8), (QStringList{"#P0", "#P1"}));

        const CliResult text = RunCli({"--port", sim.path(), "set", profile.fileName()});
        QCOMPARE(text.exitCode, exitCode);
        // One verdict: never "Setting OK!!!" for a write the module does not hold.
        QCOMPARE(text.out.contains("Setting OK!!!"), exitCode == 0);
        QCOMPARE(text.out.contains("Setting Failed!!!"), exitCode != 0);
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
        const QStringList rx = ReceivedBySim(log);
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
        QTest::newRow("signal not in the message") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Engine", "Rpm=1"}
                                                   << QByteArray() << 2 << "Engine has no signal Rpm";
        QTest::newRow("signal value out of range") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Engine", "Speed=7000"}
                                                   << QByteArray() << 2 << "Speed: 7000 is outside its range [0, 6553.5]";
        QTest::newRow("no such message") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Gearbox"}
                                         << QByteArray() << 2 << "no message Gearbox";
        QTest::newRow("value not a number") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Engine", "Speed=fast"}
                                            << QByteArray() << 2 << "Speed: expected a number, found \"fast\"";
        QTest::newRow("no value") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Engine", "Speed"}
                                  << QByteArray() << 2 << "SIGNAL=VALUE";
        QTest::newRow("signal given twice") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Engine", "Speed=1", "Speed=2"}
                                            << QByteArray() << 2 << "Speed is given twice";
        QTest::newRow("beyond a 32-bit float") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Wide", "Level=1e39"}
                                               << QByteArray() << 2 << "Level: 1e+39 does not fit its 32-bit float";
        QTest::newRow("not a value text") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Wide", "Mode=Maybe"}
                                          << QByteArray() << 2 << "expected a number or one of its value texts (Off, On, Error)";
        QTest::newRow("64 bits, one past") << QStringList{"--port", "PORT", "send", "--dbc", "DBC", "Big", "Count=18446744073709551616"}
                                           << QByteArray() << 2 << "Count: 18446744073709551616 does not fit its 64 bits (range [0, 18446744073709551615])";
        QTest::newRow("database is a FIFO") << QStringList{"--port", "PORT", "send", "--dbc", "FIFO", "Engine", "Speed=1"}
                                            << QByteArray() << 2 << "is a FIFO, not a regular file";
        QTest::newRow("database is a log") << QStringList{"--port", "PORT", "send", "--dbc", "LOG", "Engine", "Speed=1"}
                                           << QByteArray() << 2 << "can.log: not a CAN database";
        QTest::newRow("transmit list is a FIFO") << QStringList{"--port", "PORT", "transmit", "FIFO"} << QByteArray() << 2
                                                 << "is a FIFO, not a regular file";
        QTest::newRow("transmit /dev/zero") << QStringList{"--port", "PORT", "transmit", "/dev/zero"} << QByteArray() << 2
                                            << "/dev/zero is a device, not a regular file";
        QTest::newRow("play a FIFO") << QStringList{"--port", "PORT", "play", "FIFO"} << QByteArray() << 2
                                     << "is a FIFO, not a regular file";
        QTest::newRow("decode a FIFO") << QStringList{"decode", "--dbc", "DBC", "FIFO"} << QByteArray() << 2
                                       << "is a FIFO, not a regular file";
        QTest::newRow("database with an error") << QStringList{"--port", "PORT", "send", "--dbc", "BAD", "Engine", "Speed=1"}
                                                << QByteArray() << 2 << "bad.dbc:2:19: expected byte order";
        QTest::newRow("wrong baud rate names the likely cause")
            << QStringList{"--port", "PORT", "--baud", "9600", "info"} << QByteArray() << 1
            << "no answer at 9600 bit/s: the module's RS-232 rate may differ; try --baud with the module's rate, or --no-probe";
        QTest::newRow("configuration command in operation mode") << QStringList{"--port", "PORT", "get"} << QByteArray() << 1
                                                                 << "operation mode";
        QTest::newRow("send checks every line first") << QStringList{"--port", "PORT", "send", "t1230", "t12\r3"}
                                                      << QByteArray() << 2 << "carriage return";
        QTest::newRow("a bad line before a missing port") << QStringList{"--port", "/dev/k3316-none", "send", "t12\r3"}
                                                          << QByteArray() << 2 << "carriage return";
        QTest::newRow("a character outside Latin-1, as the window says")
            << QStringList{"--port", "PORT", "send", "t1230", "e€1"} << QByteArray() << 2
            << "The line was not sent: the character \"€\" (U+20AC) at position 2 cannot be sent";
        QTest::newRow("profile from a device") << QStringList{"--port", "PORT", "set", "/dev/zero"} << QByteArray() << 2
                                               << "/dev/zero is a device, not a regular file";
        QTest::newRow("profile from a terminal") << QStringList{"--port", "PORT", "set", "PORT"} << QByteArray() << 2
                                                 << "is a terminal, not a regular file";
        QTest::newRow("profile over 1 MB") << QStringList{"--port", "PORT", "set", "-"} << QByteArray((1 << 20) + 1, ' ')
                                           << 2 << "too large";
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
        args.replaceInStrings(QRegularExpression("^DBC$"), file("engine.dbc"));
        args.replaceInStrings(QRegularExpression("^BAD$"), file("bad.dbc"));
        args.replaceInStrings(QRegularExpression("^FIFO$"), file("fifo"));
        args.replaceInStrings(QRegularExpression("^LOG$"), file("can.log"));
        const CliResult r = RunCli(args, 30000, profile);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message.toLocal8Bit()), r.err.constData());
        if (exitCode == 2)
            QCOMPARE(ReceivedBySim(log), QStringList()); // nothing reached the module
    }

    // A full disk (or a closed pipe) under standard output is a failure, never a silent success.
    void outputThatCannotBeWrittenFails_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("cliArgs");
        QTest::newRow("get") << QStringList{} << QStringList{"get"};
        QTest::newRow("info") << QStringList{} << QStringList{"--json", "info"};
        QTest::newRow("monitor") << QStringList{"--mode", "operation", "--traffic", "500", "--traffic-after", "50"}
                                 << QStringList{"monitor", "--format", "candump", "--count", "50"};
        QTest::newRow("help") << QStringList{} << QStringList{"--help"};
        // Containers still being packed on workers when the disk is full.
        QFile log(file("full-disk.log"));
        if (log.open(QIODevice::WriteOnly))
            for (int i = 0; i < 40000; ++i)
                log.write(QStringLiteral("(1765280000.%1) can0 123#%2\n").arg(i * 10, 6, 10, QLatin1Char('0')).arg(i, 8, 16, QLatin1Char('0')).toLatin1());
        QTest::newRow("convert to BLF") << QStringList{} << QStringList{"convert", log.fileName(), "-", "--format", "blf"};
    }
    void outputThatCannotBeWrittenFails()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, cliArgs);
        SimProcess sim(simArgs);
        QVERIFY(sim.isRunning());
        QProcess cli;
        cli.setStandardOutputFile(QStringLiteral("/dev/full"));
        cli.start(CliExecutable(), QStringList{"--port", sim.path()} + cliArgs);
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1);
        const QByteArray err = cli.readAllStandardError();
        QVERIFY2(err.contains("cannot write standard output: No space left on device"), err.constData());
    }

    void profileFromATerminalOnStandardInputIsRefused()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QProcess cli;
        cli.setStandardInputFile(pty.slavePath());
        cli.start(CliExecutable(), {"--port", "/dev/k3316-none", "set", "-"});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 2);
        const QByteArray err = cli.readAllStandardError();
        QVERIFY2(err.contains("standard input is a terminal"), err.constData());
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
        QTRY_COMPARE(ReceivedBySim(log), received);
    }

    // A device that goes away while a line is being written is a lost connection, as transmit
    // and play say, not a failed send.
    void sendToADeviceLostMidLine_data()
    {
        // How many bytes of the three 100001-byte lines the device takes before it goes away.
        // It takes 4096 of a line and nothing more: the pseudo-terminal holds far less than the
        // rest of that line, so the line cannot have been written whole when the device goes.
        QTest::addColumn<int>("taken");
        QTest::addColumn<bool>("lost");
        QTest::newRow("in the first line") << 4096 << true;
        QTest::newRow("in the second line") << 100001 + 4096 << true;
        QTest::newRow("in the last line") << 2 * 100001 + 4096 << true;
        // Every line was taken whole before the device went: sent, whatever came after.
        QTest::newRow("after the last line") << 3 * 100001 << false;
    }
    void sendToADeviceLostMidLine()
    {
        QFETCH(int, taken);
        QFETCH(bool, lost);
        PtyPair pty; // a module that takes `taken` bytes, then nothing more until it goes away
        QVERIFY(pty.isValid());
        const QString line = QString(100000, QLatin1Char('x'));
        QProcess cli;
        cli.start(CliExecutable(), {"--port", pty.slavePath(), "--no-probe", "send", line, line, line});
        QVERIFY(cli.waitForStarted());
        const QByteArray framed = line.toLatin1() + '\r';
        QCOMPARE(pty.readExactly(taken, 10000), (framed + framed + framed).left(taken));
        pty.closeMaster();
        QVERIFY(cli.waitForFinished(10000));
        const QByteArray err = cli.readAllStandardError();
        QVERIFY2(cli.exitCode() == (lost ? 1 : 0),
                 qPrintable(QStringLiteral("exit code %1: %2").arg(cli.exitCode()).arg(QString::fromLocal8Bit(err))));
        if (lost)
            QVERIFY2(err.contains("Connection Lost!") && !err.contains("Failed"), err.constData());
        else
            QVERIFY2(err.isEmpty(), err.constData());
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

    // Every standard frame is a message of every.dbc, its byte 0 the signal B0.
    void monitorDecodesWithADatabase()
    {
        SimProcess sim({"--mode", "operation", "--traffic", "200", "--traffic-count", "20", "--traffic-after", "50"});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "monitor", "--dbc", file("every.dbc"), "--format", "json", "--count", "20"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = linesOf(r.out);
        QCOMPARE(lines.size(), 20);
        int named = 0;
        for (const QString &line : lines) {
            const QJsonObject o = jsonOf(line.toUtf8());
            QVERIFY2(o.value("time").toDouble() > 1.7e9, qPrintable(line));
            const QString kind = o.value("kind").toString();
            if (kind == "t" || kind == "T") {
                QCOMPARE(o.value("message").toString(), "M" + o.value("id").toString());
                const QByteArray data = QByteArray::fromHex(o.value("data").toString().toLatin1()); // none when remote
                const QJsonObject b0 = o.value("signals").toObject().value("B0").toObject();
                if (data.isEmpty())
                    QVERIFY(b0.value("value").isNull());
                else
                    QCOMPARE(b0.value("raw").toInt(), int(uint8_t(data[0])));
                ++named;
            } else {
                QVERIFY2(o.value("message").isNull() && o.value("signals").toObject().isEmpty(), qPrintable(line));
            }
        }
        QVERIFY(named > 0);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // or a part of the error for exit code 2
        QTest::newRow("candump -l line as JSON")
            << QByteArray("(1765280000.123456) can0 123#1027\n") << "json" << 0
            << QByteArray("{\"time\": 1765280000.123456, \"kind\": \"t\", \"id\": \"123\", \"extended\": false, \"remote\": false, "
                          "\"dlc\": 2, \"data\": \"1027\", \"checksum\": null, \"message\": \"Engine\", "
                          "\"signals\": {\"Speed\": {\"raw\": 10000, \"value\": 1000.0, \"unit\": \"km/h\", \"text\": null}}}\n");
        QTest::newRow("extended and unknown frames as JSON")
            << QByteArray("(1765280000.500000) k3316 18FEF100#E8030000000000AA\n(1765280001.000000) k3316 7FF#R\n") << "json" << 0
            << QByteArray("{\"time\": 1765280000.500000, \"kind\": \"e\", \"id\": \"18FEF100\", \"extended\": true, \"remote\": false, "
                          "\"dlc\": 8, \"data\": \"E8030000000000AA\", \"checksum\": null, \"message\": \"Trip\", "
                          "\"signals\": {\"Distance\": {\"raw\": 1000, \"value\": 1000.0, \"unit\": \"m\", \"text\": null}}}\n"
                          "{\"time\": 1765280001.000000, \"kind\": \"T\", \"id\": \"7FF\", \"extended\": false, \"remote\": true, "
                          "\"dlc\": 0, \"data\": \"\", \"checksum\": null, \"message\": null, \"signals\": {}}\n");
        // One message seen again and again: its names are escaped once and must stay right.
        const QByteArray frame = "\"time\": %1.000000, \"kind\": \"%2\", \"id\": \"%3\", \"extended\": false, \"remote\": %4, \"dlc\": ";
        const auto head = [&frame](int second, const char *kind, const char *id, bool remote = false) {
            return "{" + QByteArray(frame).replace("%1", QByteArray::number(second)).replace("%2", kind).replace("%3", id)
                             .replace("%4", remote ? "true" : "false");
        };
        QTest::newRow("float, 64 bits, multiplexed, value texts, Windows-1252 unit as JSON")
            << QByteArray("(1.0) can0 100#0000C03F01\n(2.0) can0 101#FFFFFFFFFFFFFFFF\n(3.0) can0 102#01A000\n(4.0) can0 102#02FF\n"
                          "(5.0) can0 102#0200\n(6.0) can0 102#03\n(7.0) can0 102#R\n(8.0) can0 102#01A000\n") << "json" << 0
            << head(1, "t", "100") + "5, \"data\": \"0000C03F01\", \"checksum\": null, \"message\": \"Wide\", \"signals\": "
                   "{\"Level\": {\"raw\": 1069547520, \"value\": 1.5, \"unit\": \"\", \"text\": null}, "
                   "\"Mode\": {\"raw\": 1, \"value\": 1.0, \"unit\": \"\", \"text\": \"On\"}}}\n"
                   + head(2, "t", "101") + "8, \"data\": \"FFFFFFFFFFFFFFFF\", \"checksum\": null, \"message\": \"Big\", \"signals\": "
                   "{\"Count\": {\"raw\": 18446744073709551615, \"value\": 18446744073709551616.0, \"unit\": \"\", \"text\": null}}}\n"
                   + head(3, "t", "102") + "3, \"data\": \"01A000\", \"checksum\": null, \"message\": \"Muxed\", \"signals\": "
                   "{\"Sel\": {\"raw\": 1, \"value\": 1.0, \"unit\": \"\", \"text\": null}, "
                   "\"Temp\": {\"raw\": 160, \"value\": 40.0, \"unit\": \"\xC2\xB0" "C\", \"text\": null}}}\n"
                   + head(4, "t", "102") + "2, \"data\": \"02FF\", \"checksum\": null, \"message\": \"Muxed\", \"signals\": "
                   "{\"Sel\": {\"raw\": 2, \"value\": 2.0, \"unit\": \"\", \"text\": null}, "
                   "\"Gear\": {\"raw\": -1, \"value\": -1.0, \"unit\": \"\", \"text\": \"Re\\tverse \\\"R\\\"\"}}}\n"
                   + head(5, "t", "102") + "2, \"data\": \"0200\", \"checksum\": null, \"message\": \"Muxed\", \"signals\": "
                   "{\"Sel\": {\"raw\": 2, \"value\": 2.0, \"unit\": \"\", \"text\": null}, "
                   "\"Gear\": {\"raw\": 0, \"value\": 0.0, \"unit\": \"\", \"text\": null}}}\n"
                   + head(6, "t", "102") + "1, \"data\": \"03\", \"checksum\": null, \"message\": \"Muxed\", \"signals\": "
                   "{\"Sel\": {\"raw\": 3, \"value\": 3.0, \"unit\": \"\", \"text\": null}}}\n"
                   + head(7, "T", "102", true) + "0, \"data\": \"\", \"checksum\": null, \"message\": \"Muxed\", \"signals\": "
                   "{\"Sel\": {\"raw\": null, \"value\": null, \"unit\": \"\", \"text\": null}}}\n"
                   + head(8, "t", "102") + "3, \"data\": \"01A000\", \"checksum\": null, \"message\": \"Muxed\", \"signals\": "
                   "{\"Sel\": {\"raw\": 1, \"value\": 1.0, \"unit\": \"\", \"text\": null}, "
                   "\"Temp\": {\"raw\": 160, \"value\": 40.0, \"unit\": \"\xC2\xB0" "C\", \"text\": null}}}\n";
        QTest::newRow("one CSV row per signal")
            << QByteArray("(1765280000.123456) can0 123#1027\n(1765280000.223456) can0 124#00\n(1765280000.323456) can0 123#FF\n") << "csv" << 0
            << QByteArray("time,message,signal,value,unit\r\n2025-12-09T11:33:20.123456Z,Engine,Speed,1000,km/h\r\n"
                          "2025-12-09T11:33:20.323456Z,Engine,Speed,,km/h\r\n");
        QTest::newRow("bad log line") << QByteArray("(1765280000.123456) can0 123#1027\nnot a frame\n") << "json" << 2
                                      << QByteArray("decode.log:2");
        QTest::newRow("ASC, told by its content")
            << QByteArray("base hex  timestamps absolute\n   1.500000 1  123             Rx   d 2 10 27\n") << "csv" << 0
            << QByteArray("time,message,signal,value,unit\r\n1970-01-01T00:00:01.500000Z,Engine,Speed,1000,km/h\r\n");
        QTest::newRow("FD frames left out, counted")
            << QByteArray("(1.000000) can0 123##11027\n(2.000000) can0 123#1027\n") << "csv" << 0
            << QByteArray("time,message,signal,value,unit\r\n1970-01-01T00:00:02.000000Z,Engine,Speed,1000,km/h\r\n");
        QTest::newRow("BLF header that lies") << QByteArray("LOGG\xFF\xFF\xFF\x7F") << "json" << 2
                                              << QByteArray("decode.log: byte 4: a BLF header length of 2147483647 bytes");
    }

    // convert: any log in, any log out, standard input and output included; no port.
    void convert_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // a part of standard output, or of the error for other exit codes
        const QByteArray candump = "(1765280000.000000) can0 123#1027\n(1765280000.250000) can0 12345678#R3\n"
                                   "(1765280001.000000) can0 7FF#\n(1765280002.000000) can0 100##1AA\n";
        QTest::newRow("candump to ASC on standard output")
            << candump << QStringList{"-", "-", "--format", "asc"} << 0
            << QByteArray("   0.250000 1  12345678x       Rx   r 3\n   1.000000 1  7FF             Rx   d 0\nEnd TriggerBlock\n");
        QTest::newRow("identifiers and a time window chosen")
            << candump << QStringList{"-", "-", "--format", "candump", "--ids", "100-7FF", "--from", "0.5", "--to", "3"} << 0
            << QByteArray("(1765280001.000000) k3316 7FF#\n");
        QTest::newRow("FD frames counted on the error output")
            << candump << QStringList{"-", "-", "--format", "candump"} << 0 << QByteArray("1 CAN FD or error frame(s) were left out");
        QTest::newRow("a bad line names its line")
            << QByteArray("(1.0) can0 123#10\n(2.0) can0 1234#10\n") << QStringList{"-", "-", "--format", "csv"} << 2
            << QByteArray("standard input:2: expected a frame");
        QTest::newRow("output of no known ending") << candump << QStringList{"-", "out.txt"} << 2
                                                   << QByteArray("out.txt: name the output .log (candump)");
        QTest::newRow("--to before --from") << candump << QStringList{"-", "-", "--from", "2", "--to", "1"} << 2
                                            << QByteArray("--to must not come before --from");
    }
    // A file is replaced only by a whole conversion: a bad input leaves the old one as it was.
    void convertReplacesAFileOnlyWhenWhole()
    {
        const QString out = m_dir.filePath("kept.blf");
        CliResult r = RunCli({"convert", "-", out}, 30000, "(1765280000.000000) can0 123#1027\n");
        QCOMPARE(r.exitCode, 0);
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray before = written.readAll();
        written.close();
        QVERIFY(before.startsWith("LOGG"));
        r = RunCli({"convert", "-", out}, 30000, "(1765280001.000000) can0 123#10\n(x) can0 1#\n");
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("standard input:2:"), r.err.constData());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), before);
    }

    // Ctrl+C while a conversion waits for more input, its workers holding containers: exit 130,
    // the old file as it was, no half-written file left beside it.
    void ctrlCStopsAConversionAndKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("inputFormat");
        QTest::addColumn<QString>("output");
        QTest::newRow("candump in, BLF out") << "candump" << "stopped.blf";
        QTest::newRow("BLF in, candump out") << "blf" << "stopped.log";
    }
    void ctrlCStopsAConversionAndKeepsTheOldFile()
    {
        QFETCH(QString, inputFormat);
        QFETCH(QString, output);
        QByteArray input;
        for (int i = 0; i < 40000; ++i) // over a dozen containers
            input += QStringLiteral("(1765280000.%1) can0 %2#%3\n")
                         .arg(i * 10, 6, 10, QLatin1Char('0'))
                         .arg(0x100 + i % 0x600, 3, 16, QLatin1Char('0'))
                         .arg(i, 8, 16, QLatin1Char('0'))
                         .toLatin1();
        if (inputFormat == QLatin1String("blf")) {
            const CliResult r = RunCli({"convert", "-", "-", "--format", "blf"}, 30000, input);
            QCOMPARE(r.exitCode, 0);
            input = r.out;
        }
        QTemporaryDir dir;
        const QString out = dir.filePath(output);
        QFile old(out);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the old log\n");
        old.close();
        QProcess cli;
        cli.start(CliExecutable(), {"convert", "-", out, "--format", inputFormat == QLatin1String("blf") ? "candump" : "blf"});
        QVERIFY(cli.waitForStarted());
        QTRY_VERIFY(catchesSignal(cli.processId(), SIGINT));
        cli.write(input); // standard input stays open: the conversion waits for more
        QTRY_VERIFY_WITH_TIMEOUT(cli.bytesToWrite() == 0, 20000);
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 130);
        QVERIFY(cli.readAllStandardError().contains("interrupted"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the old log\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{output});
    }

    void convert()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        const CliResult r = RunCli(QStringList{"convert"} + args, 30000, input);
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 0 && !out.contains("left out"))
            QVERIFY2(r.out.endsWith(out), r.out.constData());
        else
            QVERIFY2(r.err.contains(out), r.err.constData());
    }
    void decode()
    {
        QFETCH(QByteArray, log);
        QFETCH(QString, format);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFile file(m_dir.filePath("decode.log"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(log);
        file.close();
        const CliResult r = RunCli({"decode", "--dbc", this->file("engine.dbc"), file.fileName(), "--format", format});
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 0)
            QCOMPARE(r.out, out);
        else
            QVERIFY2(r.err.contains(out), r.err.constData());
    }

    // A log through a pipe is read to its end, never as empty.
    void decodeReadsAPipe_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("-") << "-";
        QTest::newRow("/dev/stdin") << "/dev/stdin";
    }
    void decodeReadsAPipe()
    {
        QFETCH(QString, name);
        const CliResult r = RunCli({"decode", "--dbc", file("engine.dbc"), name, "--format", "csv"}, 30000,
                                   "(1765280000.123456) can0 123#1027\n(1765280000.223456) can0 123#0200\n");
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out, QByteArray("time,message,signal,value,unit\r\n2025-12-09T11:33:20.123456Z,Engine,Speed,1000,km/h\r\n"
                                   "2025-12-09T11:33:20.223456Z,Engine,Speed,0.2,km/h\r\n"));
    }

    // A BLF through a pipe that stays open: the frames of the containers that came are decoded
    // while the writer has not finished (the containers unpacked ahead never wait on the pipe).
    void decodeOfABlfPipeGoesOnBeforeItsEnd()
    {
        QByteArray candump;
        for (int i = 0; i < 10000; ++i) // a few containers
            candump += QStringLiteral("(1765280000.%1) can0 123#1027\n").arg(i * 10, 6, 10, QLatin1Char('0')).toLatin1();
        const CliResult blf = RunCli({"convert", "-", "-", "--format", "blf"}, 30000, candump);
        QCOMPARE(blf.exitCode, 0);
        QProcess cli;
        cli.start(CliExecutable(), {"decode", "--dbc", file("engine.dbc"), "-", "--format", "csv"});
        QVERIFY(cli.waitForStarted());
        cli.write(blf.out);
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += cli.readAllStandardOutput()).contains("Engine,Speed,1000,km/h"), 20000);
        QCOMPARE(cli.state(), QProcess::Running); // still waiting for the rest
        cli.closeWriteChannel();
        QVERIFY(cli.waitForFinished(20000));
        out += cli.readAllStandardOutput();
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(out.count("Engine,Speed,1000,km/h"), 10000);
    }

    // The line of a message built from signal values is the composer's line, checksum and all.
    void sendFromSignalValues_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("line");
        QTest::newRow("standard") << QStringList{"--mode", "operation"} << QStringList{"Engine", "Speed=1000"} << "t12321027";
        QTest::newRow("rounded to the nearest raw value") << QStringList{"--mode", "operation"} << QStringList{"Engine", "Speed=0.06"} << "t12320100";
        QTest::newRow("extended, signals not given are 0") << QStringList{"--mode", "operation"} << QStringList{"Trip", "Distance=1000"}
                                                           << "e18FEF1008E803000000000000";
        QTest::newRow("checksummed module") << QStringList{"--mode", "operation", "--checksum"} << QStringList{"Engine", "Speed=1000"}
                                            << "t12321027";
        QTest::newRow("a value text, as the composer takes it") << QStringList{"--mode", "operation"} << QStringList{"Wide", "Mode=on"}
                                                                << "t10080000000001000000";
        QTest::newRow("64 bits, every one") << QStringList{"--mode", "operation"} << QStringList{"Big", "Count=18446744073709551615"}
                                            << "t1018FFFFFFFFFFFFFFFF";
        QTest::newRow("the same database twice under two names")
            << QStringList{"--mode", "operation"} << QStringList{"--dbc", "SAME", "Engine", "Speed=1000"} << "t12321027";
    }
    void sendFromSignalValues()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, values);
        QFETCH(QString, line);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        // The same line typed as text must reach the module exactly as the encoded one.
        const QString typedLog = file("typed-" + tag + ".log"), encodedLog = file("encoded-" + tag + ".log");
        {
            SimProcess sim(simArgs + QStringList{"--log", typedLog});
            QVERIFY(sim.isRunning());
            QCOMPARE(RunCli({"--port", sim.path(), "send", line}).exitCode, 0);
            QTRY_VERIFY(!ReceivedBySim(typedLog).isEmpty() && ReceivedBySim(typedLog).last().startsWith(line));
        }
        SimProcess sim(simArgs + QStringList{"--log", encodedLog});
        QVERIFY(sim.isRunning());
        values.replaceInStrings(QRegularExpression("^SAME$"), m_dir.path() + "/./engine.dbc");
        const CliResult r = RunCli(QStringList{"--port", sim.path(), "send", "--dbc", file("engine.dbc")} + values);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QTRY_COMPARE(ReceivedBySim(encodedLog), ReceivedBySim(typedLog));
    }

    // The binary and foreign log formats, printed or recorded with -o, read back by their own
    // readers: 7 frames each.
    void monitorWritesLogsTheirReadersRead_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("record");
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QStringList>("readerArgs"); // the file's name follows
        QTest::addColumn<QByteArray>("framesIn");    // what marks a frame in the file, for the TRC row
        const QString python = QStringLiteral("/usr/bin/python3"); // Debian's, with Debian's python-can
        const QString count = QStringLiteral("import sys, can\n"
                                             "r = can.ASCReader if sys.argv[1].endswith('.asc') else can.TRCReader\n"
                                             "print('\\n'.join('%X' % m.arbitration_id for m in r(sys.argv[1])))\n");
        const QStringList tsharkArgs{"-T", "fields", "-e", "can.id", "-r"};
        QTest::newRow("pcap") << "pcap" << false << "tshark" << tsharkArgs << QByteArray();
        QTest::newRow("pcap recorded") << "pcap" << true << "tshark" << tsharkArgs << QByteArray();
        QTest::newRow("ASC") << "asc" << false << python << QStringList{"-c", count} << QByteArray();
        QTest::newRow("ASC recorded") << "asc" << true << python << QStringList{"-c", count} << QByteArray();
        // python-can reads TRC data frames only
        QTest::newRow("TRC") << "trc" << false << python << QStringList{"-c", count} << QByteArray(" DT ");
    }
    void monitorWritesLogsTheirReadersRead()
    {
        QFETCH(QString, format);
        QFETCH(bool, record);
        QFETCH(QString, reader);
        QFETCH(QStringList, readerArgs);
        QFETCH(QByteArray, framesIn);
        SimProcess sim({"--mode", "operation", "--traffic", "200", "--traffic-count", "7", "--traffic-after", "50"});
        QVERIFY(sim.isRunning());
        const QString path = file("bus." + format);
        QFile::remove(path);
        // Recorded: the ending names the format.
        const QStringList how = record ? QStringList{"-o", path} : QStringList{"--format", format};
        const CliResult r = RunCli(QStringList{"--port", sim.path(), "monitor", "--count", "7"} + how);
        QCOMPARE(r.exitCode, 0);
        QByteArray written = r.out;
        if (record) {
            QVERIFY(r.out.isEmpty());
            QFile in(path);
            QVERIFY(in.open(QIODevice::ReadOnly));
            written = in.readAll();
        } else {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QCOMPARE(out.write(r.out), r.out.size());
        }
        QProcess p;
        p.start(reader, readerArgs + QStringList{path});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const int frames = framesIn.isEmpty() ? 7 : int(written.count(framesIn));
        QCOMPARE(int(p.readAllStandardOutput().count('\n')), frames);
        if (format == QLatin1String("asc"))
            QVERIFY(written.endsWith("End TriggerBlock\n"));
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
        QCOMPARE(ReceivedBySim(log), QStringList());
    }

    // The stream as the window reads it: the bytes after the probe's reply first, CR LF lines,
    // frames with a wrong checksum left out of candump and counted, and -o FILE recording.
    void monitorReadsTheStreamAsTheWindowDoes_data()
    {
        QTest::addColumn<QByteArray>("probeReply");
        QTest::addColumn<QByteArray>("later");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("record"); // -o FILE in the test's directory, or /dev/...; empty: none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("frames"); // identifiers and data of the candump lines
        QTest::addColumn<QString>("complaint"); // in standard error
        QTest::newRow("CR LF, a line begun in the probe's read")
            << QByteArray("!R2.05\r\nt4") << QByteArray("561AA\r\nt1230\r\n") << QStringList{"--format", "candump", "--count", "2"} << ""
            << 0 << QByteArray("456#AA 123#") << "";
        QTest::newRow("wrong checksum left out of candump")
            << QByteArray("!R2.05\r") << QByteArray("t12303A\rt12303B\rt12303A\r") << QStringList{"--format", "candump", "--count", "3"} << ""
            << 0 << QByteArray("123# 123#") << "1 frame(s) with a wrong checksum were left out";
        QTest::newRow("-o FILE.log records")
            << QByteArray("!R2.05\r") << QByteArray("t12303A\rt12303B\rt4561AA\r\n") << QStringList{"--format", "candump", "--count", "3"}
            << "rec.log" << 0 << QByteArray("123# 456#AA") << "1 frame(s) with a wrong checksum were left out";
        QTest::newRow("-o on a full disk") << QByteArray("!R2.05\r") << QByteArray("t1230\rt4560\r")
                                           << QStringList{"--format", "candump", "--count", "2"} << "/dev/full" << 1 << QByteArray()
                                           << "Cannot write \"/dev/full\": No space left on device";
        QTest::newRow("-o with no format") << QByteArray("!R2.05\r") << QByteArray() << QStringList{"--count", "1"}
                                           << "rec.txt" << 2 << QByteArray() << "name the file .log";
    }
    void monitorReadsTheStreamAsTheWindowDoes()
    {
        QFETCH(QByteArray, probeReply);
        QFETCH(QByteArray, later);
        QFETCH(QStringList, options);
        QFETCH(QString, record);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, frames);
        QFETCH(QString, complaint);
        FakeModule module;
        module.reply = [&](const QByteArray &line) {
            if (line != "#A")
                return QByteArray();
            QTimer::singleShot(100, &module, [&] { module.send(later); });
            return probeReply;
        };
        const QString path = record.startsWith(QLatin1Char('/')) ? record : file(record);
        QStringList args{"--port", module.path(), "monitor"};
        args << options;
        if (!record.isEmpty())
            args << "-o" << path;
        QProcess cli;
        cli.start(CliExecutable(), args);
        QVERIFY(cli.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(cli.state() == QProcess::NotRunning, 10000);
        const QByteArray err = cli.readAllStandardError();
        QCOMPARE(cli.exitCode(), exitCode);
        QVERIFY2(complaint.isEmpty() ? err.isEmpty() : err.contains(complaint.toLatin1()), err.constData());
        QByteArray out = cli.readAllStandardOutput();
        if (!record.isEmpty()) {
            QVERIFY(out.isEmpty()); // the lines went to the file
            QFile f(path);
            // (a device such as /dev/full reads without end)
            out = !path.startsWith(QLatin1String("/dev/")) && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        QList<QByteArray> ids;
        for (const QByteArray &line : out.split('\n'))
            if (!line.isEmpty())
                ids << line.mid(line.indexOf(" k3316 ") + 7);
        QCOMPARE(ids.join(' '), frames);
        if (exitCode == 2)
            QVERIFY(module.lines.isEmpty()); // refused before the port was opened
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
        QTest::addColumn<bool>("profileComes"); // false: standard input stays open and empty
        QTest::newRow("Ctrl+C") << int(SIGINT) << 130 << QByteArray("interrupted") << true;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << QByteArray("terminated") << true;
        QTest::newRow("Ctrl+C while the profile is awaited") << int(SIGINT) << 130 << QByteArray("interrupted") << false;
        QTest::newRow("SIGTERM while the profile is awaited") << int(SIGTERM) << 143 << QByteArray("terminated") << false;
    }
    void signalStopsASetBetweenExchanges()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, word);
        QFETCH(bool, profileComes);
        const QString log = file(QStringLiteral("interrupted-%1.log").arg(signal));
        SimProcess sim({"--delay", "300", "--log", log});
        QVERIFY(sim.isRunning());
        QProcess cli;
        cli.start(CliExecutable(), {"--port", sim.path(), "--timeout", "1000", "set", "-"});
        QVERIFY(cli.waitForStarted());
        if (profileComes) {
            cli.write(profileText("125K", true));
            cli.closeWriteChannel();
            QTRY_VERIFY(ReceivedBySim(log).size() >= 2); // the probe was answered, identification runs
        } else {
            QTRY_VERIFY(catchesSignal(cli.processId(), signal)); // the tool is up and reading
        }
        ::kill(pid_t(cli.processId()), signal);
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), exitCode);
        QVERIFY(cli.readAllStandardError().contains(word));
        QCOMPARE(ReceivedBySim(log).filter(QRegularExpression("^\\$")), QStringList()); // nothing written
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
