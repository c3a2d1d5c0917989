// The message composer: builds CAN message lines from the fields and sends them once or
// periodically.

#include "ui/main/MainUnit.h"

#include "common/StrToInt.h"
#include "protocol/Framing.h"
#include "protocol/MessageLine.h"
#include "protocol/ModuleSession.h"
#include "transmit/TransmitRow.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/signals/SignalComposer.h"
#include "ui/signals/SignalDatabase.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void TMainForm::SendBitBtnClick(QObject *)
{
    if (CANCheckBox->isChecked()) {
        TComposerFields fields;
        fields.IdText = IDEdit->text();
        fields.ModeText = ModeEdit->text();
        fields.RtrText = RTREdit->text();
        fields.DlcText = DLCEdit->text();
        for (int k = 0; k < 8; ++k)
            fields.Data[k] = DataEdits[k]->Value();
        const QString line = ComposeMessageLine(fields); // a text that is no number fails here, as always
        // Three digits reach FFF and eight FFFFFFFF: no controller sends past 11 or 29 bits.
        if (const QString problem = TransmitRows::CheckId(fields.IdText, fields.ModeText != QLatin1String("0"));
            !problem.isEmpty()) {
            if (Timer2->isActive())
                StopBitBtnClick(StopBitBtn);
            ShowMessageBox(TMsgType::Error, QStringLiteral("ID(Hex): %1. Nothing was sent.").arg(problem));
            return;
        }
        SendEdit->setText(line);
    }

    const QString text = SendEdit->text();
    if (const qsizetype bad = FirstUnsendableChar(text); bad >= 0) {
        // toLatin1 would send "?" in its place, silently.
        if (Timer2->isActive())
            StopBitBtnClick(StopBitBtn);
        ShowMessageBox(TMsgType::Error, UnsendableCharMessage(text, bad));
        return;
    }
    const QByteArray line = text.toLatin1();
    if (!SendFramedLine(line)) {
        // Stop the timer before the box, so no further tick sends while it is open.
        if (Timer2->isActive())
            StopBitBtnClick(StopBitBtn);
        if (!ReportLossFoundByWrite())
            ShowMessageBox(TMsgType::Error, ModuleTexts::SendFailed());
    }
}

bool TMainForm::SendFramedLine(const QByteArray &line)
{
    return ComPort->SendCommand(Framing::FrameLine(line, UseChecksum));
}

void TMainForm::CANCheckBoxClick(QObject *)
{
    const bool composed = CANCheckBox->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{IDEdit, RTREdit, DLCEdit, ModeEdit})
        w->setEnabled(composed);
    for (TNumberEdit *d : DataEdits)
        d->setEnabled(composed);
    SendEdit->setEnabled(!composed);
}

void TMainForm::ModeEditChange(QObject *)
{
    if (!CANCheckBox->isChecked())
        return;
    if (ModeEdit->Value() == 1) {
        IDEdit->setMaxLength(8);
        IDEdit->setText(IntToHex(StrToInt(QStringLiteral("$") + IDEdit->text()), 8));
    } else {
        IDEdit->setMaxLength(3);
        const QString id = IDEdit->text();
        if (id.size() > 3)
            IDEdit->setText(id.right(3));
    }
}

void TMainForm::RTREditChange(QObject *)
{
    if (!CANCheckBox->isChecked())
        return;
    if (RTREdit->Value() == 1) {
        for (TNumberEdit *d : DataEdits)
            d->setEnabled(false);
    } else {
        DLCEditChange(RTREdit);
    }
}

void TMainForm::DLCEditChange(QObject *)
{
    if (!CANCheckBox->isChecked() || RTREdit->text() != QLatin1String("0"))
        return;
    for (TNumberEdit *d : DataEdits)
        d->setEnabled(true);
    for (int k = 1; k <= 8; ++k)
        if (k > DLCEdit->Value())
            DataEdits[k - 1]->setEnabled(false);
}

void TMainForm::AutoBitBtnClick(QObject *)
{
    Timer2->start();
    StopBitBtn->setEnabled(true);
    AutoBitBtn->setEnabled(false);
    SendBitBtn->setEnabled(false);
}

void TMainForm::StopBitBtnClick(QObject *)
{
    Timer2->stop();
    StopBitBtn->setEnabled(false);
    AutoBitBtn->setEnabled(true);
    SendBitBtn->setEnabled(true);
}

void TMainForm::Timer2Timer(QObject *)
{
    try {
        SendBitBtnClick(Timer2);
    } catch (const EConvertError &) {
        // A line that cannot be composed would fail on every tick: stop first, report once.
        if (Timer2->isActive())
            StopBitBtnClick(StopBitBtn);
        throw;
    }
}

void TMainForm::IntervalEditChange(QObject *)
{
    SetBitBtn->setEnabled(true);
}

void TMainForm::SetBitBtnClick(QObject *)
{
    int32_t interval = 500;
    int32_t typed = 0;
    // Only pasting can bring a sign here; a negative number is no interval.
    if (!TryStrToInt(IntervalEdit->text(), typed) || typed < 0)
        ShowMessageBox(TMsgType::Warning, QStringLiteral("Please input a numerical value!"));
    else
        interval = typed;
    if (interval == 0)
        interval = 500;
    IntervalEdit->setText(IntToStr(interval));
    Timer2->setInterval(interval);
    SetBitBtn->setEnabled(false);
}

void TMainForm::ComposeFromDatabaseClick(QObject *)
{
    m_signalDatabase->Restore();
    if (m_signalDatabase->IsEmpty()) {
        ShowMessageBox(TMsgType::Information,
                       QStringLiteral("No CAN database is loaded. ") + TSignalDatabase::HowToLoad());
        return;
    }
    TSignalComposerDialog dialog(m_signalDatabase->Database(), this);
    if (dialog.exec() == QDialog::Accepted && dialog.Message())
        FillComposer(*dialog.Message(), dialog.Data());
}

void TMainForm::FillComposer(const TDbcMessage &message, const QByteArray &data)
{
    // The identifier before the mode: the mode's rule then reads a number, whatever the field
    // held, and keeps its digits. The DLC last decides which data fields are open.
    CANCheckBox->setChecked(true);
    RTREdit->setText(QStringLiteral("0"));
    IDEdit->setText(IntToHex(int32_t(message.Id), message.Extended ? 8 : 3));
    ModeEdit->setText(message.Extended ? QStringLiteral("1") : QStringLiteral("0"));
    const int dlc = int(std::min<qsizetype>(data.size(), 8));
    DLCEdit->setText(QString::number(dlc));
    for (int k = 0; k < 8; ++k)
        DataEdits[k]->setText(IntToHex(k < dlc ? uint8_t(data[k]) : 0, 2));
}
