#include "protocol/Framing.h"
#include "support/ConfiguredForm.h"
#include "ui/MainUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTest>

namespace {

// Confirms every well-formed write, like the module does.
QByteArray confirmingModule(const QByteArray &line)
{
    if (line.startsWith("$P0")) return "!P0\r";
    if (line.startsWith("$P1")) return "!P1\r";
    return {};
}

struct Rig : ConfiguredForm {
    explicit Rig(int firmwareLevel) : ConfiguredForm(firmwareLevel) { module.reply = confirmingModule; }
};

} // namespace

class TestWriteSettings : public QObject {
    Q_OBJECT

private slots:
    void defaultsAtLevel2()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr);
        QCOMPARE(r.module.received, QByteArray("$P0090B3000072\r") + "$P121040" + QByteArray(23, '0') + "10000DD\r");
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting OK!!!")});
        QCOMPARE(r.boxes.boxes[0].type, TMsgType::Information);
        QCOMPARE(r.form.ModuleBaudIndex, 11);
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("001"));
        QCOMPARE(r.form.ComPort->Baud(), 115200); // a write never changes the PC's speed
    }

    void defaultsAtLevel1()
    {
        Rig r(1);
        r.form.DefaultButtonClick(nullptr);
        QCOMPARE(r.module.lines, (QList<QByteArray>{"$P0090B3000072", QByteArray("$P115040") + QByteArray(16, '0') + "9F"}));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting OK!!!")});
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
        r.module.reply = [](const QByteArray &line) -> QByteArray {
            return line.startsWith("$P0") ? QByteArray("!P0\r") : QByteArray("?\r");
        };
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

    void emptyMaskFailsAfterSending()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr);
        r.boxes.boxes.clear();
        r.module.lines.clear();
        r.form.Unit.ModuleCanMask = QStringLiteral("123");
        r.form.CanMaskEdit->setText(QString());
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.module.lines.size(), 2);
        QCOMPARE(r.form.CanMaskEdit->text(), QStringLiteral("123"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting Failed!!!")});
    }

    void emptyCodeIsRestoredAndTheVerdictStands()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr);
        r.boxes.boxes.clear();
        r.form.Unit.ModuleCanCode = QStringLiteral("456");
        r.form.CanCodeEdit->setText(QString());
        r.form.SettingButtonClick(nullptr);
        QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("456"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Setting OK!!!")});
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
        r.module.reply = [](const QByteArray &line) -> QByteArray {
            if (line == "#P0") return "!P0B30000\r";
            if (line == "#P1") return "!P04a" + QByteArray(28, '0') + "\r"; // hidden digit "a": 42
            return confirmingModule(line);
        };
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
