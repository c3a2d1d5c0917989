#include "protocol/Framing.h"
#include "protocol/Profile.h"
#include "protocol/SettingsCommand.h"
#include "support/ConfiguredForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTest>

// The module of ConnectedForm confirms every settings write.
using Rig = ConnectedForm;

class TestWriteSettings : public QObject {
    Q_OBJECT

private slots:
    void defaultsAreWritten_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("level 2") << 2;
        QTest::newRow("level 1") << 1;
    }
    void defaultsAreWritten()
    {
        QFETCH(int, level);
        Rig r(level);
        r.form.DefaultButtonClick(nullptr);
        // the bytes of the default commands are checked in the command builder's own test
        TRS232Write defaultRS232;
        TCanWrite defaultCan;
        Profiles::DefaultWrites(level, defaultRS232, defaultCan);
        const QByteArray rs232 = Framing::FrameLine(BuildRS232Command(defaultRS232), true);
        const QByteArray can = Framing::FrameLine(BuildCanCommand(defaultCan, level), true);
        QCOMPARE(r.module.received, rs232 + can);
        QCOMPARE(r.module.lines.size(), 2);
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting OK!!!")});
        QCOMPARE(r.boxes.boxes[0].type, TMsgType::Information);
        QCOMPARE(r.form.ModuleBaudIndex, 11);
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("001"));
        QCOMPARE(r.form.ComPort->Baud(), 115200); // a write never changes the PC's speed
    }

    void settingWritesThePage20BWithPairConnection()
    {
        Rig r(2);
        SetItemIndex(r.form.RS232BaudrateComboBox, 7);
        SetItemIndex(r.form.RS232DataBitComboBox, 3);
        SetItemIndex(r.form.RS232StopBitComboBox, 1);
        SetItemIndex(r.form.RS232ParityComboBox, 2);
        SetItemIndex(r.form.RS232ChecksumComboBox, 0);
        SetItemIndex(r.form.RS232RespondComboBox, 0);
        SetItemIndex(r.form.CANSpecificationComboBox, 1);
        r.form.CANSpecificationComboBoxChange(nullptr);
        SetItemIndex(r.form.CANBaudrateComboBox, 6);
        r.form.CanCodeEdit->setText(QStringLiteral("1ABC"));
        r.form.CanMaskEdit->setText(QStringLiteral("1FFFFFFF"));
        r.form.ChkBox_Pair->setChecked(true);
        r.form.EndCmdRB3->setChecked(true);
        r.form.ChkBox_TxCANID->setChecked(true);
        r.form.ChkBox_RespWCANID->setChecked(true);
        r.form.CANIDEdit->setText(QStringLiteral("1FFFFFFF"));
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines.size(), 2);
        QCOMPARE(r.module.lines[0], QByteArray("$P0090731200") + Framing::AddChksum("$P0090731200"));
        const QByteArray can = QByteArray("$P121") + "160" + "00001ABC" + "1FFFFFFF" + "1FFFFFFF" + "1112";
        QCOMPARE(r.module.lines[1], can + Framing::AddChksum(can));
        QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("00001ABC"));
        QCOMPARE(r.form.Unit.ModuleCanCode, QStringLiteral("00001ABC"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting OK!!!")});
        QCOMPARE(r.form.ModuleBaudIndex, 7);
    }

    void withoutPairConnectionTheTailIsZeroAndTheIdOne()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr); // a complete page
        r.module.lines.clear();
        r.boxes.boxes.clear();
        r.form.ChkBox_Pair->setChecked(true);
        r.form.EndCmdRB5->setChecked(true);
        r.form.ChkBox_RespWCANID->setChecked(true);
        r.form.ChkBox_Pair->setChecked(false);
        r.form.CANIDEdit->setText(QStringLiteral("7FF"));
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines[1].mid(24, 12), QByteArray("000000010000"));
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("001"));
        QCOMPARE(r.form.Unit.EndOfCommandIndex, 0);
    }

    void pairWithNoneFollowsTheHiddenBox()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr); // runs the "None" rule: the hidden box is checked
        r.module.lines.clear();
        r.form.ChkBox_Pair->setChecked(true);
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines[1].mid(32, 4), QByteArray("1100"));
    }

    void refusedWriteFails()
    {
        Rig r(2);
        r.module.reply = ModuleScript::Configuration().with("$P1", "?\r");
        r.form.DefaultButtonClick(nullptr);
        QCOMPARE(r.module.lines.size(), 2); // both commands are still sent
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting Failed!!!")});
        QCOMPARE(r.boxes.boxes[0].type, TMsgType::Error);
        QVERIFY(r.form.Connected);
    }

    void noReplyWaitsTwiceAndFailsOnce()
    {
        Rig r(2);
        r.module.reply = nullptr;
        r.form.ModuleBaudIndex = 5;
        QElapsedTimer clock;
        clock.start();
        r.form.DefaultButtonClick(nullptr);
        QVERIFY(clock.elapsed() >= 400);
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting Failed!!!")});
        QCOMPARE(r.form.ModuleBaudIndex, 5);
    }

    // An empty code or mask field is sent, then shows the module's value again; an empty mask
    // fails the write, an empty code leaves the verdict as it was.
    void emptyFilterFieldIsRestoredAfterSending_data()
    {
        QTest::addColumn<bool>("mask");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("mask") << true << QStringLiteral("Setting Failed!!!");
        QTest::newRow("code") << false << QStringLiteral("Setting OK!!!");
    }
    void emptyFilterFieldIsRestoredAfterSending()
    {
        QFETCH(bool, mask);
        QFETCH(QString, verdict);
        Rig r(2);
        r.form.DefaultButtonClick(nullptr);
        r.boxes.boxes.clear();
        r.module.lines.clear();
        (mask ? r.form.Unit.ModuleCanMask : r.form.Unit.ModuleCanCode) = QStringLiteral("123");
        TNumberEdit *field = mask ? r.form.CanMaskEdit : r.form.CanCodeEdit;
        field->setText(QString());
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines.size(), 2);
        QCOMPARE(field->text(), QStringLiteral("123"));
        QCOMPARE(r.boxes.texts(), QStringList{verdict});
    }

    void boxWithoutSelectionIsNotSent()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr);
        r.boxes.boxes.clear();
        r.module.lines.clear();
        SetItemIndex(r.form.RS232ParityComboBox, -1);
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines.size(), 1);
        QVERIFY(r.module.lines[0].startsWith("$P1"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting Failed!!!")});

        r.boxes.boxes.clear();
        r.module.lines.clear();
        SetItemIndex(r.form.RS232ParityComboBox, 0);
        r.form.CANBaudrateComboBox->setEditText(QStringLiteral("42K")); // typed, not an entry
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines.size(), 1);
        QVERIFY(r.module.lines[0].startsWith("$P0"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting Failed!!!")});
    }

    void hiddenDigitReadOutOfRangeIsNotSent()
    {
        Rig r(2);
        // Hidden digit "a": 42.
        r.module.reply = ModuleScript::Configuration().with("#P1", "!P04a" + QByteArray(28, '0') + "\r");
        r.form.GetModuleSettings();
        QCOMPARE(r.form.Unit.ModuleCanHidden, 42);
        r.module.lines.clear();
        r.form.SettingButtonClick(nullptr);
        // The RS-232 command goes out as before; the CAN command would be shifted and is not sent.
        QCOMPARE(r.module.lines.size(), 1);
        QVERIFY(r.module.lines[0].startsWith("$P0"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting Failed!!!")});
    }
};

QTEST_MAIN(TestWriteSettings)
#include "tst_writesettings.moc"
