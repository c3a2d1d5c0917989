#include "support/ConfiguredForm.h"
#include "ui/main/MainUnit.h"
#include "ui/main/SettingsDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

class TestSettingsDlg : public QObject {
    Q_OBJECT

private slots:
    void firstOpeningAfterStartUp()
    {
        TMainForm f;
        TSettingsForm d(&f);
        QCOMPARE(d.windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(d.size(), QSize(232, 168));
        QCOMPARE(d.PortComboBox->currentText(), QStringLiteral("COM1"));
        QCOMPARE(d.PortComboBox->itemText(31), QStringLiteral("COM32"));
        QCOMPARE(d.K3316Baud->currentText(), QStringLiteral("115200"));
        QVERIFY(d.K3316Baud->isEnabled());
        QCOMPARE(d.TimeOutEdit->text(), QStringLiteral("500"));
        QVERIFY(!d.PairCheckBox->isChecked());
        QCOMPARE(d.GroupBox1->title(), QStringLiteral("PC's RS-232 Settings"));
        QCOMPARE(d.OkButton->geometry(), QRect(16, 136, 75, 25));
        QVERIFY(d.OkButton->isDefault());
        QCOMPARE(d.OkButton->nextInFocusChain(), d.CancelButton);
    }

    void aDevicePathFitsThePortBox()
    {
        TMainForm f;
        TSettingsForm d(&f);
        d.show();
        for (const QString &path : {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/tmp/ttyK3316-demo")}) {
            d.PortComboBox->setEditText(path);
            QLineEdit *edit = d.PortComboBox->lineEdit();
            const int room = edit->width() - edit->textMargins().left() - edit->textMargins().right() - 4;
            QVERIFY2(edit->fontMetrics().horizontalAdvance(path) <= room, qPrintable(path));
            QVERIFY(d.PortComboBox->geometry().right() < d.GroupBox1->width());
        }
    }

    void keyboardUse()
    {
        TMainForm f;
        TSettingsForm d(&f);
        QCOMPARE(d.Label1->buddy(), d.PortComboBox);
        QCOMPARE(d.Label4->buddy(), d.K3316Baud);
        QCOMPARE(d.Label2->buddy(), d.TimeOutEdit);
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget(), d.OkButton);
        // Tab into the port box selects its text, so typing replaces it
        QTest::keyClick(&d, Qt::Key_Tab);
        QTest::keyClick(&d, Qt::Key_Tab);
        QVERIFY(d.PortComboBox->hasFocus());
        QCOMPARE(d.PortComboBox->lineEdit()->selectedText(), QStringLiteral("COM1"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("/tmp/ttyK3316"));
        QCOMPARE(d.PortComboBox->currentText(), QStringLiteral("/tmp/ttyK3316"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(d.TimeOutEdit->selectedText(), QStringLiteral("500"));
        // Enter on the focused Cancel cancels
        f.SettingsAccepted = true;
        d.CancelButton->setFocus();
        QTest::keyClick(d.CancelButton, Qt::Key_Return);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(!f.SettingsAccepted);
    }

    void settingsPageInFrontFixesTheBaudRate()
    {
        TMainForm f;
        f.ModuleBaudIndex = 7;
        f.PageControl1->setCurrentIndex(0);
        TSettingsForm d(&f);
        QCOMPARE(d.K3316Baud->currentText(), QStringLiteral("115200"));
        QVERIFY(!d.K3316Baud->isEnabled());
        f.PageControl1->setCurrentIndex(1);
        TSettingsForm d2(&f);
        QCOMPARE(d2.K3316Baud->currentText(), QStringLiteral("9600"));
    }

    void okAppliesThePortTimeoutAndRate()
    {
        TMainForm f;
        TSettingsForm d(&f);
        d.PortComboBox->setCurrentIndex(11);
        d.TimeOutEdit->setText(QStringLiteral("0"));
        d.K3316Baud->setCurrentIndex(7);
        d.PairCheckBox->setChecked(true);
        d.OkButton->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(f.ComPort->Port(), 12);
        QVERIFY(f.ComPort->DevicePath().isEmpty());
        QCOMPARE(f.ComPort->ResponseTime(), 0u);
        QCOMPARE(f.ComPort->Baud(), 9600);
        QVERIFY(f.SettingsAccepted);
        QVERIFY(f.PairTestRequested);
    }

    void typedPortNames()
    {
        TPortChoice c;
        QVERIFY(ParsePortText(QStringLiteral("  com7 "), c));
        QCOMPARE(c.Port, 7);
        QVERIFY(c.DevicePath.isEmpty());
        QVERIFY(ParsePortText(QStringLiteral("/dev/ttyUSB0"), c));
        QCOMPARE(c.DevicePath, QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(!ParsePortText(QStringLiteral("COM0"), c));
        QVERIFY(!ParsePortText(QStringLiteral("COMX"), c));
        QVERIFY(!ParsePortText(QStringLiteral("ttyUSB0"), c));
        QVERIFY(!ParsePortText(QString(), c));
    }

    void badInputKeepsTheDialogAndChangesNothing_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("portApplied");
        QTest::newRow("blank port") << "   " << "500" << "115200" << "Please, enter a valid port name." << false;
        QTest::newRow("unknown port text") << "serial" << "500" << "115200" << "Please, enter a valid port name." << false;
        QTest::newRow("negative timeout") << "COM3" << "-1" << "115200" << "Please, enter a valid Timeout." << false;
        QTest::newRow("timeout over six digits, pasted") << "COM3" << "1000000" << "115200" << "The Timeout is at most 999999 ms." << false;
        QTest::newRow("empty timeout") << "COM3" << "" << "115200" << "'' is not a valid integer value" << false;
        QTest::newRow("text timeout") << "COM3" << "abc" << "115200" << "'abc' is not a valid integer value" << false;
        QTest::newRow("text baud") << "COM3" << "250" << "fast" << "'fast' is not a valid integer value" << true;
    }
    void badInputKeepsTheDialogAndChangesNothing()
    {
        QFETCH(QString, port);
        QFETCH(QString, timeout);
        QFETCH(QString, baud);
        QFETCH(QString, message);
        QFETCH(bool, portApplied);
        MessageBoxRecorder boxes;
        TMainForm f;
        TSettingsForm d(&f);
        d.show();
        d.PortComboBox->setEditText(port);
        d.TimeOutEdit->setText(timeout);
        d.K3316Baud->setEditText(baud);
        d.OkButton->click();
        QCOMPARE(boxes.texts(), QStringList{message});
        QVERIFY(d.isVisible()); // the dialog stays
        QVERIFY(!f.SettingsAccepted);
        QCOMPARE(f.ComPort->Port(), portApplied ? 3 : 1);
        QCOMPARE(f.ComPort->ResponseTime(), portApplied ? 250u : 500u);
        QCOMPARE(f.ComPort->Baud(), 115200);
    }

    void cancelClearsAcceptanceButKeepsEarlierSettings()
    {
        TMainForm f;
        {
            TSettingsForm d(&f);
            d.PortComboBox->setCurrentIndex(4);
            d.OkButton->click();
        }
        QVERIFY(f.SettingsAccepted);
        {
            TSettingsForm d(&f);
            d.PortComboBox->setCurrentIndex(9);
            d.CancelButton->click();
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        QVERIFY(!f.SettingsAccepted);
        QCOMPARE(f.ComPort->Port(), 5);
        {
            TSettingsForm d(&f);
            d.show();
            QTest::keyClick(&d, Qt::Key_Escape); // Escape presses Cancel
        }
        QVERIFY(!f.SettingsAccepted);
    }

    void closeBoxRunsNoHandler()
    {
        TMainForm f;
        {
            TSettingsForm d(&f);
            d.OkButton->click();
        }
        TSettingsForm d(&f);
        d.show();
        d.close();
        QVERIFY(f.SettingsAccepted); // left as the last Ok left it
    }

    void settingsCommandAsksBeforeDisconnecting()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        EnterConfigurationMode(f, 0);
        boxes.queueAnswer(TMsgAnswer::Cancel);
        f.SettingToolButtonClick(nullptr);
        QVERIFY(f.Connected);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Could not change settings while a connection is active.\r\n"
                                                           "Close the connection and continue ?")});
        QCOMPARE(boxes.boxes[0].buttons, TMsgButtons::OkCancel);
    }
};

QTEST_MAIN(TestSettingsDlg)
#include "tst_settingsdlg.moc"
