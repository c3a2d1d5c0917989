#pragma once
// Helpers that drive the program's dialogs the way a user would (header-only, so tests that do
// not link the windows do not need them).

#include "support/ModalDriver.h"
#include "ui/main/SettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

struct SettingsAnswer {
    SettingsAnswer(QString port_, QString baud_ = QStringLiteral("115200"), QString timeout_ = QString())
        : port(std::move(port_)), baud(std::move(baud_)), timeout(std::move(timeout_))
    {
    }
    QString port;
    QString baud;
    QString timeout; // empty: keep what the dialog shows
    bool pairTest = false;
};

// Fills the next settings dialog and presses Ok.
inline void AnswerSettingsDialog(const SettingsAnswer &answer)
{
    WhenModal<TSettingsForm>([answer](TSettingsForm *d) {
        d->PortComboBox->setEditText(answer.port);
        if (d->K3316Baud->isEnabled())
            d->K3316Baud->setEditText(answer.baud);
        if (!answer.timeout.isEmpty())
            d->TimeOutEdit->setText(answer.timeout);
        d->PairCheckBox->setChecked(answer.pairTest);
        d->OkButton->click();
    });
}

inline void CancelSettingsDialog()
{
    WhenModal<TSettingsForm>([](TSettingsForm *d) { d->CancelButton->click(); });
}
