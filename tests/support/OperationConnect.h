#pragma once
// Connects a main window through the settings dialog, the way a user does, and runs a step once
// operation mode stands (header-only, for the tests and the benchmarks).

#include "support/ModalDriver.h"
#include "ui/MainUnit.h"
#include "ui/SettingsDlg.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Connects `form` to the module at `path` and calls `connected` once operation mode stands.
// Returns when the connect handler has returned, that is after `connected` (or something it
// started) has disconnected.
inline void ConnectInOperationMode(TMainForm &form, const QString &path, std::function<void()> connected)
{
    WhenModal<TSettingsForm>([path](TSettingsForm *d) {
        d->PortComboBox->setEditText(path);
        d->OkButton->click();
    });
    auto *watch = new QTimer(&form);
    watch->setInterval(10);
    QObject::connect(watch, &QTimer::timeout, &form, [&form, watch, connected] {
        if (form.Connected && form.ModuleMode == 2) {
            watch->stop();
            watch->deleteLater(); // no timer of ours may wake the process while it is measured
            connected();
        }
    });
    watch->start();
    form.ConnectToolButtonClick(nullptr);
}
