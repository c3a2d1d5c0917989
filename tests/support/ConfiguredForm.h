#pragma once
// A main window connected in configuration mode to a fake module, without going through the
// probe: for tests of what happens once a configuration connection stands.

#include "support/FakeModule.h"
#include "support/MessageBoxRecorder.h"
#include "ui/MainUnit.h"

struct ConfiguredForm {
    MessageBoxRecorder boxes;
    TMainForm form;
    FakeModule module;

    explicit ConfiguredForm(int firmwareLevel)
    {
        form.ComPort->setDevicePath(module.path());
        form.ComPort->setResponseTime(200);
        form.ComPort->Open();
        form.FirmwareLevel = firmwareLevel;
        form.Connected = true;
        form.ModuleMode = 1;
        form.AllEditStatus();
    }
};
