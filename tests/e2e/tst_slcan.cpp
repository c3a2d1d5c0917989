// `k3316-cli slcan` against the virtual module, with python-can's slcan interface (Debian's
// python3-can, python3-serial opening the pseudo-terminal by path) and with the terminal itself.

#include "protocol/Framing.h"
#include "support/CliRun.h"
#include "support/SimProcess.h"
#include "support/SlcanProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The tool's side, raw, as python-serial and slcand set it.
class Terminal {
public:
    explicit Terminal(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Terminal()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes) { return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    // Reads until `done` holds for what came, the line hangs up, or 10 s pass.
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done(m_seen) && !m_hungUp && clock.elapsed() < 10000)
            readSome(100);
        return m_seen;
    }
    // Waits up to `ms` for bytes and takes them.
    void readSome(int ms)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return;
        char buffer[65536];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            m_seen.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            m_hungUp = true;
    }
    QByteArray take() { return std::exchange(m_seen, QByteArray()); }
    bool hungUp() const { return m_hungUp; }

private:
    int m_fd = -1;
    QByteArray m_seen;
    bool m_hungUp = false;
};

// What python-can sends (ID#DATA, ID#R<dlc> remote, more than 3 digits extended), the
// composer's line the module gets, and the frame as the client script prints it back.
struct TFrameCase {
    const char *sent, *moduleLine, *printed;
};
const TFrameCase kFrames[] = {
    {"000#", "t0000", "0 0 0 0 -"},
    {"001#11", "t001111", "1 0 0 1 11"},
    {"002#1122", "t00221122", "2 0 0 2 1122"},
    {"003#112233", "t0033112233", "3 0 0 3 112233"},
    {"004#11223344", "t004411223344", "4 0 0 4 11223344"},
    {"005#1122334455", "t00551122334455", "5 0 0 5 1122334455"},
    {"006#112233445566", "t0066112233445566", "6 0 0 6 112233445566"},
    {"007#11223344556677", "t007711223344556677", "7 0 0 7 11223344556677"},
    {"7FF#1122334455667788", "t7FF81122334455667788", "7FF 0 0 8 1122334455667788"},
    {"7FF#R5", "T7FF5", "7FF 0 1 5 -"},
    {"1ABCDEF#0102", "e01ABCDEF20102", "1ABCDEF 1 0 2 0102"},
    {"1FFFFFFF#R8", "E1FFFFFFF8", "1FFFFFFF 1 1 8 -"},
    {"00000000#", "e000000000", "0 1 0 0 -"},
};

struct ClientRun {
    int exitCode = -1;
    QStringList out;
    QByteArray err;
};

ClientRun runClient(const QString &path, const QString &bitrate, int count, const QStringList &frames)
{
    QProcess client;
    client.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(K3316_SLCAN_CLIENT), path, bitrate, QString::number(count)} + frames);
    ClientRun run;
    if (!client.waitForStarted(5000) || !client.waitForFinished(60000))
        return run;
    run.exitCode = client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
    run.out = QString::fromLatin1(client.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.err = client.readAllStandardError();
    return run;
}

} // namespace

class TestSlcan : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    // Every kind of frame both ways: python-can's frames reach the module as the composer's
    // lines (checksummed when the module wants it), and the module's echo of them reaches
    // python-can whole and in order.
    void pythonCanFramesBothWays_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("toolSpeed"); // python-can's "@BAUD" after the path
        QTest::newRow("plain") << QStringList{} << "";
        QTest::newRow("checksummed module") << QStringList{"--checksum"} << "";
        QTest::newRow("tool at 9600 bit/s") << QStringList{} << "@9600";
    }
    void pythonCanFramesBothWays()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, toolSpeed);
        const QString log = m_dir.filePath(QStringLiteral("both-%1.log").arg(QTest::currentDataTag()).replace('/', '-'));
        SimProcess sim(simArgs + QStringList{"--mode", "operation", "--echo", "--log", log});
        QVERIFY(sim.isRunning());
        SlcanProcess slcan(sim.path(), {}, {"--bitrate", "500K"});
        QVERIFY2(!slcan.path().isEmpty(), slcan.errors().constData());

        QStringList sent, expected{QStringLiteral("version 2 5 0205")}, lines;
        for (const TFrameCase &frame : kFrames) {
            sent << frame.sent;
            expected << frame.printed;
            lines << QString::fromLatin1(Framing::FrameLine(frame.moduleLine, !simArgs.isEmpty()).chopped(1));
        }
        const ClientRun client = runClient(slcan.path() + toolSpeed, QStringLiteral("500000"), int(sent.size()), sent);
        QVERIFY2(client.exitCode == 0, client.err.constData());
        QCOMPARE(client.out, expected);
        QTRY_COMPARE(ReceivedBySim(log, false), lines);
        QCOMPARE(slcan.stop(SIGTERM), 143);
        // python-can's S6 matched the module's rate: no refusal.
        QVERIFY2(slcan.errors().contains("13 frames to the tool (0 dropped unread), 13 from the tool (0 not sent)")
                     && !slcan.errors().contains("refused"),
                 slcan.errors().constData());
    }

    // python-can's bit rate against the module's own: the same is taken, any other refused
    // with one line naming both; the pseudo-terminal's link goes at the end, whatever ends it.
    void pythonCanBitRate_data()
    {
        QTest::addColumn<QStringList>("slcanArgs");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QString>("stderrHas"); // empty: no refusal
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("another rate") << QStringList{"--bitrate", "500K"} << "250000"
                                      << "a CAN bit rate of 250K (S5), but the module runs at 500K" << SIGINT << 130;
        QTest::newRow("83.3K") << QStringList{"--bitrate", "83.3K"} << "83300" << "" << SIGINT << 130;
        QTest::newRow("rate not known") << QStringList{} << "125000" << "the module's rate is not known" << SIGTERM << 143;
        QTest::newRow("no rate asked") << QStringList{} << "-" << "" << SIGTERM << 143;
    }
    void pythonCanBitRate()
    {
        QFETCH(QStringList, slcanArgs);
        QFETCH(QString, bitrate);
        QFETCH(QString, stderrHas);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        const QString link = m_dir.filePath(QStringLiteral("can-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
        SlcanProcess slcan(sim.path(), {}, slcanArgs + QStringList{"--link", link});
        QVERIFY2(!slcan.path().isEmpty(), slcan.errors().constData());
        QCOMPARE(QFileInfo(link).symLinkTarget(), slcan.path());

        const ClientRun client = runClient(link, bitrate, 0, {});
        QVERIFY2(client.exitCode == 0, client.err.constData());
        QCOMPARE(slcan.stop(signal), exitCode);
        const QByteArray errors = slcan.errors();
        if (stderrHas.isEmpty())
            QVERIFY2(!errors.contains("refused"), errors.constData());
        else
            QVERIFY2(errors.count("refused") == 1 && errors.contains(stderrHas.toLatin1()), errors.constData());
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    // The adapter's commands on the terminal itself: answers, open and close, stamps.
    void commandsOnTheTerminal()
    {
        const QString log = m_dir.filePath(QStringLiteral("commands.log"));
        SimProcess sim({"--mode", "operation", "--echo", "--log", log});
        QVERIFY(sim.isRunning());
        SlcanProcess slcan(sim.path(), {}, {"--bitrate", "125K"});
        QVERIFY(!slcan.path().isEmpty());
        Terminal tool(slcan.path());
        QVERIFY(tool.isOpen());
        const QList<QPair<QByteArray, QByteArray>> exchanges = {
            {"S4\rO\rt1230\r", "\r\rz\rt1230\r"},               // the frame comes back as the module echoes it
            {"C\rt1230\rO\r", "\r\a\r"},                        // closed: nothing went out
            {"t123" + QByteArray(70, '0') + "\rt8000\r", "\a\a"}, // over 64 bytes; over 7FF
            {"F\rV\rN\r", "F00\rV0205\rN0205\r"},
            {"L\rT000001230\rO\r", "\r\a\r"},                   // listen-only sends nothing
        };
        for (const auto &exchange : exchanges) {
            const QByteArray answer = exchange.second; // a lambda takes no structured binding in clang 14
            QVERIFY(tool.write(exchange.first));
            const QByteArray seen = tool.readUntil([&](const QByteArray &s) { return s.size() >= answer.size(); });
            QCOMPARE(seen, answer);
            tool.take();
        }
        QVERIFY(tool.write("Z1\rR1FFFFFFF2\r"));
        const QByteArray stamped = tool.readUntil([](const QByteArray &s) { return s.count('\r') == 3; });
        QVERIFY2(QRegularExpression("^\\rZ\\rR1FFFFFFF2[0-9A-F]{4}\\r$").match(QString::fromLatin1(stamped)).hasMatch(),
                 stamped.toHex().constData());
        QTRY_COMPARE(ReceivedBySim(log, false), QStringList({"t1230", "E1FFFFFFF2"}));
    }

    // A tool that writes faster than the line takes frames: each is answered, none is lost or
    // reordered on the way to the module.
    void floodOfFramesArrivesWhole()
    {
        const QString log = m_dir.filePath(QStringLiteral("flood.log"));
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        SlcanProcess slcan(sim.path());
        QVERIFY(!slcan.path().isEmpty());
        Terminal tool(slcan.path());
        QByteArray flood = "O\r";
        QStringList expected;
        for (int i = 0; i < 400; ++i) {
            const QByteArray frame = "t" + QByteArray::number(i, 16).toUpper().rightJustified(3, '0') + "1" +
                                     QByteArray::number(i % 256, 16).toUpper().rightJustified(2, '0');
            flood += frame + "\r";
            expected << QString::fromLatin1(frame);
        }
        QVERIFY(tool.write(flood));
        const QByteArray answers = tool.readUntil([](const QByteArray &s) { return s.count('\r') >= 401; });
        QCOMPARE(answers, "\r" + QByteArray("z\r").repeated(400));
        QTRY_COMPARE_WITH_TIMEOUT(ReceivedBySim(log, false), expected, 10000);
    }

    // A link that cannot be made: exit 3 with the reason, and a file in its place is left as it was.
    void linkRefused_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a regular file") << "file" << "exists and is not a symbolic link";
        QTest::newRow("no such folder") << "none/can0" << "No such file or directory";
    }
    void linkRefused()
    {
        QFETCH(QString, link);
        QFETCH(QString, reason);
        QFile file(m_dir.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        file.close();
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        const CliResult run = RunCli({"--port", sim.path(), "slcan", "--link", m_dir.filePath(link)});
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains(reason.toLatin1()), run.err.constData());
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "kept");
    }

    // The module lost: the tool's terminal hangs up, the link goes, exit 1 with the loss.
    void moduleLostHangsUpTheTerminal()
    {
        auto sim = std::make_unique<SimProcess>(QStringList{"--mode", "operation"});
        QVERIFY(sim->isRunning());
        const QString link = m_dir.filePath(QStringLiteral("lost"));
        SlcanProcess slcan(sim->path(), {}, {"--link", link});
        QVERIFY(!slcan.path().isEmpty());
        Terminal tool(slcan.path());
        QVERIFY(tool.write("O\r"));
        QCOMPARE(tool.readUntil([](const QByteArray &s) { return !s.isEmpty(); }), QByteArray("\r"));
        sim.reset();
        QVERIFY(slcan.process().waitForFinished(10000));
        QCOMPARE(slcan.process().exitCode(), 1);
        QVERIFY2(slcan.errors().contains("Connection Lost!"), slcan.errors().constData());
        tool.readUntil([](const QByteArray &) { return false; });
        QVERIFY(tool.hungUp());
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // A tool that stops reading at the line rate: frames for it are dropped at the bound,
    // said on standard error and flagged in F; once it reads again, it gets frames again.
    void toolThatStopsReadingLosesFrames()
    {
        // A busy bus would fill the probe's reply: no probe.
        SimProcess sim({"--mode", "operation", "--traffic", "max", "--traffic-now"});
        QVERIFY(sim.isRunning());
        SlcanProcess slcan(sim.path(), {"--no-probe"});
        QVERIFY(!slcan.path().isEmpty());
        Terminal tool(slcan.path());
        QVERIFY(tool.write("O\r"));
        QTRY_VERIFY_WITH_TIMEOUT(slcan.errors().contains("the tool does not read"), 60000);
        tool.readUntil([&](const QByteArray &) { return slcan.errors().contains("the tool reads again"); });
        QVERIFY2(slcan.errors().contains("the tool reads again"), slcan.errors().constData());
        tool.take();
        QVERIFY(tool.write("F\r"));
        const QRegularExpression flags("\\rF[0-9A-F]{2}\\r");
        const QByteArray seen = tool.readUntil([&](const QByteArray &s) { return flags.match(QString::fromLatin1(s)).hasMatch(); });
        QVERIFY2(seen.contains("\rF09\r"), seen.right(100).constData());
        const QByteArray more = tool.readUntil([&](const QByteArray &s) { return s.size() > seen.size() + 100; });
        QVERIFY(QRegularExpression("\\r[tTrR][0-9A-F]{3}").match(QString::fromLatin1(more.mid(seen.size()))).hasMatch());
        QCOMPARE(slcan.stop(SIGTERM), 143);
        const QRegularExpressionMatch dropped =
            QRegularExpression("\\((\\d+) dropped unread\\)").match(QString::fromLatin1(slcan.errors()));
        QVERIFY2(dropped.hasMatch() && dropped.captured(1).toLongLong() > 0, slcan.errors().constData());
    }
};

QTEST_GUILESS_MAIN(TestSlcan)
#include "tst_slcan.moc"
