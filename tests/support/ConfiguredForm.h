#pragma once
// A main window put straight into a connected state, without the probe: for tests of what
// happens once a connection stands. Header-only, so only tests that link the window need it.

#include "support/FakeModule.h"
#include "support/MessageBoxRecorder.h"
#include "support/ModuleScript.h"
#include "support/Steps.h"
#include "support/UiDrivers.h"
#include "protocol/ModuleModes.h"
#include "ui/main/MainUnit.h"

#include <QTest>

// The configuration state at `firmwareLevel`, as a finished connect leaves it.
inline void EnterConfigurationMode(TMainForm &form, int firmwareLevel)
{
    form.FirmwareLevel = firmwareLevel;
    form.Connected = true;
    form.ModuleMode = ModuleModes::Configuration;
    form.AllEditStatus();
}

// A step that times out ends the connection, so the test reports it instead of hanging in the
// receive loop.
inline void EndConnectionOnFailure(TMainForm &form, Steps &steps)
{
    if (!steps.onFailure)
        steps.onFailure = [&form] { form.DisconnectToolButtonClick(nullptr); };
}

// Starts `steps`, then enters operation mode or pair test mode: the receive loop runs until the
// steps end the connection, and only then does this return.
inline void RunOperationMode(TMainForm &form, Steps &steps, int mode = ModuleModes::Operation)
{
    EndConnectionOnFailure(form, steps);
    steps.start();
    form.Connected = true;
    form.ModuleMode = mode;
    form.AllEditStatus();
}

inline Steps &WaitForOperationMode(Steps &steps, TMainForm &form, int timeoutMs = 10000)
{
    return steps.waitUntil([&form] { return form.Connected && form.ModuleMode == ModuleModes::Operation; },
                           QStringLiteral("operation mode"), timeoutMs);
}

// Connects through the settings dialog, filled in with `answer`, while `steps` drive the test
// from inside the receive loop; returns once the connect handler has returned.
inline void ConnectWithSteps(TMainForm &form, const SettingsAnswer &answer, Steps &steps)
{
    AnswerSettingsDialog(answer);
    EndConnectionOnFailure(form, steps);
    steps.start();
    form.ConnectToolButtonClick(nullptr);
}

// A window whose port is open on a fake module, with every message box recorded.
struct ConnectedForm {
    MessageBoxRecorder boxes;
    TMainForm form;
    FakeModule module;

    ConnectedForm()
    {
        form.ComPort->setDevicePath(module.path());
        form.ComPort->setResponseTime(200);
        form.ComPort->Open();
    }
    // Connected in configuration mode to a module that answers as in configuration mode.
    explicit ConnectedForm(int firmwareLevel) : ConnectedForm()
    {
        module.reply = ModuleScript::Configuration();
        EnterConfigurationMode(form, firmwareLevel);
    }
    // Operation mode on the module's port, opened again when a disconnect closed it; see
    // RunOperationMode.
    void runOperationMode(Steps &steps)
    {
        QVERIFY(form.ComPort->Opened() || form.ComPort->Open());
        RunOperationMode(form, steps);
    }
};

// Fills in the message composer of the Test page: CAN mode on, then each field as typed.
inline void ComposeMessage(TMainForm &form, const QString &mode, const QString &rtr, const QString &id,
                           const QString &dlc, const QList<int> &data = {})
{
    form.CANCheckBox->setChecked(true);
    form.ModeEdit->setText(mode);
    form.RTREdit->setText(rtr);
    form.IDEdit->setText(id);
    form.DLCEdit->setText(dlc);
    for (qsizetype k = 0; k < data.size(); ++k)
        form.DataEdits[k]->setValue(data[k]);
}
