// The k3316-sim program itself: what it prints, its link, its pseudo-terminal and how it ends.

#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString simProgram()
{
    const QString fromHarness = qEnvironmentVariable("K3316_SIM");
    return fromHarness.isEmpty() ? QCoreApplication::applicationDirPath() + "/k3316-sim"
                                 : fromHarness;
}

// The utility's end of the line, opened the way a serial port is.
class Line {
public:
    explicit Line(const QString &path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Line() { close(); }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool setSpeed(speed_t speed)
    {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return false;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }
    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything received so far; never blocks.
    QByteArray received()
    {
        char buffer[1024];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, n);
        return m_received;
    }
    void forget() { m_received.clear(); }
    int queued() const
    {
        int count = 0;
        ::ioctl(m_fd, FIONREAD, &count);
        return count;
    }

private:
    int m_fd = -1;
    QByteArray m_received;
};

QByteArray fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_sim;
    QString m_path;

    // Starts the program and waits for the line that names its device.
    bool start(const QStringList &args)
    {
        m_sim.start(simProgram(), args);
        if (!m_sim.waitForStarted(10000))
            return false;
        while (!m_sim.canReadLine() && m_sim.waitForReadyRead(10000)) {
        }
        const QString first = QString::fromLocal8Bit(m_sim.readLine());
        const QRegularExpressionMatch match =
            QRegularExpression("^k3316-sim: (/dev/pts/[0-9]+)\n$").match(first);
        if (!match.hasMatch()) {
            qWarning() << "first line:" << first;
            return false;
        }
        m_path = match.captured(1);
        return true;
    }

    bool endWith(int signal)
    {
        ::kill(pid_t(m_sim.processId()), signal);
        return m_sim.waitForFinished(10000) && m_sim.exitStatus() == QProcess::NormalExit
            && m_sim.exitCode() == 0;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(QFileInfo(simProgram()).isExecutable(), qPrintable(simProgram()));
    }

    void cleanup()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished(10000);
        }
    }

    void printsItsPathLinksItAndAnswersTheProbe()
    {
        const QString link = m_dir.filePath("ttyK3316");
        QVERIFY(start({"--link", link}));
        QCOMPARE(QFileInfo(link).symLinkTarget(), m_path);

        Line line(link);
        QVERIFY(line.isOpen());
        QVERIFY(line.write("#A\r"));
        QTRY_COMPARE(line.received(), QByteArray("!S2.05\r"));
        line.close();

        QVERIFY(endWith(SIGTERM));
        QVERIFY(!QFileInfo::exists(link));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void readsTheSpeedTheProgramSet()
    {
        QVERIFY(start({"--verbose"}));
        Line line(m_path);
        QVERIFY(line.isOpen());
        QVERIFY(line.setSpeed(B9600));
        QVERIFY(line.write("#A\r"));
        QTRY_COMPARE(line.received().size(), 6);
        QCOMPARE(line.received(), QByteArray("\xF8\xF8\x80\x80\x80\xF8"));

        line.forget();
        QVERIFY(line.setSpeed(B115200));
        QVERIFY(line.write("#PM\r"));
        QTRY_COMPARE(line.received(), QByteArray("!MK-3316\r"));
        QByteArray log; // collected: each look takes what has come
        QTRY_VERIFY((log += m_sim.readAllStandardError()).contains("rx #PM\n"));
        QCOMPARE(log, QByteArray("rx #A\nrx #PM\n"));
        QVERIFY(endWith(SIGINT));
    }

    void reopeningStartsAFreshSession()
    {
        const QString log = m_dir.filePath("sim.log");
        QVERIFY(start({"--mode", "operation", "--echo", "--log", log}));
        {
            Line first(m_path);
            QVERIFY(first.isOpen());
            QCOMPARE(::ioctl(first.fd(), TIOCEXCL), 0);
            QVERIFY(first.write("t1230\r"));
            QTRY_VERIFY(fileText(log).contains("rx t1230\n"));
            QTRY_COMPARE(first.queued(), 6); // the echo waits unread as the port closes
        }
        Line second(m_path);
        QVERIFY(second.isOpen());
        // The claim ends with its holder's close, after the unread echo was dropped: an
        // unprivileged program could open the port now and finds nothing old on it.
        int exclusive = -1;
        QTRY_VERIFY(::ioctl(second.fd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
        QVERIFY(second.write("#A\r"));
        QTRY_COMPARE(second.received(), QByteArray("!R2.05\r"));
        QCOMPARE(fileText(log), QByteArray("rx t1230\nrx #A\n"));
        QVERIFY(endWith(SIGTERM));
    }

    void replacesAnOldLinkButNoOtherFile()
    {
        const QString link = m_dir.filePath("ttyOld");
        QVERIFY(QFile::link("/nonexistent/tty", link));
        QVERIFY(start({"--link", link}));
        QCOMPARE(QFileInfo(link).symLinkTarget(), m_path);
        QVERIFY(endWith(SIGTERM));
        QVERIFY(!QFileInfo(link).isSymLink());

        const QString plain = m_dir.filePath("plain");
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
        file.close();
        m_sim.start(simProgram(), {"--link", plain});
        QVERIFY(m_sim.waitForFinished(10000));
        QCOMPARE(m_sim.exitCode(), 1);
        QVERIFY(m_sim.readAllStandardOutput().isEmpty());
        QCOMPARE(fileText(plain), QByteArray("keep"));
    }

    // What a newcomer sees on the demo module decodes with the shipped database.
    void demoTrafficDecodesWithTheDemoDatabase()
    {
        TDbcDatabase db;
        QString error;
        const QString dbc = qEnvironmentVariable("K3316_SOURCE_DIR") + "/examples/demo.dbc";
        QVERIFY2(db.LoadFile(dbc, error), qPrintable(error));
        QVERIFY(start({"--demo"}));
        Line line(m_path);
        QVERIFY(line.isOpen());
        QVERIFY(line.write("#A\r"));
        // The slowest message comes once a second.
        QTRY_VERIFY_WITH_TIMEOUT(line.received().contains("\rt7A08"), 20000);
        QList<QByteArray> lines = line.received().split('\r');
        lines.removeLast(); // perhaps cut short
        QCOMPARE(lines.takeFirst(), QByteArray("!R2.05"));
        QSet<QString> seen;
        for (const QByteArray &text : lines) {
            const bool extended = text.startsWith('e');
            const int digits = extended ? 8 : 3;
            const TDbcMessage *message = db.Find(text.mid(1, digits).toUInt(nullptr, 16), extended);
            QVERIFY2(message, text.constData());
            const QByteArray data = QByteArray::fromHex(text.mid(2 + digits));
            QCOMPARE(text.mid(1 + digits, 1).toInt(), message->Dlc);
            seen.insert(message->Name);
            for (const TDecodedSignal &d : DecodeSignals(*message, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size())))
                QVERIFY2(d.Value >= d.Signal->Minimum && d.Value <= d.Signal->Maximum, text.constData());
        }
        QCOMPARE(seen.size(), db.Messages().size());
        QVERIFY(endWith(SIGTERM));
    }

    void refusesBadOptions()
    {
        m_sim.start(simProgram(), {"--mode", "sleep"});
        QVERIFY(m_sim.waitForFinished(10000));
        QCOMPARE(m_sim.exitCode(), 2);
        QVERIFY(m_sim.readAllStandardError().contains("--mode"));

        m_sim.start(simProgram(), {"--help"});
        QVERIFY(m_sim.waitForFinished(10000));
        QCOMPARE(m_sim.exitCode(), 0);
        QVERIFY(m_sim.readAllStandardOutput().contains("k3316-sim: PATH"));
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
