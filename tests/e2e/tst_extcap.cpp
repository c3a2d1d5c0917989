// k3316-extcap with Debian's tshark: tshark finds its interfaces in the personal extcap folder,
// captures the virtual module's frames through it and reads them back; the capture step on its
// own leaves out what is no frame and ends when Wireshark stops it or the module is lost.

#include "support/CliRun.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString extcapExecutable()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/k3316-extcap");
}

QString tshark()
{
    return QStandardPaths::findExecutable(QStringLiteral("tshark"));
}

// tshark with a scratch home, so the personal extcap folder is ours and nothing of the
// machine's own Wireshark settings counts.
QProcessEnvironment homeAt(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    return env;
}

// Each frame of a pcap as candump writes it ("123#11AB", "7FF#R3"), read by tshark.
QStringList framesReadByTshark(const QString &file, QString &problem)
{
    QProcess p;
    p.start(tshark(), {"-r", file, "-T", "fields", "-E", "separator=,", "-e", "can.id", "-e", "can.flags.xtd", "-e",
                       "can.flags.rtr", "-e", "can.len", "-e", "data.data"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        problem = QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    QStringList frames;
    for (const QString &line : QString::fromLatin1(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(',');
        if (f.size() != 5) {
            problem = QStringLiteral("unexpected line from tshark: ") + line;
            return {};
        }
        const bool extended = f[1] == QLatin1String("1");
        QString frame = QStringLiteral("%1#").arg(f[0].toUInt(), extended ? 8 : 3, 16, QLatin1Char('0')).toUpper();
        if (f[2] == QLatin1String("1"))
            frame += QLatin1Char('R') + (f[3] == QLatin1String("0") ? QString() : f[3]);
        else
            frame += f[4].toUpper();
        frames << frame;
    }
    return frames;
}

// Waits up to `ms` for `p` to end; one that does not is killed, and false is returned.
bool endsWithin(QProcess &p, int ms)
{
    if (p.waitForFinished(ms))
        return true;
    p.kill();
    p.waitForFinished(5000);
    return false;
}

// tshark with `arguments`, the personal extcap folder of `home` its own.
void startTshark(QProcess &p, const QString &home, const QStringList &arguments)
{
    p.setProcessEnvironment(homeAt(home));
    p.start(tshark(), arguments);
}

// The capture step as Wireshark starts it, on `port` without a probe, into `fifo`.
void startCapture(QProcess &p, const QString &port, const QString &fifo)
{
    p.start(extcapExecutable(), {"--capture", "--extcap-interface", "k3316", "--port", port, "--no-probe", "--fifo", fifo});
}

} // namespace

class TestExtcap : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // The program in a scratch home's personal extcap folder, which Wireshark 4.0 searches.
    QString installPersonal()
    {
        const QString folder = m_dir.filePath(QStringLiteral("home/.config/wireshark/extcap"));
        if (!QDir().mkpath(folder))
            return QString();
        const QString target = folder + QStringLiteral("/k3316-extcap");
        QFile::remove(target);
        if (!QFile::copy(extcapExecutable(), target))
            return QString();
        return m_dir.filePath(QStringLiteral("home"));
    }

private slots:
    void initTestCase()
    {
        if (tshark().isEmpty())
            QFAIL("tshark is missing: install it (scripts/install-deps.sh does)");
        QVERIFY(QFile::exists(extcapExecutable()));
    }

    void tsharkListsTheInterfaces()
    {
        const QString home = installPersonal();
        QVERIFY(!home.isEmpty());
        QProcess p;
        startTshark(p, home, {QStringLiteral("-D")});
        QVERIFY(endsWithin(p, 60000));
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        QVERIFY2(out.contains(QLatin1String(". k3316 (K-3316 CAN, port typed in the options)\n")), qPrintable(out));
    }

    // The same node (same seed) once read by k3316-cli, once captured by tshark through
    // k3316-extcap: the same frames.
    void tsharkCapturesTheModulesFrames()
    {
        const QString home = installPersonal();
        QVERIFY(!home.isEmpty());
        const QStringList node = {"--mode", "operation", "--traffic", "100", "--traffic-count", "12", "--traffic-after", "100"};
        QStringList expected;
        {
            SimProcess sim(node);
            QVERIFY(sim.isRunning());
            const CliResult r = RunCli({"--port", sim.path(), "monitor", "--format", "candump", "--count", "12"});
            QCOMPARE(r.exitCode, 0);
            for (const QString &l : QString::fromLatin1(r.out).split('\n', Qt::SkipEmptyParts))
                expected << l.section(QLatin1Char(' '), 2);
        }
        QCOMPARE(expected.size(), 12);
        QVERIFY(expected.join(' ').contains('R')); // remote frames among them

        SimProcess sim(node);
        QVERIFY(sim.isRunning());
        const QString file = m_dir.filePath(QStringLiteral("capture.pcap"));
        QProcess p;
        startTshark(p, home, {"-i", "k3316", "-o", "extcap.k3316.port:" + sim.path(), "-c", "12", "-w", file});
        QVERIFY2(endsWithin(p, 60000) && p.exitCode() == 0, p.readAllStandardError().constData());
        QString problem;
        QCOMPARE(framesReadByTshark(file, problem), expected);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // A capture that cannot start fails in tshark too (a fifo that ends before its header), with
    // the module's message and its likely cause.
    void failedStartFailsTshark_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong baud rate") << QStringList{"--mode", "operation", "--baud", "9600"}
                                         << "no answer at 115200 bit/s: the module's RS-232 rate may differ";
        QTest::newRow("configuration mode") << QStringList{"--mode", "config"} << "a capture needs operation mode";
    }
    void failedStartFailsTshark()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, message);
        const QString home = installPersonal();
        QVERIFY(!home.isEmpty());
        SimProcess sim(simArgs);
        QVERIFY(sim.isRunning());
        QProcess p;
        startTshark(p, home, {"-i", "k3316", "-o", "extcap.k3316.port:" + sim.path(), "-c", "1", "-w",
                              m_dir.filePath(QStringLiteral("failed.pcap"))});
        QVERIFY(endsWithin(p, 60000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitCode() != 0, err.constData());
        QVERIFY2(err.contains(message.toUtf8()), err.constData());
    }

    // Lines that are no frame, and a frame whose checksum is wrong, are not written; SIGTERM
    // (Wireshark's stop) ends the capture with 0.
    void captureWritesFramesOnlyUntilStopped()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString file = m_dir.filePath(QStringLiteral("lines.pcap"));
        QProcess p;
        startCapture(p, pty.slavePath(), file);
        QVERIFY(p.waitForStarted());
        // The port is open once a frame comes through.
        QTRY_VERIFY_WITH_TIMEOUT((pty.write("t0010\r"), QFileInfo(file).size() > 24), 10000);
        // Five frames follow the first ones, then 777 to mark the end: 32 bytes each (record header
        // and frame). The size is taken before they are written: the capture may write them at once.
        const qint64 before = QFileInfo(file).size();
        QVERIFY(pty.write("t1230\r!P0\rt12303B\rhello\re000000012AABB\r?\rT7FF3\rt12303A\r\nt7FF0\rt7770\r"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() >= before + 6 * 32, 10000);
        QString problem;
        QStringList frames = framesReadByTshark(file, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        while (!frames.isEmpty() && frames.first() == QLatin1String("001#"))
            frames.removeFirst();
        QCOMPARE(frames, (QStringList{"123#", "00000001#AABB", "7FF#R3", "123#", "7FF#", "777#"}));
        // Frames that reach the port along with the stop are written too: held still, the
        // capture finds both at once when it goes on.
        QByteArray last;
        for (int i = 0; i < 50; ++i)
            last += "t5" + QByteArray::number(i).rightJustified(2, '0') + "0\r";
        ::kill(pid_t(p.processId()), SIGSTOP);
        QVERIFY(pty.write(last));
        ::kill(pid_t(p.processId()), SIGTERM);
        ::kill(pid_t(p.processId()), SIGCONT);
        QVERIFY(endsWithin(p, 5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        frames = framesReadByTshark(file, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(frames.size() >= 50 ? frames.mid(frames.size() - 50).first() : QString(), QStringLiteral("500#"));
        QCOMPARE(frames.last(), QStringLiteral("549#"));
    }

    // Wireshark closing the fifo ends the capture even while the bus is quiet.
    void readerClosingTheFifoEndsTheCapture()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QProcess p;
        startCapture(p, pty.slavePath(), fifo);
        QVERIFY(p.waitForStarted());
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        QByteArray header;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     char buffer[64];
                                     const ssize_t n = ::read(reader, buffer, sizeof buffer);
                                     if (n > 0)
                                         header.append(buffer, n);
                                     return header.size() >= 24;
                                 }()),
                                 10000);
        QCOMPARE(header.left(4), QByteArray("\xd4\xc3\xb2\xa1"));
        ::close(reader);
        QVERIFY(endsWithin(p, 5000));
        QCOMPARE(p.exitCode(), 0);
    }

    // A module that goes away ends the capture with the usual message, which Wireshark shows.
    void lostModuleEndsTheCaptureWithItsMessage()
    {
        auto pty = std::make_unique<PtyPair>();
        QVERIFY(pty->isValid());
        const QString file = m_dir.filePath(QStringLiteral("lost.pcap"));
        QProcess p;
        startCapture(p, pty->slavePath(), file);
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT((pty->write("t0010\r"), QFileInfo(file).size() > 24), 10000);
        pty->closeMaster();
        QVERIFY(endsWithin(p, 5000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(p.readAllStandardError().contains("Connection Lost!"), "no message");
    }

    void badUsageSaysWhy()
    {
        QProcess p;
        p.start(extcapExecutable(), {"--capture", "--extcap-interface", "k3316", "--fifo", m_dir.filePath("x.pcap")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("needs a port"));
        QVERIFY(!QFile::exists(m_dir.filePath("x.pcap")));
    }
};

QTEST_GUILESS_MAIN(TestExtcap)
#include "tst_extcap.moc"
