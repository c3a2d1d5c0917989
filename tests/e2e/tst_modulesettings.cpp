#include "support/ConfiguredForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace {

// A window connected in configuration mode to a fake module that answers "#P0" and "#P1" with
// the given texts; GetModuleSettings is then run on its own.
struct Rig : ConnectedForm {
    Rig(int firmwareLevel, const QByteArray &p0, const QByteArray &p1) : ConnectedForm(firmwareLevel)
    {
        module.reply = ModuleScript::Configuration().with("#P0", p0).with("#P1", p1);
    }
};

QByteArray p1Level2(char spec, const QByteArray &code, const QByteArray &mask, const QByteArray &txid,
                    const QByteArray &flags)
{
    if (spec == '0')
        return QByteArray("!P") + spec + "40" + "0" + code + "00000" + mask + QByteArray(9, '0') + txid + flags + "\r";
    return QByteArray("!P") + spec + "40" + code + mask + txid + flags + "\r";
}

} // namespace

class TestModuleSettings : public QObject {
    Q_OBJECT

private slots:
    void rs232ReplySelectsItsEntries()
    {
        Rig r(1, "!P0B30000\r", "!P040" "0123" "00000" "456" "\r");
        r.form.GetModuleSettings();
        QVERIFY(r.boxes.boxes.isEmpty());
        QCOMPARE(r.form.RS232BaudrateComboBox->currentText(), QStringLiteral("115200"));
        QCOMPARE(r.form.RS232DataBitComboBox->currentText(), QStringLiteral("8"));
        QCOMPARE(r.form.RS232StopBitComboBox->currentText(), QStringLiteral("1"));
        QCOMPARE(r.form.RS232ParityComboBox->currentText(), QStringLiteral("None"));
        QCOMPARE(r.form.RS232ChecksumComboBox->currentText(), QStringLiteral("No"));
        QCOMPARE(r.form.RS232RespondComboBox->currentText(), QStringLiteral("No"));
        QCOMPARE(r.module.lines, (QList<QByteArray>{"#P0", "#P1"}));
    }

    void outOfListIndexLeavesNoSelection()
    {
        Rig r(1, "!P1B30000\r", "!P090" "0123" "00000" "456" "\r");
        SetItemIndex(r.form.RS232BaudrateComboBox, 3);
        r.form.GetModuleSettings();
        QCOMPARE(r.form.Unit.ModuleRS232Baud, 27);
        QCOMPARE(ItemIndex(r.form.RS232BaudrateComboBox), -1);
        QVERIFY(r.form.RS232BaudrateComboBox->currentText().isEmpty());
        QCOMPARE(r.form.CANBaudrateComboBox->currentText(), QStringLiteral("83.3K"));
    }

    void level1Reads20AAndTouchesNoPairControls()
    {
        Rig r(1, "!P0A30000\r", "!P040" "07FF" "00000" "123" "\r");
        const bool pairBefore = r.form.ChkBox_Pair->isChecked();
        r.form.GetModuleSettings();
        QCOMPARE(r.form.RS232BaudrateComboBox->currentText(), QStringLiteral("57600"));
        QCOMPARE(r.form.CANSpecificationComboBox->currentText(), QStringLiteral("2.0A"));
        QCOMPARE(r.form.CANBaudrateComboBox->currentText(), QStringLiteral("125K"));
        QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("7FF"));
        QCOMPARE(r.form.CanMaskEdit->text(), QStringLiteral("123"));
        // the Tx CAN ID was never read: empty, so value 0, shown with three digits
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("000"));
        QCOMPARE(r.form.ChkBox_Pair->isChecked(), pairBefore);
        QVERIFY(r.form.ChkBox_TxCANID->isHidden());
    }

    void eightDigitCodeIsTakenEvenAfter20ALimits()
    {
        Rig r(2, "!P0B30000\r", p1Level2('1', "1FFFFFFF", "0000FFFF", "00000000", "0000"));
        SetItemIndex(r.form.CANSpecificationComboBox, 0);
        r.form.CANSpecificationComboBoxChange(nullptr); // fields limited to three digits before the read
        r.form.GetModuleSettings();
        QCOMPARE(r.form.Unit.ModuleCanCode, QStringLiteral("1FFFFFFF"));
        QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("1FFFFFFF"));
        QCOMPARE(r.form.CanMaskEdit->text(), QStringLiteral("0000FFFF"));
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("00000001")); // all zeros read as 1
        QCOMPARE(r.form.CanCodeEdit->MaxLength(), 8);
    }

    void zeroTxIdIn20AbecomesOne()
    {
        Rig r(2, "!P0B30000\r", p1Level2('0', "123", "456", "000", "0000"));
        r.form.GetModuleSettings();
        QCOMPARE(r.form.Unit.ModuleTxCanId, QStringLiteral("001"));
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("001"));
    }

    void pairFlagOffLeavesTheRestAlone()
    {
        Rig r(2, "!P0B30000\r", p1Level2('1', "00000001", "00000002", "00000003", "0112"));
        r.form.EndCmdRB4->setChecked(true);
        r.form.GetModuleSettings();
        QVERIFY(!r.form.ChkBox_Pair->isChecked());
        QVERIFY(!r.form.CANIDEdit->isEnabled());
        QVERIFY(r.form.EndCmdRB4->isChecked()); // position 33 had no effect
        QCOMPARE(r.form.Unit.EndOfCommandIndex, 3);
    }

    void noneOverridesTheFlags()
    {
        Rig r(2, "!P0B30000\r", p1Level2('1', "00000001", "00000002", "00000003", "1010"));
        r.form.GetModuleSettings();
        QVERIFY(r.form.ChkBox_Pair->isChecked());
        QVERIFY(r.form.ChkBox_TxCANID->isChecked());
        QVERIFY(r.form.ChkBox_TxCANID->isHidden());
        QVERIFY(!r.form.ChkBox_RespWCANID->isChecked());
        QVERIFY(!r.form.ChkBox_RespWCANID->isEnabled());
        QVERIFY(r.form.EndCmdRB1->isChecked());
        QVERIFY(r.form.CANIDEdit->isEnabled());
    }

    void flagsAndEndOfCommandApplied()
    {
        Rig r(2, "!P0B30000\r", p1Level2('1', "00000001", "00000002", "00000003", "1014"));
        r.form.GetModuleSettings();
        QVERIFY(r.form.ChkBox_Pair->isChecked());
        QVERIFY(!r.form.ChkBox_TxCANID->isChecked());
        QVERIFY(!r.form.CANIDEdit->isEnabled());
        QVERIFY(r.form.ChkBox_RespWCANID->isChecked());
        QVERIFY(r.form.EndCmdRB5->isChecked());
        QCOMPARE(r.form.Unit.EndOfCommandIndex, 4);
        QVERIFY(!r.form.ChkBox_TxCANID->isHidden());
    }

    void unknownEndOfCommandRunsNoRule()
    {
        Rig r(2, "!P0B30000\r", p1Level2('1', "00000001", "00000002", "00000003", "1117"));
        r.form.GetModuleSettings();
        QVERIFY(r.form.ChkBox_Pair->isChecked());
        QVERIFY(r.form.EndCmdRB1->isChecked());
        QCOMPARE(r.form.Unit.EndOfCommandIndex, 0);
        QVERIFY(r.form.ChkBox_TxCANID->isHidden()); // the "None" rule never ran
    }

    void noRs232ReplyStopsBeforeTheCanQuery()
    {
        Rig r(2, QByteArray(), "!P1...");
        r.form.GetModuleSettings();
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Get Module COM Setting Error!")});
        QCOMPARE(r.module.lines, QList<QByteArray>{"#P0"});
        QCOMPARE(r.form.RS232BaudrateComboBox->currentIndex(), -1);
    }

    void noCanReplyKeepsTheRs232Values()
    {
        Rig r(2, "!P0730000\r", QByteArray());
        r.form.CanCodeEdit->setText(QStringLiteral("ABC"));
        r.form.GetModuleSettings();
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Get Module CAN Setting Error!")});
        QCOMPARE(r.form.RS232BaudrateComboBox->currentText(), QStringLiteral("9600"));
        QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("ABC"));
    }

    void shortRepliesAreNoReplies()
    {
        {
            Rig r(2, "!P0B3000\r", "unused");
            r.form.GetModuleSettings();
            QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Get Module COM Setting Error!")});
            QCOMPARE(r.form.RS232BaudrateComboBox->currentIndex(), -1);
        }
        {
            Rig r(2, "!P0B30000\r", "!P1401FFFFFFF\r");
            r.form.CanCodeEdit->setText(QStringLiteral("ABC"));
            r.form.GetModuleSettings();
            QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Get Module CAN Setting Error!")});
            QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("ABC"));
            QCOMPARE(r.form.RS232BaudrateComboBox->currentText(), QStringLiteral("115200"));
        }
    }
};

QTEST_MAIN(TestModuleSettings)
#include "tst_modulesettings.moc"
