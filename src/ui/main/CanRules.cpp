// Rules that keep the CAN parameters of the "Settings" page consistent with each other.

#include "ui/main/MainUnit.h"

#include "common/StrToInt.h"
#include "protocol/CanIdentifier.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

void TMainForm::ApplySpecificationLimits(bool spec20A)
{
    for (TNumberEdit *field : {CanCodeEdit, CanMaskEdit, CANIDEdit}) {
        field->setMaxLength(CanId::Digits(!spec20A));
        field->setMaxValue(CanId::Max(!spec20A));
        field->setText(IntToHex(field->Value(), CanId::Digits(!spec20A)));
    }
}

void TMainForm::CANSpecificationComboBoxChange(QObject *)
{
    ApplySpecificationLimits(ItemIndex(CANSpecificationComboBox) == 0);
}

void TMainForm::ChkBox_PairClick(QObject *)
{
    if (ChkBox_Pair->isChecked()) {
        CANIDEdit->setEnabled(true);
        ChkBox_TxCANID->setEnabled(true);
        ChkBox_RespWCANID->setEnabled(Unit.EndOfCommandIndex != 0);
        for (QWidget *w : std::initializer_list<QWidget *>{EndCmdRB1, EndCmdRB2, EndCmdRB3, EndCmdRB4, EndCmdRB5,
                                                           GroupBox2, Label31, Label33})
            w->setEnabled(true);
        SetItemIndex(RS232ChecksumComboBox, 0);
        SetItemIndex(RS232RespondComboBox, 0);
        RS232ChecksumComboBox->setEnabled(false);
        RS232RespondComboBox->setEnabled(false);
    } else {
        SetPairControlsEnabled(false);
        RS232ChecksumComboBox->setEnabled(true);
        RS232RespondComboBox->setEnabled(true);
    }
}

void TMainForm::ChkBox_TxCANIDClick(QObject *)
{
    if (ChkBox_TxCANID->isChecked()) {
        CANIDEdit->setEnabled(true);
        return;
    }
    CANIDEdit->setText(IntToHex(CANIDEdit->Value(), CanId::Digits(ItemIndex(CANSpecificationComboBox) != 0)));
    CANIDEdit->setEnabled(false);
}

void TMainForm::EndCmdRB1Click(QObject *)
{
    Unit.EndOfCommandIndex = 0;
    EndCmdRB1->setChecked(true);
    ChkBox_TxCANID->setChecked(true);
    ChkBox_TxCANID->hide();
    ChkBox_RespWCANID->setChecked(false);
    ChkBox_RespWCANID->setEnabled(false);
    if (!ChkBox_Pair->isChecked())
        CANIDEdit->setEnabled(false);
}

void TMainForm::RunEndOfCommandRule(int index)
{
    QRadioButton *const buttons[] = {EndCmdRB1, EndCmdRB2, EndCmdRB3, EndCmdRB4, EndCmdRB5};
    Unit.EndOfCommandIndex = index;
    buttons[index]->setChecked(true);
    ChkBox_TxCANID->show();
    ChkBox_RespWCANID->setEnabled(true);
}

void TMainForm::EndCmdRB2Click(QObject *)
{
    RunEndOfCommandRule(1);
}

void TMainForm::EndCmdRB3Click(QObject *)
{
    RunEndOfCommandRule(2);
}

void TMainForm::EndCmdRB4Click(QObject *)
{
    RunEndOfCommandRule(3);
}

void TMainForm::EndCmdRB5Click(QObject *)
{
    RunEndOfCommandRule(4);
}
