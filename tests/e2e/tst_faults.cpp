#include "support/ConfiguredForm.h"
#include "ui/main/ReceiveModel.h"
#include "ui/transmit/TransmitWindow.h"
#include "transmit/TransmitRunner.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

qint64 listedBytes(TMainForm &f)
{
    qint64 n = 0;
    for (int i = 0; i < f.ReceiveItems()->Count(); ++i)
        n += f.ReceiveItems()->Item(i).size();
    return n;
}

// What a USB unplug does to the program's descriptor: the tty is hung up under it.
void hangUpTerminal(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QCOMPARE(ioctl(fd, TIOCVHANGUP, 0), 0);
    ::close(fd);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void hangUpOnTheProgramsSideEndsTheConnectionAndReconnectWorks()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Operation();
        Steps steps;
        WaitForOperationMode(steps, f).then([&] { hangUpTerminal(module.path()); });
        ConnectWithSteps(f, {module.path()}, steps); // returns once the lost line ended the connection
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY(!f.Connected);
        QVERIFY(!f.ComPort->Opened());
        QCOMPARE(boxes.texts(), QStringList{module.path() + QStringLiteral(" Connection Lost!")});

        // the device path survives a hang-up: connecting again works
        module.lines.clear();
        Steps again;
        WaitForOperationMode(again, f)
            .then([&] { module.send("t1230\r"); })
            .waitUntil([&] { return f.ReceiveItems()->Count() >= 1; }, "a line after reconnecting")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectWithSteps(f, {module.path()}, again);
        QVERIFY2(again.failure.isEmpty(), qPrintable(again.failure));
        QCOMPARE(module.lines, QList<QByteArray>{"#A"});
    }

    // A module lost under sending, found by the write or by the read: one box, the loss.
    void lossUnderSendingIsReportedOnce_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::newRow("Send button, the write finds it") << QStringLiteral("send");
        QTest::newRow("Transmit List row sent, the write finds it") << QStringLiteral("row");
        QTest::newRow("Transmit List running at 1 ms") << QStringLiteral("run");
    }
    void lossUnderSendingIsReportedOnce()
    {
        QFETCH(QString, sender);
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Operation();
        f.TransmitList1->trigger();
        TTransmitRunner *runner = f.TransmitWindow()->Runner();
        TTransmitRow row;
        row.Id = QStringLiteral("123");
        row.PeriodMs = sender == QLatin1String("run") ? 1 : 0;
        runner->SetRows({row});
        Steps steps;
        WaitForOperationMode(steps, f)
            .then([&] { row.PeriodMs ? runner->Start() : void(); })
            .waitUntil([&] { return !row.PeriodMs || module.lines.size() >= 4; }, "the run under way")
            .then([&] {
                module.unplug(); // without a run, the write comes before any read can notice
                if (sender == QLatin1String("send"))
                    f.SendBitBtnClick(nullptr);
                else if (!row.PeriodMs)
                    runner->SendNow(0);
            });
        ConnectWithSteps(f, {module.path()}, steps); // returns once the loss ended the connection
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY(!runner->Running() && !f.Connected);
        QCOMPARE(boxes.texts(), QStringList{module.path() + QStringLiteral(" Connection Lost!")});
    }

    void lostLineInConfigurationModeIsNoticedAtTheNextExchange()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Configuration();
        AnswerSettingsDialog({module.path()});
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::Configuration);
        module.unplug();
        f.SettingButtonClick(nullptr);
        QTRY_VERIFY(!f.Connected);
        QVERIFY(boxes.texts().contains(module.path() + QStringLiteral(" Connection Lost!")));
        QVERIFY(boxes.texts().contains(QStringLiteral("Setting Failed!!!")));
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
    }

    void floodWithoutCarriageReturnsIsListedWholeAndTheWindowAnswers()
    {
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Operation();
        QByteArray flood(3 * 1024 * 1024, 'A');
        for (qsizetype i = 0; i < flood.size(); i += 997)
            flood[i] = char(i % 256); // NUL and bytes above 0x7F among them, but no CR
        flood.replace('\r', 'B');
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(20);
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        Steps steps;
        WaitForOperationMode(steps, f)
            .then([&] {
                ticker.start();
                // written from the event loop in pieces, as a line would deliver them
                auto offset = std::make_shared<qsizetype>(0);
                auto *feeder = new QTimer(&f);
                QObject::connect(feeder, &QTimer::timeout, [&module, flood, offset, feeder] {
                    // only what the line takes now: the program drains it between our ticks
                    const ssize_t n = ::write(module.pty().masterFd(), flood.constData() + *offset,
                                              size_t(std::min<qsizetype>(64 * 1024, flood.size() - *offset)));
                    if (n > 0)
                        *offset += n;
                    if (*offset >= flood.size())
                        feeder->stop();
                });
                feeder->start(1);
            })
            .waitUntil([&] { return listedBytes(f) >= flood.size(); }, "the whole flood", 60000)
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectWithSteps(f, {module.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QByteArray all;
        for (int i = 0; i < f.ReceiveItems()->Count(); ++i)
            all += f.ReceiveItems()->Item(i);
        QCOMPARE(all.size(), flood.size());
        QVERIFY(all == flood);
        QVERIFY(ticks > 0); // timers kept running during the flood
    }

    void closingWhileAReplyIsAwaited()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        f.show();
        FakeModule module;
        module.reply = ModuleScript::Configuration();
        module.replyDelayMs = 150;
        AnswerSettingsDialog({module.path()});
        QTimer::singleShot(250, &f, [&] {
            boxes.queueAnswer(TMsgAnswer::Yes);
            f.close();
        });
        f.ConnectToolButtonClick(nullptr); // the rest of the connect runs after the close
        QVERIFY(!f.isVisible());
        QVERIFY(boxes.texts().contains(QStringLiteral("Close the K-3316 Utility ?")));
    }

    void closingWhileAModalWindowIsOpenOverTheReceiveLoop()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        f.show();
        FakeModule module;
        module.reply = ModuleScript::Operation();
        bool boxClosedAfterDisconnect = false;
        Steps steps;
        WaitForOperationMode(steps, f)
            .then([&] {
                QDialog modal(&f);
                QTimer::singleShot(50, &f, [&] {
                    boxes.queueAnswer(TMsgAnswer::Yes);
                    f.close();
                    boxClosedAfterDisconnect = !f.Connected;
                    modal.accept();
                });
                modal.exec();
            });
        ConnectWithSteps(f, {module.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY(boxClosedAfterDisconnect);
        QVERIFY(!f.isVisible());
        QVERIFY(!f.Connected);
    }

    void stopFlowControlByteDoesNotStopWrites()
    {
        TMainForm f;
        FakeModule module;
        f.ComPort->setDevicePath(module.path());
        QVERIFY(f.ComPort->Open());
        module.send(QByteArray("\x13", 1)); // XOFF from the line
        // It reaches the program as data (with flow control on, the terminal would keep it and
        // stop the output), and only then is the command written.
        QByteArray waiting;
        QTRY_COMPARE((f.ComPort->ReadWaiting(waiting), waiting), QByteArray("\x13", 1));
        QVERIFY(f.ComPort->SendCommand("#A\r"));
        QTRY_COMPARE(module.lines, QList<QByteArray>{"#A"});
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
