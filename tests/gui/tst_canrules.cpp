#include "support/ConfiguredForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>

namespace {

void chooseSpecification(TMainForm &f, int index)
{
    SetItemIndex(f.CANSpecificationComboBox, index);
    f.CANSpecificationComboBoxChange(f.CANSpecificationComboBox);
}

} // namespace

class TestCanRules : public QObject {
    Q_OBJECT

private slots:
    void specificationClampsAndRewritesTheFields()
    {
        ConnectedForm c(2); // a firmware that offers pair connection
        TMainForm *f = &c.form;
        chooseSpecification(*f, 1);
        f->CanCodeEdit->setText(QStringLiteral("12345678"));
        f->CanMaskEdit->setText(QStringLiteral("1AB"));
        f->CANIDEdit->setText(QStringLiteral("5"));
        chooseSpecification(*f, 0);
        QCOMPARE(f->CanCodeEdit->text(), QStringLiteral("7FF")); // clamped, not masked
        QCOMPARE(f->CanCodeEdit->Value(), 0x7FF);
        QCOMPARE(f->CanMaskEdit->text(), QStringLiteral("1AB"));
        QCOMPARE(f->CANIDEdit->text(), QStringLiteral("005"));
        QCOMPARE(f->CanCodeEdit->MaxLength(), 3);
        QCOMPARE(f->CANIDEdit->MaxValue(), 0x7FF);

        chooseSpecification(*f, 1);
        QCOMPARE(f->CanMaskEdit->text(), QStringLiteral("000001AB"));
        QCOMPARE(f->CanMaskEdit->MaxLength(), 8);
        QCOMPARE(f->CanMaskEdit->MaxValue(), 0x1FFFFFFF);

        chooseSpecification(*f, -1); // no selection counts as 2.0B
        QCOMPARE(f->CanCodeEdit->text(), QStringLiteral("000007FF"));
    }

    void userChoiceOfTheSpecificationRunsTheRule()
    {
        ConnectedForm c(2);
        TMainForm *f = &c.form;
        f->CanCodeEdit->setText(QStringLiteral("1AB"));
        SetItemIndex(f->CANSpecificationComboBox, 0); // by program: no rule
        QCOMPARE(f->CanCodeEdit->text(), QStringLiteral("1AB"));
        // a user's choice from the list: the selection moves, then the box reports it
        f->CANSpecificationComboBox->setCurrentIndex(1);
        emit f->CANSpecificationComboBox->activated(1);
        QCOMPARE(f->CanCodeEdit->text(), QStringLiteral("000001AB"));
    }

    void pairBoxSwitchesItsControls()
    {
        ConnectedForm c(2);
        TMainForm *f = &c.form;
        SetItemIndex(f->RS232ChecksumComboBox, 1);
        SetItemIndex(f->RS232RespondComboBox, 1);
        f->ChkBox_Pair->setChecked(true); // "None" is chosen
        QVERIFY(f->CANIDEdit->isEnabled());
        QVERIFY(f->ChkBox_TxCANID->isEnabled());
        QVERIFY(!f->ChkBox_RespWCANID->isEnabled());
        QVERIFY(f->GroupBox2->isEnabled());
        QVERIFY(f->EndCmdRB3->isEnabled());
        QVERIFY(f->Label31->isEnabled());
        QCOMPARE(ItemIndex(f->RS232ChecksumComboBox), 0);
        QCOMPARE(ItemIndex(f->RS232RespondComboBox), 0);
        QVERIFY(!f->RS232ChecksumComboBox->isEnabled());
        QVERIFY(!f->RS232RespondComboBox->isEnabled());

        f->EndCmdRB3->setChecked(true); // "LF"
        f->ChkBox_RespWCANID->setChecked(true);
        f->ChkBox_Pair->setChecked(false);
        QVERIFY(!f->CANIDEdit->isEnabled());
        QVERIFY(!f->ChkBox_RespWCANID->isEnabled());
        QVERIFY(!f->EndCmdRB3->isEnabled());
        QVERIFY(f->EndCmdRB3->isChecked()); // marks stay, only disabled
        QVERIFY(f->ChkBox_RespWCANID->isChecked());
        QVERIFY(f->RS232ChecksumComboBox->isEnabled());
        QCOMPARE(ItemIndex(f->RS232ChecksumComboBox), 0);

        f->ChkBox_Pair->setChecked(true); // with "LF" chosen the response box is offered
        QVERIFY(f->ChkBox_RespWCANID->isEnabled());
    }

    void fixedTxCanIdBox()
    {
        ConnectedForm c(2);
        TMainForm *f = &c.form;
        chooseSpecification(*f, 1);
        f->ChkBox_Pair->setChecked(true);
        f->EndCmdRB2->setChecked(true);
        f->ChkBox_TxCANID->setChecked(true);
        f->CANIDEdit->setText(QStringLiteral("5"));
        f->ChkBox_TxCANID->setChecked(false);
        QCOMPARE(f->CANIDEdit->text(), QStringLiteral("00000005"));
        QVERIFY(!f->CANIDEdit->isEnabled());
        f->ChkBox_TxCANID->setChecked(true);
        QVERIFY(f->CANIDEdit->isEnabled());
    }

    void noneChecksAndHidesTheFixedIdBox()
    {
        ConnectedForm c(2);
        TMainForm *f = &c.form;
        f->ChkBox_Pair->setChecked(true);
        f->EndCmdRB4->setChecked(true);
        QCOMPARE(f->Unit.EndOfCommandIndex, 3);
        QVERIFY(!f->ChkBox_TxCANID->isHidden());
        f->ChkBox_RespWCANID->setChecked(true);

        f->EndCmdRB1->setChecked(true);
        QCOMPARE(f->Unit.EndOfCommandIndex, 0);
        QVERIFY(f->ChkBox_TxCANID->isChecked());
        QVERIFY(f->ChkBox_TxCANID->isHidden());
        QVERIFY(!f->ChkBox_RespWCANID->isChecked());
        QVERIFY(!f->ChkBox_RespWCANID->isEnabled());
        QVERIFY(f->CANIDEdit->isEnabled());

        // "CR" after "None": the box is shown, still checked; the response box is enabled, unchecked
        f->EndCmdRB2->setChecked(true);
        QCOMPARE(f->Unit.EndOfCommandIndex, 1);
        QVERIFY(!f->ChkBox_TxCANID->isHidden());
        QVERIFY(f->ChkBox_TxCANID->isChecked());
        QVERIFY(f->ChkBox_RespWCANID->isEnabled());
        QVERIFY(!f->ChkBox_RespWCANID->isChecked());
        QVERIFY(!f->EndCmdRB1->isChecked());
    }

    void noneWithoutPairConnectionDisablesTheIdField()
    {
        ConnectedForm c(2);
        TMainForm *f = &c.form;
        f->EndCmdRB1Click(f->EndCmdRB1);
        QVERIFY(!f->CANIDEdit->isEnabled());
        QVERIFY(f->ChkBox_TxCANID->isChecked());
    }

    void eachRadioButtonSetsItsIndex()
    {
        ConnectedForm c(2);
        TMainForm *f = &c.form;
        f->ChkBox_Pair->setChecked(true);
        QRadioButton *buttons[] = {f->EndCmdRB1, f->EndCmdRB2, f->EndCmdRB3, f->EndCmdRB4, f->EndCmdRB5};
        for (int i : {4, 2, 0, 3, 1}) {
            buttons[i]->click();
            QCOMPARE(f->Unit.EndOfCommandIndex, i);
            for (int j = 0; j < 5; ++j)
                QCOMPARE(buttons[j]->isChecked(), i == j);
        }
    }
};

QTEST_MAIN(TestCanRules)
#include "tst_canrules.moc"
