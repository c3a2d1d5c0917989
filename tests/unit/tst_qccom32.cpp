// The serial port component against a real pseudo-terminal: the test plays the device.

#include "serial/PosixSerial.h"
#include "serial/QCCom32.h"
#include "support/LineSpeedProbe.h"
#include "support/MessageBoxRecorder.h"
#include "support/PtyPair.h"
#include "ui/dialogs/PortMessages.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

long VoluntarySwitches()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_nvcsw;
}

// Nanoseconds this thread has been runnable (on a processor or waiting for one), or -1 where
// the kernel does not keep the figure.
qint64 RunnableNs()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    return fields.size() >= 2 ? fields[0].toLongLong() + fields[1].toLongLong() : -1;
}

// Tells a wait that blocks from one that spins, whatever the machine's load: a blocking wait
// wakes a few times (passes of the event loop, sleeps ended) and is runnable for a small part of
// the time; one that polls or whose notifier keeps firing wakes thousands of times, and one
// that spins without sleeping is runnable all along, busy machine or not.
class WakeUpMeter {
public:
    WakeUpMeter() : m_switches(VoluntarySwitches()), m_runnableNs(RunnableNs())
    {
        m_wall.start();
        if (auto *dispatcher = QAbstractEventDispatcher::instance()) {
            m_connections[0] = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] { ++m_passes; });
            m_connections[1] = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] { ++m_passes; });
        }
    }
    ~WakeUpMeter()
    {
        for (const QMetaObject::Connection &c : m_connections)
            QObject::disconnect(c);
    }
    WakeUpMeter(const WakeUpMeter &) = delete;
    WakeUpMeter &operator=(const WakeUpMeter &) = delete;

    qint64 count() const { return m_passes + (VoluntarySwitches() - m_switches); }
    double runnableShare() const
    {
        const qint64 now = RunnableNs();
        if (now < 0 || m_runnableNs < 0)
            return 0; // not measured here: the wake-ups alone decide
        return double(now - m_runnableNs) / double(std::max<qint64>(m_wall.nsecsElapsed(), 1));
    }
    // Far above what a blocking wait of a few hundred milliseconds needs, far below a spin.
    bool blocked() const { return count() < 500 && runnableShare() < 0.8; }
    QByteArray report() const
    {
        return "woke up " + QByteArray::number(count()) + " times, runnable " +
               QByteArray::number(runnableShare() * 100, 'f', 0) + "% of the time: the wait must block, not spin";
    }

private:
    long m_switches;
    qint64 m_runnableNs;
    QElapsedTimer m_wall;
    qint64 m_passes = 0;
    QMetaObject::Connection m_connections[2];
};

// Writes to the master side from another thread after a pause, so that no Qt event of ours
// announces the bytes: only the port itself can wake the component.
class LateWriter {
public:
    LateWriter(PtyPair &pty, QList<QByteArray> pieces, int pauseMs = 30)
        : m_thread([&pty, pieces, pauseMs] {
              for (const QByteArray &piece : pieces) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                  pty.write(piece);
              }
          })
    {
    }
    ~LateWriter() { m_thread.join(); }

private:
    std::thread m_thread;
};

bool Echoing(int fd)
{
    termios tio{};
    return tcgetattr(fd, &tio) == 0 && (tio.c_lflag & ECHO);
}

// Undoes the component's raw mode behind its back; only a fresh Open sets it again.
void Spoil(int fd)
{
    termios tio{};
    tcgetattr(fd, &tio);
    tio.c_lflag |= ECHO;
    tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

class TstQCCom32 : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MessageBoxRecorder> boxes;

    // A component on the slave side of `pty`, opened, with boxes off (and shown as the window
    // shows them once switched on).
    static void Attach(TQCCom32 &com, const PtyPair &pty, bool allowEvents = true)
    {
        com.OnReport = ShowPortReport;
        com.setShowErrors(false);
        com.setAllowEvents(allowEvents);
        com.setEndOfResponse(QStringLiteral("#13"));
        com.setDevicePath(pty.slavePath());
        com.Open();
    }

private slots:
    void init() { boxes = std::make_unique<MessageBoxRecorder>(); }
    void cleanup() { boxes.reset(); }

    void closedPortAndVersion()
    {
        TQCCom32 com;
        QVERIFY(!com.Opened());
        QCOMPARE(com.InCount(), 0);
        com.setVersion(QStringLiteral("2.0"));
        QCOMPARE(com.Version(), QStringLiteral("1.4.0"));
    }

    void portNames_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("display");
        QTest::newRow("COM1") << 1 << QString() << "/dev/ttyS0" << "COM1";
        QTest::newRow("COM9") << 9 << QString() << "/dev/ttyS8" << "COM9";
        QTest::newRow("COM10") << 10 << QString() << "/dev/ttyS9" << "COM10";
        QTest::newRow("path wins") << 3 << "/dev/ttyUSB0" << "/dev/ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("lowest port") << int(INT32_MIN) << QString() << "/dev/ttyS-2147483649" << "COM-2147483648";
    }
    void portNames()
    {
        QFETCH(int, port);
        QFETCH(QString, path);
        TQCCom32 com;
        com.setPort(port);
        com.setDevicePath(path);
        QTEST(com.PortName(), "device");
        QTEST(com.DisplayName(), "display");
        QVERIFY(!com.Opened());
    }

    void endOfResponseParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("terminator");
        QTest::newRow("#13") << "#13" << QByteArray("\r");
        QTest::newRow("#13#10") << "#13#10" << QByteArray("\r\n");
        QTest::newRow("plain text") << "abc" << QByteArray("abc");
        QTest::newRow("text then code") << "OK#13" << QByteArray("OK\r");
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("lone #") << "#" << QByteArray();
        QTest::newRow("trailing #") << "#13#" << QByteArray("\r");
        QTest::newRow("hex") << "#$0D#x0a" << QByteArray("\r\n");
        QTest::newRow("low byte") << "#269" << QByteArray("\r");
        QTest::newRow("negative") << "#-243" << QByteArray("\r");
        QTest::newRow("zero") << "#0" << QByteArray(1, '\0');
        QTest::newRow("leading blank") << "# 13" << QByteArray("\r");
        QTest::newRow("letter after digits") << "#13x" << QByteArray("#13x");
        QTest::newRow("##13") << "##13" << QByteArray("##13");
        QTest::newRow("trailing blank") << "#13 " << QByteArray("#13 ");
        QTest::newRow("out of range") << "#99999999999" << QByteArray("#99999999999");
        QTest::newRow("text after code") << "#13abc" << QByteArray("#13abc");
    }
    void endOfResponseParsing()
    {
        QFETCH(QString, text);
        TQCCom32 com;
        com.setEndOfResponse(text);
        QCOMPARE(com.EndOfResponse(), text);
        QTEST(com.ResponseTerminator(), "terminator");
    }

    void deadlineHoldsAcrossTickWrap_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("interval");
        QTest::addColumn<uint>("now");
        QTest::addColumn<bool>("passed");
        QTest::newRow("before") << 1000u << 500u << 1500u << false;
        QTest::newRow("after") << 1000u << 500u << 1501u << true;
        QTest::newRow("zero interval, same tick") << 7u << 0u << 7u << false;
        QTest::newRow("zero interval, next tick") << 7u << 0u << 8u << true;
        QTest::newRow("deadline wraps, not yet") << 0xFFFFFF00u << 0x200u << 0xFFFFFFF0u << false;
        QTest::newRow("deadline wraps, passed") << 0xFFFFFF00u << 0x200u << 0x101u << true;
        QTest::newRow("deadline at the top") << 0xFFFFFE00u << 0x1FFu << 0u << true;
    }
    void deadlineHoldsAcrossTickWrap()
    {
        QFETCH(uint, start);
        QFETCH(uint, interval);
        QFETCH(uint, now);
        QTEST(TQCCom32::DeadlinePassed(start, interval, now), "passed");
    }

    void replyInPiecesIsAssembled_data()
    {
        QTest::addColumn<bool>("allowEvents");
        QTest::addColumn<QString>("endOfResponse");
        QTest::addColumn<QByteArray>("queued");
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QByteArrayList>("replies"); // each of them is right
        // Bytes after the terminator count only when they came in the same read.
        const QByteArrayList tail = {"ABCDE\r", "ABCDE\rxy"};
        QTest::newRow("pumping events") << true << "#13" << QByteArray("AB") << QByteArrayList{"CD", "E\rxy"} << tail;
        QTest::newRow("without events") << false << "#13" << QByteArray("AB") << QByteArrayList{"CD", "E\rxy"} << tail;
        // The first read ends between the two bytes of the terminator.
        QTest::newRow("CR LF split, pumping events")
            << true << "#13#10" << QByteArray("OK\r") << QByteArrayList{"\n"} << QByteArrayList{"OK\r\n"};
        QTest::newRow("CR LF split, without events")
            << false << "#13#10" << QByteArray("OK\r") << QByteArrayList{"\n"} << QByteArrayList{"OK\r\n"};
    }
    void replyInPiecesIsAssembled()
    {
        QFETCH(bool, allowEvents);
        QFETCH(QString, endOfResponse);
        QFETCH(QByteArray, queued);
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArrayList, replies);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty, allowEvents);
        com.setEndOfResponse(endOfResponse);
        com.setResponseTime(10000);
        QVERIFY(pty.write(queued));
        QTRY_COMPARE(com.InCount(), int(queued.size()));
        QByteArray reply;
        {
            LateWriter writer(pty, pieces);
            com.ReadResponse(reply);
        }
        QVERIFY2(replies.contains(reply), reply.toHex(' ').constData());
        QVERIFY(!com.TimedOut());
        QVERIFY(!com.InUse());
    }

    void queuedRepliesComeBackTogether()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        QVERIFY(pty.write("A1\rB2\rtail"));
        QTRY_COMPARE(com.InCount(), 10);
        QCOMPARE(com.ReadResponse(), QByteArray("A1\rB2\rtail"));
        QVERIFY(!com.TimedOut());
        QCOMPARE(com.InCount(), 0);
    }

    void noReplyTimesOut_data()
    {
        QTest::addColumn<bool>("allowEvents");
        QTest::addColumn<QByteArray>("partial");
        QTest::newRow("nothing, pumping events") << true << QByteArray();
        QTest::newRow("nothing, without events") << false << QByteArray();
        QTest::newRow("partial, pumping events") << true << QByteArray("half");
        QTest::newRow("partial, without events") << false << QByteArray("half");
    }
    void noReplyTimesOut()
    {
        QFETCH(bool, allowEvents);
        QFETCH(QByteArray, partial);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty, allowEvents);
        com.setResponseTime(300);
        int timeouts = 0;
        com.OnTimeout = [&](QObject *sender) {
            QCOMPARE(sender, &com);
            ++timeouts;
        };
        QVERIFY(pty.write(partial));
        QTRY_COMPARE(com.InCount(), int(partial.size()));

        QElapsedTimer clock;
        clock.start();
        const WakeUpMeter wakes;
        QByteArray reply = "stale";
        com.ReadResponse(reply);
        QVERIFY2(wakes.blocked(), wakes.report().constData());
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(reply, partial);
        QVERIFY(com.TimedOut());
        QCOMPARE(timeouts, 1);
        QVERIFY(boxes->boxes.isEmpty());
        QVERIFY(com.Opened());
    }

    void timeoutBoxRetryWaitsAgain()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setShowErrors(true);
        com.setResponseTime(100);
        int timeouts = 0;
        com.OnTimeout = [&](QObject *) { ++timeouts; };
        QVERIFY(pty.write("AB"));
        boxes->queueAnswer(TMsgAnswer::Retry);
        boxes->onBox = [&](const RecordedBox &) { pty.write("C\r"); };
        QCOMPARE(com.ReadResponse(), QByteArray("AB") + "C\r");
        QVERIFY(!com.TimedOut());
        QCOMPARE(timeouts, 1);
        QCOMPARE(boxes->texts(), QStringList{"Timeout waiting for response."});
        QCOMPARE(boxes->boxes[0].type, TMsgType::Warning);
        QCOMPARE(boxes->boxes[0].buttons, TMsgButtons::AbortRetry);
    }

    void timeoutBoxRetryIsAFullInterval()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setShowErrors(true);
        com.setResponseTime(150);
        int timeouts = 0;
        com.OnTimeout = [&](QObject *) { ++timeouts; };
        boxes->queueAnswer(TMsgAnswer::Retry);
        boxes->queueAnswer(TMsgAnswer::Abort);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(com.ReadResponse().isEmpty());
        QVERIFY(clock.elapsed() >= 300);
        QVERIFY(com.TimedOut());
        QCOMPARE(timeouts, 2);
        QCOMPARE(boxes->boxes.size(), 2);
    }

    void emptyTerminatorReturnsWhatIsQueued()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setResponseTime(1);
        QVERIFY(com.ReadResponse().isEmpty()); // times out: TimedOut becomes true
        QVERIFY(com.TimedOut());

        com.setEndOfResponse(QString());
        com.setResponseTime(600000);
        QVERIFY(com.ReadResponse().isEmpty());
        QVERIFY(pty.write("xyz"));
        QTRY_COMPARE(com.InCount(), 3);
        QCOMPARE(com.ReadResponse(), QByteArray("xyz"));
        QVERIFY(com.TimedOut()); // untouched by reads that do not wait
        QVERIFY(!com.InUse());
    }

    void zeroResponseTime()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setResponseTime(0);
        QVERIFY(com.ReadResponse().isEmpty());
        QVERIFY(com.TimedOut());
        QVERIFY(pty.write("OK\r"));
        QTRY_COMPARE(com.InCount(), 3);
        QCOMPARE(com.ReadResponse(), QByteArray("OK\r"));
        QVERIFY(!com.TimedOut());
    }

    void destroyedDuringTheWait()
    {
        PtyPair pty;
        auto *com = new TQCCom32;
        Attach(*com, pty);
        com->setResponseTime(5000);
        QVERIFY(pty.write("par"));
        QTRY_COMPARE(com->InCount(), 3);
        QPointer<TQCCom32> watch(com);
        QTimer::singleShot(20, this, [&] { delete com; });
        QByteArray reply;
        com->ReadResponse(reply);
        QVERIFY(watch.isNull());
        QCOMPARE(reply, QByteArray("par"));
        TQCCom32 next;
        Attach(next, pty);
        QVERIFY2(next.Opened(), "the destroyed component must have let go of the port");
    }

    void readDuringAnotherReadIsRefused_data()
    {
        QTest::addColumn<bool>("showErrors");
        QTest::newRow("silent") << false;
        QTest::newRow("with box") << true;
    }
    void readDuringAnotherReadIsRefused()
    {
        QFETCH(bool, showErrors);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setShowErrors(showErrors);
        com.setResponseTime(10000);
        QByteArray inner = "untouched";
        bool innerSawInUse = false;
        int queuedAtInner = -1;
        QTimer::singleShot(20, this, [&] {
            pty.write("OK\r");
            for (int i = 0; i < 400 && com.InCount() < 3; ++i)
                usleep(5000);
            queuedAtInner = com.InCount();
            com.ReadResponse(inner);
            innerSawInUse = com.InUse();
        });
        QCOMPARE(com.ReadResponse(), QByteArray("OK\r"));
        QCOMPARE(queuedAtInner, 3);
        QVERIFY(inner.isEmpty());
        QVERIFY(innerSawInUse);
        QVERIFY(!com.InUse());
        QVERIFY(!com.TimedOut());
        if (showErrors) {
            QCOMPARE(boxes->texts(), QStringList{"Port is in use -- operation aborted"});
            QCOMPARE(boxes->boxes[0].type, TMsgType::Plain);
            QCOMPARE(boxes->boxes[0].buttons, TMsgButtons::Ok);
        } else {
            QVERIFY(boxes->boxes.isEmpty());
        }
    }

    void changedSettingsReopenThePort()
    {
        PtyPair pty, other;
        // Opened before the component takes the port, so it may look at the line's settings.
        const int observer = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(observer >= 0);
        TQCCom32 com;
        Attach(com, pty);
        QVERIFY(com.Opened());
        QVERIFY(!Echoing(observer));

        Spoil(observer);
        com.setBaud(9600);
        com.setPort(1);
        com.setHandshaking(hsNone);
        com.setDevicePath(pty.slavePath());
        QVERIFY2(Echoing(observer), "writing the current value must not reopen");

        com.setBaud(19200);
        QVERIFY(com.Opened());
        QVERIFY(!Echoing(observer));
        termios tio{};
        QCOMPARE(tcgetattr(observer, &tio), 0);
        QCOMPARE(cfgetospeed(&tio), speed_t(B19200));

        Spoil(observer);
        com.setPort(4);
        QVERIFY(!Echoing(observer));
        QCOMPARE(com.PortName(), pty.slavePath());

        Spoil(observer);
        com.setHandshaking(hsHardware);
        QVERIFY(!Echoing(observer));
        QCOMPARE(tcgetattr(observer, &tio), 0);
        QVERIFY(tio.c_cflag & CRTSCTS);
        com.setHandshaking(hsNone);
        QCOMPARE(tcgetattr(observer, &tio), 0);
        QVERIFY(!(tio.c_cflag & CRTSCTS));

        com.setDevicePath(other.slavePath());
        QVERIFY(com.Opened());
        QVERIFY(com.SendCommand("moved"));
        QByteArray got;
        QTRY_COMPARE(got += other.readAvailable(), QByteArray("moved"));
        TQCCom32 second;
        Attach(second, pty);
        QVERIFY2(second.Opened(), "the first device must have been let go");

        com.Close();
        com.setBaud(38400);
        com.setPort(2);
        QVERIFY(!com.Opened());
        ::close(observer);
    }

    void secondOpenerIsRefused()
    {
        PtyPair pty;
        TQCCom32 first;
        Attach(first, pty);
        QVERIFY(first.Opened());

        TQCCom32 second;
        Attach(second, pty);
        QVERIFY(!second.Opened());
        QVERIFY(!second.SendCommand("x"));
        QVERIFY(boxes->boxes.isEmpty());

        second.setShowErrors(true);
        QVERIFY(!second.Open());
        QCOMPARE(boxes->texts(), QStringList{"Error opening " + pty.slavePath() + ": "});
        QCOMPARE(boxes->boxes[0].type, TMsgType::Warning);
        QCOMPARE(boxes->boxes[0].buttons, TMsgButtons::AbortRetry);

        // Retry tries again; here the first owner lets go meanwhile.
        boxes->boxes.clear();
        boxes->queueAnswer(TMsgAnswer::Retry);
        boxes->onBox = [&](const RecordedBox &) { first.Close(); };
        QVERIFY(second.Open());
        QCOMPARE(boxes->boxes.size(), 1);
    }

    void openErrorNamesTheComPort()
    {
        if (QFile::exists(QStringLiteral("/dev/ttyS249")))
            QSKIP("this machine has a /dev/ttyS249");
        TQCCom32 com;
        com.OnReport = ShowPortReport;
        com.setPort(250);
        QVERIFY(!com.Open());
        QCOMPARE(boxes->texts(), QStringList{"Error opening COM250: "});
    }

    void withoutAReporterNothingIsShown()
    {
        TQCCom32 com; // ShowErrors is on, but nobody shows the reports
        QVERIFY(com.ShowErrors());
        com.setDevicePath(QStringLiteral("/nonexistent/ttyK3316"));
        QVERIFY2(!com.Open(), "one attempt, no endless retry");

        PtyPair pty;
        com.setDevicePath(pty.slavePath());
        com.setEndOfResponse(QStringLiteral("#13"));
        com.setResponseTime(50);
        int timeouts = 0;
        com.OnTimeout = [&](QObject *) { ++timeouts; };
        QVERIFY(com.Open());
        QVERIFY(com.ReadResponse().isEmpty());
        QVERIFY(com.TimedOut());
        QCOMPARE(timeouts, 1);
        QVERIFY(boxes->boxes.isEmpty());
    }

    void lineRunsAtTheChosenRate_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("runs");
        QTest::newRow("9600") << 9600 << true;
        QTest::newRow("115200") << 115200 << true;
        QTest::newRow("4000000") << 4000000 << true;
        QTest::newRow("250000, no constant") << 250000 << true;
        QTest::newRow("31250, no constant") << 31250 << true;
        QTest::newRow("12345, no constant") << 12345 << true;
        QTest::newRow("1 bit/s") << 1 << true;
        QTest::newRow("zero") << 0 << false;
        QTest::newRow("negative") << -9600 << false;
    }
    void lineRunsAtTheChosenRate()
    {
        QFETCH(int, baud);
        QFETCH(bool, runs);
        PtyPair pty;
        // Opened before the component takes the port, so it may look at the line's settings.
        const int observer = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(observer >= 0);
        const auto closeObserver = qScopeGuard([observer] { ::close(observer); });
        TQCCom32 com;
        Attach(com, pty);
        QVERIFY(com.Opened());
        QCOMPARE(ReadLineSpeeds(observer).output, 9600); // the component's default

        com.setBaud(baud); // reopens at the new rate
        QCOMPARE(com.Baud(), baud);
        QCOMPARE(com.Opened(), runs);
        const LineSpeeds speeds = ReadLineSpeeds(observer);
        if (runs) {
            QCOMPARE(speeds.output, baud);
            QCOMPARE(speeds.input, baud);
            QVERIFY(com.LineError().isEmpty());
            return;
        }
        QCOMPARE(speeds.output, 9600);
        QCOMPARE(com.LineError(), pty.slavePath() + QStringLiteral(" cannot run at ") + QString::number(baud) +
                                      QStringLiteral(" baud."));
        QVERIFY(boxes->boxes.isEmpty());

        com.setShowErrors(true);
        QVERIFY(!com.Open());
        QCOMPARE(boxes->texts(), QStringList{com.LineError()});
        QCOMPARE(boxes->boxes[0].type, TMsgType::Warning);
        QCOMPARE(boxes->boxes[0].buttons, TMsgButtons::Ok);

        com.setBaud(19200);
        QVERIFY(com.Open());
        QVERIFY2(com.LineError().isEmpty(), "a good open forgets the last refusal");
    }

    void modemLinesAreLoweredOnOpen_data()
    {
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<int>("deviceAnswer"); // what the driver returns to the request
        QTest::addColumn<int>("lowered");
        QTest::addColumn<bool>("crtscts");
        const int both = TIOCM_DTR | TIOCM_RTS;
        QTest::newRow("no handshaking") << int(hsNone) << 0 << both << false;
        QTest::newRow("no handshaking, no modem lines") << int(hsNone) << -1 << both << false;
        QTest::newRow("RTS/CTS: the driver keeps RTS") << int(hsHardware) << 0 << int(TIOCM_DTR) << true;
        QTest::newRow("RTS/CTS, no modem lines") << int(hsHardware) << -1 << int(TIOCM_DTR) << true;
    }
    void modemLinesAreLoweredOnOpen()
    {
        QFETCH(int, handshaking);
        QFETCH(int, deviceAnswer);
        QFETCH(int, lowered);
        QFETCH(bool, crtscts);
        struct Request {
            QString device;
            unsigned long request;
            int bits;
        };
        QList<Request> requests;
        PosixSerial::SetModemControl([&](int fd, unsigned long request, int *bits) {
            requests.append({QString::fromLocal8Bit(ttyname(fd)), request, *bits});
            if (deviceAnswer < 0)
                errno = ENOTTY; // what a pseudo-terminal answers
            return deviceAnswer;
        });
        const auto restore = qScopeGuard([] { PosixSerial::SetModemControl({}); });

        PtyPair pty;
        const int observer = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(observer >= 0);
        const auto closeObserver = qScopeGuard([observer] { ::close(observer); });
        TQCCom32 com;
        com.setHandshaking(THandshake(handshaking));
        Attach(com, pty);
        QVERIFY2(com.Opened(), "a refused modem request must not fail the open");
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].device, pty.slavePath());
        QCOMPARE(requests[0].request, (unsigned long)TIOCMBIC);
        QCOMPARE(requests[0].bits, lowered);
        termios tio{};
        QCOMPARE(tcgetattr(observer, &tio), 0);
        QCOMPARE(bool(tio.c_cflag & CRTSCTS), crtscts);

        // Switching the handshaking reopens the port and sets the lines for the new one.
        com.setHandshaking(handshaking == hsNone ? hsHardware : hsNone);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[1].device, pty.slavePath());
        QCOMPARE(requests[1].request, (unsigned long)TIOCMBIC);
        QCOMPARE(requests[1].bits, handshaking == hsNone ? int(TIOCM_DTR) : int(TIOCM_DTR | TIOCM_RTS));
    }

    void pseudoTerminalWithoutModemLinesOpens()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty); // the system's own request this time
        QVERIFY(com.Opened());
        // The premise: the pseudo-terminal did refuse the request the open made.
        const int observer = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(observer >= 0);
        int lines = TIOCM_DTR | TIOCM_RTS;
        const int result = ::ioctl(observer, TIOCMBIC, &lines);
        ::close(observer);
        QCOMPARE(result, -1);
    }

    void nonTerminalIsNotAPort()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        TQCCom32 com;
        com.setShowErrors(false);
        com.setDevicePath(file.fileName());
        QVERIFY(!com.Open());
    }

    void sendCommandWritesExactlyTheText()
    {
        PtyPair pty;
        TQCCom32 com;
        com.setShowErrors(false);
        com.setDevicePath(pty.slavePath());
        QVERIFY(com.SendCommand(QByteArray()));
        QVERIFY2(com.Opened(), "sending on a closed port opens it");
        QVERIFY(com.SendCommand("#A\r"));
        QByteArray got;
        QTRY_COMPARE(got += pty.readAvailable(), QByteArray("#A\r"));
    }

    void longWriteWaitsForRoom()
    {
        QByteArray text(256 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = char(i * 7);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        QByteArray got;
        std::thread reader([&] {
            for (int idle = 0; got.size() < text.size() && idle < 50;) {
                const QByteArray piece = pty.readAvailable(100);
                idle = piece.isEmpty() ? idle + 1 : 0;
                got += piece;
            }
        });
        const bool sent = com.SendCommand(text);
        reader.join();
        QVERIFY(sent);
        QCOMPARE(got.size(), text.size());
        QVERIFY(got == text);
    }

    void stalledWriteReportsFailure()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        // Nobody reads the other side: the line's queues fill up and stay full.
        QVERIFY(!com.SendCommand(QByteArray(4 * 1024 * 1024, 'x')));
        QVERIFY2(com.Opened(), "a full queue is not a lost line");
    }

    void rawLinePassesEveryByte()
    {
        const QByteArray bytes("\r\n\0\x03\x04\x08\x11\x13\x1a\x1c\x7f\xff#", 13);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setEndOfResponse(QString());
        QVERIFY(pty.write(bytes));
        QTRY_COMPARE(com.InCount(), int(bytes.size()));
        QCOMPARE(com.ReadResponse(), bytes);
        // No echo came back, and the XOFF just received did not stop the output.
        QVERIFY(com.SendCommand(bytes));
        QByteArray got;
        QTRY_COMPARE(got += pty.readAvailable(), bytes);
    }

    void waitWakesWhenBytesArrive()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        bool fallbackFired = false;
        QTimer fallback;
        fallback.setSingleShot(true);
        connect(&fallback, &QTimer::timeout, this, [&] { fallbackFired = true; });
        fallback.start(10000);
        LateWriter writer(pty, {"ping\r"});
        while (!fallbackFired && com.InCount() == 0)
            com.WaitForInputOrEvents();
        QVERIFY2(!fallbackFired, "the port's readiness did not wake the wait");
        QTRY_COMPARE(com.InCount(), 5);
    }

    void nestedLoopLeavesBytesAtThePort_data()
    {
        QTest::addColumn<QString>("waiter");
        QTest::newRow("under ReadResponse") << QStringLiteral("ReadResponse");
        QTest::newRow("under WaitForInputOrEvents") << QStringLiteral("WaitForInputOrEvents");
        // with a listener the bytes are read in the modal window's loop, and the loop still sleeps
        QTest::newRow("listener, under the event loop") << QStringLiteral("listener");
        QTest::newRow("listener, under ReadResponse: the reply wait keeps them") << QStringLiteral("listener+ReadResponse");
    }
    void nestedLoopLeavesBytesAtThePort()
    {
        QFETCH(QString, waiter);
        const bool listening = waiter.startsWith(QLatin1String("listener"));
        const bool readResponse = waiter.endsWith(QLatin1String("ReadResponse"));
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setResponseTime(20000);
        QByteArray heard;
        if (listening)
            com.setOnInputWaiting([&] { com.ReadWaiting(heard); });
        const int expectLeft = listening && !readResponse ? 0 : 5;
        int queuedAfterModal = -1;
        QByteArray modalWait = "not measured";
        bool modalBlocked = false;
        QTimer::singleShot(10, this, [&] {
            // Stands in for a modal window: its own loop, bytes arriving while it runs.
            QEventLoop modal;
            QTimer ticks;
            int ticksWithBytes = 0;
            connect(&ticks, &QTimer::timeout, &modal, [&] {
                if (com.InCount() + heard.size() == 5 && ++ticksWithBytes == 15)
                    modal.quit();
            });
            ticks.start(10);
            QTimer::singleShot(5000, &modal, &QEventLoop::quit);
            const WakeUpMeter wakes;
            LateWriter writer(pty, {"data\r"});
            modal.exec();
            modalBlocked = wakes.blocked();
            modalWait = wakes.report();
            queuedAfterModal = com.InCount();
        });
        QByteArray reply;
        if (readResponse) {
            reply = com.ReadResponse();
        } else if (listening) {
            while (queuedAfterModal < 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else {
            while (queuedAfterModal < 0)
                com.WaitForInputOrEvents();
        }
        QCOMPARE(queuedAfterModal, expectLeft);
        QVERIFY2(modalBlocked, modalWait.constData()); // a readable port must not keep firing under another loop
        if (readResponse)
            QCOMPARE(reply, QByteArray("data\r"));
        else if (listening)
            QCOMPARE(heard, QByteArray("data\r"));
        else
            QCOMPARE(com.InCount(), 5);
        if (readResponse)
            QVERIFY(heard.isEmpty());
    }

    void portClosedUnderTheWait_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("closed") << false;
        QTest::newRow("closed and reopened") << true;
    }
    void portClosedUnderTheWait()
    {
        QFETCH(bool, reopen);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        com.setResponseTime(300);
        int lost = 0;
        com.OnLineLost = [&](QObject *) { ++lost; };
        QVERIFY(pty.write("par"));
        QTRY_COMPARE(com.InCount(), 3);
        QTimer::singleShot(20, this, [&] {
            com.Close();
            QCOMPARE(com.InCount(), 0);
            if (reopen) {
                QVERIFY(com.Open());
                pty.write("t\r");
            }
        });
        QElapsedTimer clock;
        clock.start();
        const QByteArray reply = com.ReadResponse();
        if (reopen) {
            QCOMPARE(reply, QByteArray("part\r"));
            QVERIFY(!com.TimedOut());
        } else {
            QCOMPARE(reply, QByteArray("par"));
            QVERIFY(com.TimedOut());
            QVERIFY(clock.elapsed() >= 300);
        }
        QCOMPARE(com.Opened(), reopen);
        QCoreApplication::processEvents();
        QCOMPARE(lost, 0);
    }

    void lostLineDuringReadResponse_data()
    {
        QTest::addColumn<bool>("allowEvents");
        QTest::newRow("pumping events") << true;
        QTest::newRow("without events") << false;
    }
    void lostLineDuringReadResponse()
    {
        QFETCH(bool, allowEvents);
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty, allowEvents);
        com.setResponseTime(400);
        int lost = 0;
        com.OnLineLost = [&](QObject *sender) {
            QCOMPARE(sender, &com);
            QVERIFY(!com.Opened());
            ++lost;
        };
        QByteArray reply;
        const WakeUpMeter wakes;
        {
            std::thread unplug([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                pty.closeMaster();
            });
            com.ReadResponse(reply);
            unplug.join();
        }
        QVERIFY2(wakes.blocked(), wakes.report().constData()); // a hung-up port must not make the wait spin
        QVERIFY(reply.isEmpty());
        QVERIFY(com.TimedOut());
        QVERIFY(!com.Opened());
        QVERIFY(!com.InUse());
        QTRY_COMPARE(lost, 1);
        QCOMPARE(com.InCount(), 0);
        // (no reopen here: a test running beside this one may already own the freed pty number)
        QCoreApplication::processEvents();
        QCOMPARE(lost, 1);
    }

    void lostLineWhileIdle()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        int lost = 0;
        com.OnLineLost = [&](QObject *) { ++lost; };
        QTimer::singleShot(50, this, [&] { pty.closeMaster(); });
        bool over = false;
        QTimer::singleShot(300, this, [&] { over = true; });
        const WakeUpMeter wakes;
        while (!over)
            com.WaitForInputOrEvents();
        QVERIFY2(wakes.blocked(), wakes.report().constData()); // nor the idle wait
        QCOMPARE(lost, 1);
        QVERIFY(!com.Opened());
    }

    // The other side goes right after a line was read: the hang-up is still noticed by the wait
    // that follows, without a spin.
    void lostLineRightAfterALine()
    {
        PtyPair pty;
        TQCCom32 com;
        Attach(com, pty);
        int lost = 0;
        com.OnLineLost = [&](QObject *) { ++lost; };
        QVERIFY(pty.write("last\r"));
        QTRY_COMPARE(com.InCount(), 5);
        QCOMPARE(com.ReadResponse(), QByteArray("last\r"));
        pty.closeMaster(); // (closing first would flush the line away: the kernel's doing)
        bool over = false;
        QTimer::singleShot(300, this, [&] { over = true; });
        const WakeUpMeter wakes;
        while (!over) {
            if (com.InCount() == 0)
                com.WaitForInputOrEvents();
        }
        QVERIFY2(wakes.blocked(), wakes.report().constData()); // a hung-up port must not make the wait spin
        QCOMPARE(lost, 1);
        QVERIFY(!com.Opened());
    }

    // Lost from the write that finds it, and never opened again by a write or a read: a device
    // that comes back under the same name gets nothing until the port is opened on purpose.
    void lostLineOnWrite()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("adapter"));
        PtyPair pty, comeBack;
        QVERIFY(QFile::link(pty.slavePath(), link));
        TQCCom32 com;
        com.setShowErrors(false);
        com.setDevicePath(link);
        QVERIFY(com.Open());
        int lost = 0;
        com.OnLineLost = [&](QObject *) { ++lost; };
        pty.closeMaster();
        QVERIFY(!com.SendCommand("#A\r"));
        QVERIFY(com.Lost());
        QVERIFY(!com.Opened());
        QVERIFY(QFile::remove(link) && QFile::link(comeBack.slavePath(), link));
        QVERIFY(!com.SendCommand("t1230\r"));
        QVERIFY(com.ReadResponse().isEmpty());
        QVERIFY(!com.Opened());
        QTRY_COMPARE(lost, 1);
        QVERIFY(com.Open());
        QVERIFY(!com.Lost());
        QVERIFY(com.SendCommand("t1230\r"));
        QCOMPARE(comeBack.readAvailable(5000), QByteArray("t1230\r"));
    }
};

QTEST_MAIN(TstQCCom32)
#include "tst_qccom32.moc"
