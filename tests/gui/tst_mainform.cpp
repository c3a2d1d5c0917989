#include "support/ConfiguredForm.h"
#include "support/ModalDriver.h"
#include "ui/main/MainUnit.h"
#include "ui/main/SettingsDlg.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/plot/PlotWindow.h"
#include "ui/transmit/ReplayDialog.h"
#include "ui/transmit/TransmitWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include "ui/main/ReceiveListView.h"
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

// Every input control of both pages: fields, boxes, buttons and the list.
QList<QWidget *> inputControls(TMainForm &f)
{
    QList<QWidget *> all = {
        f.RS232BaudrateComboBox, f.RS232DataBitComboBox, f.RS232StopBitComboBox, f.RS232ParityComboBox,
        f.RS232ChecksumComboBox, f.RS232RespondComboBox, f.CANSpecificationComboBox, f.CANBaudrateComboBox,
        f.CanCodeEdit, f.CanMaskEdit, f.ChkBox_Pair, f.EndCmdRB1, f.EndCmdRB2, f.EndCmdRB3, f.EndCmdRB4,
        f.EndCmdRB5, f.ChkBox_TxCANID, f.CANIDEdit, f.ChkBox_RespWCANID, f.DefaultButton, f.SettingButton,
        f.IDEdit, f.ModeEdit, f.RTREdit, f.DLCEdit, f.CANCheckBox, f.IntervalEdit, f.SetBitBtn, f.SendEdit,
        f.AutoBitBtn, f.StopBitBtn, f.SendBitBtn, f.ReceiveListBox, f.ClearBitBtn, f.SaveBitBtn, f.ReceiveBitBtn};
    for (TNumberEdit *d : f.DataEdits)
        all << d;
    return all;
}

// Runs `check` inside the receive loop of the operation state, then ends the connection.
void inOperationState(TMainForm &f, int mode, const std::function<void()> &check)
{
    Steps steps;
    steps.then(check).then([&f] { f.DisconnectToolButtonClick(nullptr); });
    RunOperationMode(f, steps, mode);
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void opensNotConnectedOnTheTestPage()
    {
        TMainForm f;
        QCOMPARE(f.windowTitle(), QStringLiteral("K-3316 Utility"));
        QCOMPARE(f.PageControl1->currentIndex(), 1);
        QCOMPARE(f.PageControl1->tabText(0), QStringLiteral("Settings"));
        QCOMPARE(f.PageControl1->tabText(1), QStringLiteral("Test"));
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
        QVERIFY(f.StatusPanel[1]->text().isEmpty());
        QVERIFY(f.StatusPanel[2]->text().isEmpty());
        QCOMPARE(f.StatusPanel[3]->text(), QStringLiteral("Copyright (C) TERAVOX Co., Ltd."));
        QVERIFY(f.ConnectToolButton->isEnabled());
        QVERIFY(!f.DisconnectToolButton->isEnabled());
        QVERIFY(f.QuitToolButton->isEnabled());
        QVERIFY(f.AboutToolButton->isEnabled());
        QVERIFY(f.SettingToolButton->isHidden());
        for (QWidget *w : inputControls(f))
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!f.Timer2->isActive());
        QCOMPARE(f.UtilityVersion, QStringLiteral("2.06"));
        QCOMPARE(f.ModuleBaudIndex, 11);
        QCOMPARE(f.ComPort->Baud(), 115200);
        QCOMPARE(f.ComPort->Port(), 1);
        QCOMPARE(f.ComPort->ResponseTime(), 500u);
        QVERIFY(!f.ComPort->ShowErrors());
        QVERIFY(f.ComPort->AllowEvents());
        QVERIFY(!f.ComPort->Opened());
        // the fixed-Tx-CAN-ID box starts hidden and unchecked with "None" chosen
        QVERIFY(f.ChkBox_TxCANID->isHidden());
        QVERIFY(!f.ChkBox_TxCANID->isChecked());
        QVERIFY(f.EndCmdRB1->isChecked());
    }

    void startValuesOfTheNumberFields()
    {
        TMainForm f;
        QCOMPARE(f.CanCodeEdit->text(), QStringLiteral("00000000"));
        QCOMPARE(f.CANIDEdit->Value(), 1);
        QCOMPARE(f.IntervalEdit->Value(), 500);
        QCOMPARE(f.DLCEdit->MaxValue(), 8);
        QCOMPARE(f.IDEdit->MaxLength(), 3);
        QCOMPARE(f.IDEdit->Kind(), neHex);
        QCOMPARE(f.ModeEdit->Kind(), neBin);
        QCOMPARE(f.DLCEdit->Kind(), neDec);
        QVERIFY(f.D5Edit->UpperCase());
        QVERIFY(!f.IntervalEdit->UpperCase());
    }

    void layoutFollowsTheTables()
    {
        TMainForm f;
        QCOMPARE(f.centralWidget()->height() + f.statusBar()->height(), 407);
        QCOMPARE(f.centralWidget()->width(), 484);
        QCOMPARE(f.PageControl1->geometry(), QRect(4, 69, 477, 316));
        QCOMPARE(f.RS232BaudrateComboBox->geometry(), QRect(96, 20, 81, 21));
        QCOMPARE(f.CANIDEdit->geometry(), QRect(124, 198, 65, 21));
        QCOMPARE(f.GroupBox2->geometry(), QRect(8, 136, 217, 57));
        QCOMPARE(f.EndCmdRB5->pos(), QPoint(80, 34));
        QCOMPARE(f.SettingButton->geometry(), QRect(304, 259, 100, 25));
        QCOMPARE(f.D8Edit->geometry(), QRect(236, 80, 33, 21));
        QCOMPARE(f.ReceiveListBox->geometry(), QRect(280, 21, 185, 161));
        QCOMPARE(f.ReceiveBitBtn->geometry(), QRect(288, 224, 81, 25));
        QCOMPARE(f.ConnectToolButton->size(), QSize(61, 56));
        QCOMPARE(f.StatusPanel[0]->width() + 2, 146);
        QCOMPARE(f.StatusPanel[3]->width() + 2, 200);
        QCOMPARE(f.RS232GroupBox->title(), QStringLiteral("RS-232  Parameters"));
        QCOMPARE(f.ChkBox_Pair->text(), QStringLiteral("  Pair Connection"));
        QCOMPARE(f.RS232BaudrateComboBox->count(), 12);
        QCOMPARE(f.CANBaudrateComboBox->itemText(9), QStringLiteral("83.3K"));
        QCOMPARE(f.RS232BaudrateComboBox->currentIndex(), -1);
        QVERIFY(f.RS232BaudrateComboBox->isEditable());
        QVERIFY(f.minimumSize() == f.maximumSize()); // fixed size
        QCOMPARE(f.SettingButton->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(f.SaveBitBtn->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!f.SendBitBtn->icon().isNull());
        QVERIFY(f.SetBitBtn->icon().isNull());
    }

    void helpMenuOpensTheManualWithF1()
    {
        TMainForm f;
        auto *manual = f.findChild<QAction *>(QStringLiteral("Manual1"));
        QVERIFY(manual);
        QCOMPARE(manual->text(), QStringLiteral("&Manual"));
        QCOMPARE(manual->shortcut(), QKeySequence(Qt::Key_F1));
        QVERIFY(f.Help1->actions().contains(manual));
        QVERIFY(f.actions().contains(manual)); // F1 works with the menu closed
    }

    void statusTextsAreNeverClipped()
    {
        TMainForm f;
        const QStringList texts[4] = {
            {QStringLiteral("Not connected"), QStringLiteral("Connected to COM32"),
             QStringLiteral("Connected to /dev/ttyUSB0"), QStringLiteral("Connected to /dev/ttyACM0"),
             QStringLiteral("Connected to /tmp/ttyK3316")},
            {QStringLiteral("Configuration Mode"), QStringLiteral("Operation Mode"), QStringLiteral("PairConnTest Mode")},
            {QStringLiteral("Ver: 2.05")},
            {QStringLiteral("Copyright (C) TERAVOX Co., Ltd.")}};
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        for (int i = 0; i < 4; ++i)
            for (const QString &t : texts[i]) {
                // What the window shows of the panel: the last one runs past the window's edge.
                const QRect panel = f.StatusPanel[i]->geometry();
                const int shownRight = std::min(panel.right(), f.statusBar()->width() - 1);
                const int frame = f.StatusPanel[i]->frameWidth();
                const int room = shownRight - panel.left() + 1 - 2 * frame - f.StatusPanel[i]->indent();
                QVERIFY2(f.StatusPanel[i]->fontMetrics().horizontalAdvance(t) <= room, qPrintable(t));
                f.StatusPanel[i]->setText(t);
                QCOMPARE(f.StatusPanel[i]->QLabel::text(), t); // shown whole, not elided
            }
    }

    void labelsFitBeforeTheirControls()
    {
        TMainForm f;
        // every label on the Settings page ends before the control it names
        for (QLabel *label : f.SettingsPage->findChildren<QLabel *>()) {
            const QRect r = label->geometry();
            QVERIFY2(r.width() >= label->fontMetrics().horizontalAdvance(label->text()), qPrintable(label->text()));
            for (QWidget *other : label->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (other == label || qobject_cast<QLabel *>(other) || other->isHidden())
                    continue;
                QVERIFY2(!r.intersects(other->geometry()),
                         qPrintable(label->text() + QStringLiteral(" overlaps ") + other->objectName()));
            }
        }
    }

    void tabOrderOfBothPages()
    {
        TMainForm f;
        const QList<QWidget *> settings = {
            f.RS232BaudrateComboBox, f.RS232DataBitComboBox, f.RS232StopBitComboBox, f.RS232ParityComboBox,
            f.RS232ChecksumComboBox, f.RS232RespondComboBox, f.CANSpecificationComboBox, f.CANBaudrateComboBox,
            f.CanCodeEdit, f.CanMaskEdit, f.ChkBox_Pair, f.CANIDEdit, f.EndCmdRB1, f.EndCmdRB2, f.EndCmdRB3,
            f.EndCmdRB4, f.EndCmdRB5, f.ChkBox_TxCANID, f.ChkBox_RespWCANID, f.SettingButton, f.DefaultButton};
        for (qsizetype i = 1; i < settings.size(); ++i) {
            // the combo boxes' line edits sit between them in the focus chain
            QWidget *next = settings[i - 1]->nextInFocusChain();
            while (next && (next->parentWidget() == settings[i - 1] || !(next->focusPolicy() & Qt::TabFocus)))
                next = next->nextInFocusChain();
            QCOMPARE(next, settings[i]);
        }
        const QList<QWidget *> test = {f.ReceiveListBox, f.ClearBitBtn, f.IDEdit, f.ModeEdit, f.RTREdit,
                                       f.DLCEdit, f.D1Edit, f.D2Edit, f.D3Edit, f.D4Edit, f.D5Edit, f.D6Edit,
                                       f.D7Edit, f.D8Edit, f.CANCheckBox, f.SendEdit, f.AutoBitBtn,
                                       f.StopBitBtn, f.SendBitBtn, f.SetBitBtn, f.IntervalEdit, f.SaveBitBtn,
                                       f.ReceiveBitBtn};
        for (qsizetype i = 1; i < test.size(); ++i) {
            QWidget *next = test[i - 1]->nextInFocusChain();
            while (next && (next->parentWidget() == test[i - 1] || !(next->focusPolicy() & Qt::TabFocus)))
                next = next->nextInFocusChain();
            QCOMPARE(next, test[i]);
        }
    }

    void menusAndShortcuts()
    {
        TMainForm f;
        QCOMPARE(f.Connect1->shortcut(), QKeySequence(Qt::Key_F2));
        QCOMPARE(f.Disconnect1->shortcut(), QKeySequence(Qt::Key_F3));
        QVERIFY(!f.Options1->menuAction()->isVisible());
        QVERIFY(f.F1->menuAction()->isVisible());
        QCOMPARE(f.Help1->title(), QStringLiteral("&Help"));
        QCOMPARE(f.About1->text(), QStringLiteral("About"));
    }

    void f5DoesNothingAndF2Connects()
    {
        TMainForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.activateWindow();
        auto dialogs = std::make_shared<int>(0);
        WhenModal<TSettingsForm>([dialogs](TSettingsForm *d) {
            ++*dialogs;
            d->CancelButton->click();
        }, 500);
        QTest::keyClick(&f, Qt::Key_F5);
        QTest::qWait(100);
        QCOMPARE(*dialogs, 0);
        QTest::qWait(500); // let the watcher give up

        WhenModal<TSettingsForm>([dialogs](TSettingsForm *d) {
            ++*dialogs;
            d->CancelButton->click();
        });
        QTest::keyClick(&f, Qt::Key_F2);
        QTRY_COMPARE(*dialogs, 1);
        QVERIFY(!f.Connected);
    }

    void configurationStateAtLevel1()
    {
        TMainForm f;
        f.FirmwareVersion = QStringLiteral("1.10");
        EnterConfigurationMode(f, 1);
        QVERIFY(!f.ConnectToolButton->isEnabled());
        QVERIFY(f.DisconnectToolButton->isEnabled());
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Connected to COM1"));
        QCOMPARE(f.StatusPanel[1]->text(), QStringLiteral("Configuration Mode"));
        QCOMPARE(f.StatusPanel[2]->text(), QStringLiteral("Ver: 1.10"));
        for (TStatusPanel *panel : f.StatusPanel) // a screen reader hears each panel's text as its name
            QCOMPARE(panel->accessibleName(), panel->text());
        for (QWidget *w : std::initializer_list<QWidget *>{
                 f.RS232BaudrateComboBox, f.RS232DataBitComboBox, f.RS232StopBitComboBox, f.RS232ParityComboBox,
                 f.RS232ChecksumComboBox, f.RS232RespondComboBox, f.CANSpecificationComboBox,
                 f.CANBaudrateComboBox, f.CanCodeEdit, f.CanMaskEdit, f.DefaultButton, f.SettingButton})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!f.ChkBox_Pair->isEnabled());
        for (QWidget *w : std::initializer_list<QWidget *>{f.ReceiveListBox, f.ClearBitBtn, f.SaveBitBtn,
                                                           f.ReceiveBitBtn, f.CANCheckBox, f.SendEdit,
                                                           f.IntervalEdit, f.IDEdit, f.D1Edit})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    }

    void configurationStateAtLevel2LeavesTheRs232OptionsToThePairRule()
    {
        TMainForm f;
        EnterConfigurationMode(f, 2);
        QVERIFY(f.ChkBox_Pair->isEnabled());
        QVERIFY(!f.RS232ChecksumComboBox->isEnabled()); // unchanged from the not-connected state
        f.ChkBox_Pair->setChecked(true);
        QVERIFY(!f.RS232ChecksumComboBox->isEnabled());
        f.ChkBox_Pair->setChecked(false);
        QVERIFY(f.RS232ChecksumComboBox->isEnabled());
        QVERIFY(f.RS232RespondComboBox->isEnabled());
    }

    void operationStateResetsTheTestPage()
    {
        TMainForm f;
        f.ComPort->setPort(12);
        f.FirmwareVersion = QStringLiteral("2.05");
        f.IntervalEdit->setText(QStringLiteral("42"));
        f.Receiving = false;
        bool checked = false;
        inOperationState(f, 2, [&] {
            checked = true;
            QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Connected to COM12"));
            QCOMPARE(f.StatusPanel[1]->text(), QStringLiteral("Operation Mode"));
            QCOMPARE(f.IDEdit->text(), QStringLiteral("000"));
            QCOMPARE(f.ModeEdit->text(), QStringLiteral("0"));
            QCOMPARE(f.RTREdit->text(), QStringLiteral("0"));
            QCOMPARE(f.DLCEdit->text(), QStringLiteral("8"));
            for (TNumberEdit *d : f.DataEdits) {
                QCOMPARE(d->text(), QStringLiteral("00"));
                QVERIFY(!d->isEnabled());
            }
            QCOMPARE(f.IntervalEdit->text(), QStringLiteral("500"));
            QCOMPARE(f.Timer2->interval(), 500);
            QVERIFY(!f.CANCheckBox->isChecked());
            QVERIFY(f.CANCheckBox->isEnabled());
            QVERIFY(f.AutoBitBtn->isEnabled());
            QVERIFY(f.SendBitBtn->isEnabled());
            QVERIFY(!f.StopBitBtn->isEnabled());
            QVERIFY(!f.SetBitBtn->isEnabled());
            QVERIFY(f.SendEdit->isEnabled());
            QVERIFY(f.IntervalEdit->isEnabled());
            QCOMPARE(f.ReceiveBitBtn->text(), QStringLiteral("Stop"));
            QVERIFY(f.Receiving);
            QVERIFY(f.ReceiveListBox->isEnabled());
            QVERIFY(!f.CanCodeEdit->isEnabled());
            QVERIFY(!f.ChkBox_Pair->isEnabled());
            QVERIFY(!f.IDEdit->isEnabled());
        });
        QVERIFY(checked);
        // the loop ended with the connection, and the not-connected state is back
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
        QCOMPARE(f.StatusPanel[0]->text(), QStringLiteral("Not connected"));
        QVERIFY(!f.AutoBitBtn->isEnabled());
    }

    void pairTestModeShowsItsName()
    {
        TMainForm f;
        QString mode;
        inOperationState(f, 3, [&] { mode = f.StatusPanel[1]->text(); });
        QCOMPARE(mode, QStringLiteral("PairConnTest Mode"));
    }

    void disconnectingUnchecksThePairBoxAndDisablesEverything()
    {
        TMainForm f;
        f.FirmwareVersion = QStringLiteral("2.05");
        f.UseChecksum = true;
        EnterConfigurationMode(f, 2);
        f.ChkBox_Pair->setChecked(true);
        f.DisconnectToolButtonClick(nullptr);
        QVERIFY(!f.ChkBox_Pair->isChecked());
        QVERIFY(!f.RS232ChecksumComboBox->isEnabled());
        QVERIFY(!f.RS232RespondComboBox->isEnabled());
        for (QWidget *w : inputControls(f))
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!f.UseChecksum);
        QVERIFY(f.FirmwareVersion.isEmpty());
        QCOMPARE(f.FirmwareLevel, 0);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
    }

    void closeAsksFirst()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        f.show();
        boxes.queueAnswer(TMsgAnswer::No);
        f.close();
        QVERIFY(f.isVisible());
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("Close the K-3316 Utility ?"));
        QCOMPARE(boxes.boxes[0].type, TMsgType::Confirm);
        QCOMPARE(boxes.boxes[0].buttons, TMsgButtons::YesNo);

        boxes.queueAnswer(TMsgAnswer::None); // closed without an answer
        f.close();
        QVERIFY(f.isVisible());

        boxes.queueAnswer(TMsgAnswer::Yes);
        f.QuitToolButtonClick(nullptr);
        QVERIFY(!f.isVisible());
    }

    // Exit ends the program: no other window of it stays open to keep it running.
    void closingEndsEveryOtherWindow_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *w : {"Transmit List", "Replay Log", "Frame Monitor", "plot"})
            QTest::newRow(w) << QString::fromLatin1(w);
    }
    void closingEndsEveryOtherWindow()
    {
        QFETCH(QString, window);
        MessageBoxRecorder boxes;
        TMainForm f;
        f.show();
        f.TransmitList1->trigger();
        f.ReplayLog1->trigger();
        f.FrameMonitor1->trigger();
        f.FrameMonitorWindow()->PlotSignals(nullptr, {});
        const QHash<QString, QWidget *> windows{{"Transmit List", f.TransmitWindow()}, {"Replay Log", f.ReplayDialog()},
                                                {"Frame Monitor", f.FrameMonitorWindow()}, {"plot", f.FrameMonitorWindow()->Plot()}};
        for (QWidget *w : windows) // the one of this row left open alone
            if (w != windows[window])
                w->close();
        QVERIFY(windows[window]->isVisible());
        boxes.queueAnswer(TMsgAnswer::No);
        f.close();
        QVERIFY(f.isVisible() && windows[window]->isVisible()); // No keeps everything
        boxes.queueAnswer(TMsgAnswer::Yes);
        f.Exit1->trigger();
        for (QWidget *w : QApplication::topLevelWidgets()) // none left: the event loop ends with the last
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCOMPARE(boxes.boxes.size(), 2); // one question each time, none from the other windows
    }

    void closingWhileConnectedDisconnectsFirst()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        f.show();
        EnterConfigurationMode(f, 0);
        boxes.queueAnswer(TMsgAnswer::No);
        f.close();
        QVERIFY(f.Connected);
        boxes.queueAnswer(TMsgAnswer::Yes);
        f.close();
        QVERIFY(!f.Connected);
        QCOMPARE(f.ModuleMode, ModuleModes::NotConnected);
        QVERIFY(!f.isVisible());
    }

    void everyControlHasAnAccessibleName()
    {
        TMainForm f;
        for (QWidget *w : inputControls(f)) {
            const QString name = w->accessibleName().isEmpty()
                                     ? (qobject_cast<QAbstractButton *>(w) ? qobject_cast<QAbstractButton *>(w)->text() : QString())
                                     : w->accessibleName();
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(w->objectName()));
        }
        QCOMPARE(f.CanCodeEdit->accessibleName(), QStringLiteral("Acceptance Code"));
        QCOMPARE(f.IDEdit->accessibleName(), QStringLiteral("ID(Hex)"));
        QCOMPARE(f.ChkBox_TxCANID->accessibleName(), QStringLiteral("Fixed Tx CAN ID"));
        QCOMPARE(f.SendEdit->accessibleName(), QStringLiteral("Send line"));
        QCOMPARE(f.ReceiveListBox->accessibleName(), QStringLiteral("Receive"));
        QCOMPARE(f.RS232BaudrateComboBox->accessibleName(), QStringLiteral("RS-232 Baudrate"));

        // A box or field that shows a value is named by its text on Linux: its label must reach a
        // reader through the buddy relation, with the text the window shows.
        QHash<QWidget *, QString> labelOf;
        for (QLabel *l : f.findChildren<QLabel *>())
            if (l->buddy())
                labelOf.insert(l->buddy(), l->text());
        for (QWidget *w : inputControls(f)) {
            if (!qobject_cast<QComboBox *>(w) && !qobject_cast<QLineEdit *>(w))
                continue;
            if (w == f.SendEdit) // no label on the window; its accessible name says what it is
                continue;
            QVERIFY2(labelOf.contains(w), qPrintable(w->objectName()));
            QCOMPARE(labelOf.value(w), w->accessibleName());
        }
    }

    void statusPanelsNameTheirWholeText()
    {
        TMainForm f;
        QCOMPARE(f.StatusPanel[0]->accessibleName(), QStringLiteral("Not connected"));
        QCOMPARE(f.StatusPanel[3]->accessibleName(), QStringLiteral("Copyright (C) TERAVOX Co., Ltd."));
        const QString path = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        f.ComPort->setDevicePath(path);
        EnterConfigurationMode(f, 0);
        TStatusPanel *panel = f.StatusPanel[0];
        QCOMPARE(panel->text(), QStringLiteral("Connected to ") + path);
        QCOMPARE(panel->accessibleName(), panel->text());
        QCOMPARE(panel->toolTip(), panel->text());
        // elided in the middle: its start and its end stay readable, and it fits
        const QString shown = panel->QLabel::text();
        QVERIFY2(shown.startsWith(QStringLiteral("Conn")) && shown.endsWith(QStringLiteral("port0")), qPrintable(shown));
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(panel->fontMetrics().horizontalAdvance(shown) <= panel->contentsRect().width());
        f.DisconnectToolButtonClick(nullptr);
        QCOMPARE(panel->accessibleName(), QStringLiteral("Not connected"));
        QVERIFY(panel->toolTip().isEmpty());
        QCOMPARE(f.StatusPanel[1]->accessibleName(), QString());
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
