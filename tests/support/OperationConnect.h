#pragma once
// Connects a main window through the settings dialog, the way a user does, and runs a step once
// operation mode stands (header-only, for the tests and the benchmarks).

#include "support/ModalDriver.h"
#include "support/UiDrivers.h"
#include "ui/main/MainUnit.h"

#include <QTimer>

#include <functional>

// Connects `form` to the module at `path` and calls `connected` once operation mode stands.
// Returns when the connect handler has returned, that is after `connected` (or something it
// started) has disconnected. A connect that never reached operation mode fails the running test.
inline void ConnectInOperationMode(TMainForm &form, const QString &path, std::function<void()> connected)
{
    AnswerSettingsDialog({path});
    auto *watch = new QTimer(&form);
    auto reached = std::make_shared<bool>(false);
    watch->setInterval(10);
    QObject::connect(watch, &QTimer::timeout, &form, [&form, watch, connected, reached] {
        if (form.Connected && form.ModuleMode == ModuleModes::Operation) {
            *reached = true;
            watch->stop();
            watch->deleteLater(); // no timer of ours may wake the process while it is measured
            connected();
        }
    });
    watch->start();
    form.ConnectToolButtonClick(nullptr);
    if (!*reached) {
        watch->deleteLater();
        FailRunningTest("ConnectInOperationMode: the connect ended before operation mode", __FILE__, __LINE__);
    }
}
