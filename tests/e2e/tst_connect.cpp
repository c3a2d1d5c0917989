#include "support/ConfiguredForm.h"
#include "support/LineSpeedProbe.h"
#include "ui/main/ReceiveModel.h"
#include "ui/main/SettingsDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray kP1Level2 = "!P" "1" "6" "0" "1FFFFFFF" "00000ABC" "00000123" "1" "1" "0" "2" "\r";

// A module in configuration mode, firmware 2.05, with pair connection on.
const ModuleScript configReplies = ModuleScript::Configuration().with("#P0", "!P0A211000\r").with("#P1", kP1Level2);

QList<QByteArray> lines(std::initializer_list<const char *> texts)
{
    QList<QByteArray> out;
    for (const char *t : texts)
        out << QByteArray(t);
    return out;
}

} // namespace

class TestConnect : public QObject {
    Q_OBJECT

private slots:
    void configurationModeAt115200()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = configReplies;
        AnswerSettingsDialog({module.path()});
        f.ConnectToolButtonClick(nullptr); // configuration mode returns at once
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join('|') + QString::fromLatin1(module.lines.join(' '))));
        QCOMPARE(module.lines, lines({"#A", "#PV", "#PC", "#PM", "#P0", "#P1"}));
        QVERIFY(f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::Configuration);
        QCOMPARE(f.FirmwareVersion, QStringLiteral("2.05"));
        QCOMPARE(f.FirmwareLevel, 2);
        QCOMPARE(f.PageControl1->currentIndex(), 0);
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Connected to ") + module.path());
        QCOMPARE(f.StatusPanel[1]->text(), QStringLiteral("Configuration Mode"));
        QCOMPARE(f.StatusPanel[2]->text(), QStringLiteral("Ver: 2.05"));
        QCOMPARE(f.StatusPanel[3]->text(), QStringLiteral("Copyright (C) TERAVOX Co., Ltd."));
        QCOMPARE(f.Unit.ModuleModel, QStringLiteral("K-3316"));
        QCOMPARE(f.RS232BaudrateComboBox->currentText(), QStringLiteral("57600"));
        QCOMPARE(f.RS232DataBitComboBox->currentText(), QStringLiteral("7"));
        QCOMPARE(f.RS232StopBitComboBox->currentText(), QStringLiteral("2"));
        QCOMPARE(f.RS232ParityComboBox->currentText(), QStringLiteral("Odd"));
        // pair connection on: the two RS-232 options are forced to "No"
        QCOMPARE(f.RS232ChecksumComboBox->currentText(), QStringLiteral("No"));
        QCOMPARE(f.RS232RespondComboBox->currentText(), QStringLiteral("No"));
        QCOMPARE(f.CANSpecificationComboBox->currentText(), QStringLiteral("2.0B"));
        QCOMPARE(f.CANBaudrateComboBox->currentText(), QStringLiteral("500K"));
        QCOMPARE(f.CanCodeEdit->text(), QStringLiteral("1FFFFFFF"));
        QCOMPARE(f.CanMaskEdit->text(), QStringLiteral("00000ABC"));
        QCOMPARE(f.CANIDEdit->text(), QStringLiteral("00000123"));
        QVERIFY(f.ChkBox_Pair->isChecked());
        QVERIFY(f.ChkBox_TxCANID->isChecked());
        QVERIFY(!f.ChkBox_RespWCANID->isChecked());
        QVERIFY(f.EndCmdRB3->isChecked());
        QCOMPARE(f.Unit.EndOfCommandIndex, 2);
        QCOMPARE(f.ModuleBaudIndex, 10);
        QVERIFY(f.SettingButton->isEnabled());
        QVERIFY(f.ComPort->Opened());
    }

    void sAtAnotherRateIsOperationModeAndNothingMoreIsSent()
    {
        TMainForm f;
        FakeModule module;
        module.reply = configReplies;
        Steps steps;
        int mode = -1;
        int page = -1;
        steps.waitUntil([&] { return f.Receiving && f.Connected; }, "operation mode")
            .pause(100)
            .then([&] {
                mode = f.ModuleMode;
                page = f.PageControl1->currentIndex();
                f.DisconnectToolButtonClick(nullptr);
            });
        ConnectWithSteps(f, {module.path(), QStringLiteral("9600")}, steps); // returns once disconnected
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(mode, 2);
        QCOMPARE(page, 1);
        QCOMPARE(module.lines, lines({"#A"}));
        QCOMPARE(f.ComPort->Baud(), 9600);
        QVERIFY(!f.Connected);
        QVERIFY(!f.ComPort->Opened());
    }

    void refusalLeadsToTheChecksummedProbe()
    {
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript{{{"#A64", "!R2.05\r"}}, "?\r"};
        Steps steps;
        bool checksums = false;
        WaitForOperationMode(steps, f).then([&] {
            checksums = f.UseChecksum;
            f.DisconnectToolButtonClick(nullptr);
        });
        ConnectWithSteps(f, {module.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(module.lines, lines({"#A", "#A64"}));
        QVERIFY(checksums);
        QVERIFY(!f.UseChecksum); // cleared with the connection
    }

    void silentModuleFailsAfterTwoTimeouts()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        AnswerSettingsDialog({module.path(), QStringLiteral("115200"), QStringLiteral("100")});
        QElapsedTimer clock;
        clock.start();
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(clock.elapsed() >= 200);
        QCOMPARE(module.lines, lines({"#A", "#A64"}));
        QCOMPARE(boxes.texts(), QStringList{module.path() + QStringLiteral(" Connect Failed!")});
        QCOMPARE(boxes.boxes[0].type, TMsgType::Error);
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
        QVERIFY(!f.ComPort->Opened());
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
    }

    void numberedPortsAreNamedAsCom()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        AnswerSettingsDialog({QStringLiteral("COM32")});
        f.ConnectToolButtonClick(nullptr); // /dev/ttyS31 does not exist here
        QCOMPARE(f.ComPort->Port(), 32);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Open COM32 Error!")});
        QVERIFY(!f.Connected);
    }

    void replyOverTenCharactersStops()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript{{}, "!S2.05t1230\r"}; // 12 characters
        AnswerSettingsDialog({module.path()});
        f.ConnectToolButtonClick(nullptr);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Please remove the CAN connector when connecting!!!")});
        QCOMPARE(module.lines, lines({"#A"}));
        QVERIFY(f.ComPort->Opened()); // the port stays open
        QVERIFY(!f.Connected);
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
    }

    void tenCharactersAreDecidedNormally()
    {
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Operation().with("#A", "!R2.05xyz\r"); // exactly 10
        Steps steps;
        WaitForOperationMode(steps, f).then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectWithSteps(f, {module.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
    }

    void checksummedProbeTooLong()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript{{{"#A", "?\r"}}, "!R2.05t12300\r"};
        AnswerSettingsDialog({module.path()});
        f.ConnectToolButtonClick(nullptr);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Remove the CAN Connector When Connecting!!!")});
        QVERIFY(f.ComPort->Opened());
        QVERIFY(!f.Connected);
    }

    void garbageReplyNamesATimeout()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript{{}, "xyz\r"};
        AnswerSettingsDialog({module.path()});
        f.ConnectToolButtonClick(nullptr);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Timeout!!! ") + module.path() + QStringLiteral(" Connect Failed!")});
        QVERIFY(!f.ComPort->Opened());
        QCOMPARE(module.lines, lines({"#A"}));
    }

    void pairTestOpensThePortAndWritesNothing()
    {
        TMainForm f;
        FakeModule module;
        module.reply = configReplies;
        SettingsAnswer answer{module.path()};
        answer.pairTest = true;
        Steps steps;
        QString panel;
        steps.waitUntil([&] { return f.Connected && f.ModuleMode == ModuleModes::PairTest; }, "pair test mode")
            .pause(100)
            .then([&] {
                panel = f.StatusPanel[1]->text();
                QVERIFY(f.ComPort->Opened());
                QCOMPARE(f.PageControl1->currentIndex(), 1);
                f.DisconnectToolButtonClick(nullptr);
            });
        ConnectWithSteps(f, answer, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(panel, QStringLiteral("PairConnTest Mode"));
        QVERIFY(module.received.isEmpty());
    }

    void cancelledOrClosedDialog()
    {
        TMainForm f;
        FakeModule module;
        module.reply = configReplies;

        // closed by its close box before any Ok: nothing happens
        WhenModal<TSettingsForm>([](TSettingsForm *d) { d->close(); });
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(!f.SettingsAccepted);
        QVERIFY(module.received.isEmpty());

        AnswerSettingsDialog({module.path()});
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(f.Connected);
        f.DisconnectToolButtonClick(nullptr);
        module.lines.clear();

        // after an Ok, closing by the close box goes on with the settings in force
        WhenModal<TSettingsForm>([](TSettingsForm *d) { d->close(); });
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(f.Connected);
        QCOMPARE(module.lines.value(0), QByteArray("#A"));
        f.DisconnectToolButtonClick(nullptr);
        module.lines.clear();

        // Cancel stops
        CancelSettingsDialog();
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(!f.SettingsAccepted);
        QVERIFY(!f.Connected);
        QVERIFY(module.lines.isEmpty());
    }

    void secondConnectFromTheMenuNestsAndEndsBothLoops()
    {
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Operation();
        Steps steps;
        int nestedDepth = 0;
        WaitForOperationMode(steps, f)
            .then([&] {
                AnswerSettingsDialog({module.path()});
                f.Connect1->trigger(); // runs a whole connect inside the receive loop
            });
        Steps inner;
        inner.waitUntil([&] { return module.lines.size() == 2 && f.Connected; }, "second connection")
            .pause(200)
            .then([&] {
                nestedDepth = f.ActiveHandlers();
                f.Disconnect1->trigger();
            });
        inner.start();
        ConnectWithSteps(f, {module.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY2(inner.failure.isEmpty(), qPrintable(inner.failure));
        QVERIFY(nestedDepth >= 1); // the menu's connect was still running
        QCOMPARE(module.lines, lines({"#A", "#A"}));
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
    }

    void closingInOperationModeEndsTheLoopAndTheConnect()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        f.show();
        FakeModule module;
        module.reply = ModuleScript::Operation();
        Steps steps;
        WaitForOperationMode(steps, f)
            .then([&] {
                boxes.queueAnswer(TMsgAnswer::No);
                f.close();
            })
            .then([&] { QVERIFY(f.Connected); })
            .then([&] {
                boxes.queueAnswer(TMsgAnswer::Yes);
                f.close();
            });
        ConnectWithSteps(f, {module.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY(!f.isVisible());
        QVERIFY(!f.Connected);
        QVERIFY(!f.ComPort->Opened());
        QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("Close the K-3316 Utility ?"), QStringLiteral("Close the K-3316 Utility ?")}));
    }

    void typedBaudRateIsTheLineSpeed_data()
    {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<bool>("connects");
        QTest::newRow("9600") << "9600" << true;
        QTest::newRow("250000, no standard constant") << "250000" << true;
        QTest::newRow("12345") << "12345" << true;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("negative") << "-300" << false;
    }
    void typedBaudRateIsTheLineSpeed()
    {
        QFETCH(QString, baud);
        QFETCH(bool, connects);
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = configReplies;
        // Opened before the program takes the port, so the test may look at the line's settings.
        const int observer = ::open(QFile::encodeName(module.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(observer >= 0);
        const auto closeObserver = qScopeGuard([observer] { ::close(observer); });
        AnswerSettingsDialog({module.path(), baud, QStringLiteral("2000")});
        Steps steps;
        qint64 speed = -1;
        steps.waitUntil([&] { return f.Connected && f.ModuleMode == ModuleModes::Operation; }, "operation mode")
            .then([&] {
                speed = ReadLineSpeeds(observer).output;
                f.DisconnectToolButtonClick(nullptr);
            });
        if (connects)
            steps.start();
        f.ConnectToolButtonClick(nullptr);
        QCOMPARE(f.ComPort->Baud(), baud.toInt());
        if (connects) {
            QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
            QCOMPARE(speed, baud.toLongLong());
            QVERIFY(boxes.boxes.isEmpty());
            return;
        }
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Open ") + module.path() + QStringLiteral(" Error!\r\n") +
                                            module.path() + QStringLiteral(" cannot run at ") + baud +
                                            QStringLiteral(" baud.")});
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
        QVERIFY(!f.ComPort->Opened());
        QVERIFY2(module.received.isEmpty(), "nothing may be sent at a speed the line does not run at");
    }

    void deviceGoneDuringTheProbeIsOneFailedConnect_data()
    {
        QTest::addColumn<QByteArray>("goneAt");
        QTest::addColumn<bool>("connectAgain"); // instead of unplugging, Connect is pressed again
        QTest::newRow("first probe") << QByteArray("#A") << false;
        QTest::newRow("checksummed probe") << QByteArray("#A64") << false;
        QTest::newRow("Connect again while a silent module is probed") << QByteArray("#A") << true;
    }
    void deviceGoneDuringTheProbeIsOneFailedConnect()
    {
        QFETCH(QByteArray, goneAt);
        QFETCH(bool, connectAgain);
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        int offeredDuringProbe = -1;
        bool secondDialog = false;
        module.reply = [&](const QByteArray &line) -> QByteArray {
            if (connectAgain)
                QTimer::singleShot(0, &module, [&] {
                    offeredDuringProbe = int(f.ConnectToolButton->isEnabled()) + int(f.Connect1->isEnabled());
                    // A second settings dialog would wait for an answer: close it, and fail.
                    QTimer::singleShot(100, &module, [&] {
                        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                            secondDialog = true;
                            d->reject();
                        }
                    });
                    f.Connect1->trigger();
                    f.ConnectToolButtonClick(nullptr); // as a click queued before the button went grey
                });
            if (connectAgain || line == goneAt) {
                if (!connectAgain)
                    QTimer::singleShot(0, &module, [&] { module.unplug(); });
                return {};
            }
            return "?\r";
        };
        // A timeout long enough for a loaded machine; the loss itself is seen at once.
        AnswerSettingsDialog({module.path(), QStringLiteral("115200"), QStringLiteral("1000")});
        f.ConnectToolButtonClick(nullptr);
        QTest::qWait(100); // a report of the lost line still queued would show now
        QCOMPARE(boxes.texts(), QStringList{module.path() + QStringLiteral(" Connect Failed!")});
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
        QVERIFY(!f.ComPort->Opened());
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
        if (connectAgain) {
            QCOMPARE(offeredDuringProbe, 0);
            QVERIFY(!secondDialog);
            QCOMPARE(module.lines, (QList<QByteArray>{"#A", "#A64"})); // one connect's two probes
            QVERIFY(f.ConnectToolButton->isEnabled() && f.Connect1->isEnabled());
        }
    }

    void connectionEndedDuringTheConfigurationConnectStaysEnded_data()
    {
        QTest::addColumn<QByteArray>("endedAt");
        QTest::addColumn<bool>("unplugged"); // the device goes away, or the user disconnects
        QTest::addColumn<QStringList>("after"); // boxes after "Connection Lost!", if any
        const QStringList none;
        const QStringList comError{"Get Module COM Setting Error!"};
        const QStringList canError{"Get Module CAN Setting Error!"};
        for (const bool unplugged : {true, false}) {
            const char *how = unplugged ? "unplugged at " : "disconnected at ";
            QTest::addRow("%s#PV", how) << QByteArray("#PV") << unplugged << none;
            QTest::addRow("%s#PC", how) << QByteArray("#PC") << unplugged << none;
            QTest::addRow("%s#PM", how) << QByteArray("#PM") << unplugged << none;
            QTest::addRow("%s#P0", how) << QByteArray("#P0") << unplugged << comError;
            QTest::addRow("%s#P1", how) << QByteArray("#P1") << unplugged << canError;
        }
    }
    void connectionEndedDuringTheConfigurationConnectStaysEnded()
    {
        QFETCH(QByteArray, endedAt);
        QFETCH(bool, unplugged);
        QFETCH(QStringList, after);
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = [&](const QByteArray &line) -> QByteArray {
            if (line != endedAt)
                return configReplies(line);
            QTimer::singleShot(0, &module, [&] {
                if (unplugged)
                    module.unplug();
                else
                    f.Disconnect1->trigger();
            });
            return {};
        };
        // A timeout long enough for a loaded machine; the loss itself is seen at once.
        AnswerSettingsDialog({module.path(), QStringLiteral("115200"), QStringLiteral("1000")});
        f.ConnectToolButtonClick(nullptr);
        QTest::qWait(100);
        const QStringList lost{module.path() + QStringLiteral(" Connection Lost!")};
        QCOMPARE(boxes.texts(), (unplugged ? lost : QStringList()) + after);
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
        QVERIFY(!f.ComPort->Opened());
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
        QCOMPARE(f.StatusPanel[1]->text(), QString());
        QCOMPARE(f.StatusPanel[2]->text(), QString());
        QVERIFY(!f.SettingButton->isEnabled());
    }

    void lostDeviceEndsTheConnection()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        FakeModule module;
        module.reply = ModuleScript::Operation();
        Steps steps;
        WaitForOperationMode(steps, f)
            .then([&] { module.send("t1230\r"); })
            .waitUntil([&] { return f.ReceiveItems()->Count() == 1; }, "a line")
            .then([&] { module.unplug(); });
        ConnectWithSteps(f, {module.path()}, steps); // must return: the lost line ends the connection
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY(!f.Connected);
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
        QCOMPARE(f.ReceiveItems()->Count(), 1); // the list is kept
        QCOMPARE(boxes.texts(), QStringList{module.path() + QStringLiteral(" Connection Lost!")});
    }
};

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
