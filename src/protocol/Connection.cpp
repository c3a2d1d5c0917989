// Connecting: the serial settings dialog, the mode probe, identification, and disconnecting.

#include "ui/MainUnit.h"

#include "common/Branding.h"
#include "protocol/Framing.h"
#include "protocol/ModuleModes.h"
#include "protocol/ProbeReply.h"
#include "ui/Dialogs.h"
#include "ui/SettingsDlg.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

void TMainForm::ConnectToolButtonClick(QObject *)
{
    // The probe's wait runs the event loop; a second connect started there would probe the
    // same port and both would report.
    if (Probing)
        return;
    {
        TSettingsForm dialog(this);
        dialog.exec();
    }
    if (!SettingsAccepted)
        return;

    const QString port = PortDisplayName();
    if (!ComPort->Open()) {
        ModuleMode = ModuleModes::NotConnected;
        Connected = false;
        QString text = QStringLiteral("Open ") + port + QStringLiteral(" Error!");
        if (!ComPort->LineError().isEmpty())
            text += QStringLiteral("\r\n") + ComPort->LineError();
        ShowMessageBox(TMsgType::Error, text);
        AllEditStatus();
        return;
    }

    if (PairTestRequested) {
        PageControl1->setCurrentIndex(1);
        ModuleMode = ModuleModes::PairTest;
        Connected = true;
        AllEditStatus();
        return;
    }

    auto probe = [this](bool checksummed) {
        const bool buttonWas = ConnectToolButton->isEnabled();
        const bool actionWas = Connect1->isEnabled();
        Probing = true;
        ConnectToolButton->setEnabled(false);
        Connect1->setEnabled(false);
        Unit.LastResponse.clear();
        ComPort->SendCommand(Framing::FrameLine("#A", checksummed));
        Unit.LastResponse = ComPort->ReadResponse();
        Probing = false;
        ConnectToolButton->setEnabled(buttonWas);
        Connect1->setEnabled(actionWas);
    };
    auto takeVersion = [this](const QByteArray &reply) {
        FirmwareVersion = FirmwareVersionOf(reply);
        FirmwareLevel = FirmwareLevelOf(reply);
    };

    UseChecksum = false;
    probe(false);
    const QByteArray reply = Unit.LastResponse;

    switch (JudgeProbeReply(reply, ComPort->Baud())) {
    case TProbeVerdict::TooLong:
        ShowMessageBox(TMsgType::Error, QStringLiteral("Please remove the CAN connector when connecting!!!"));
        return;
    case TProbeVerdict::Configuration:
    case TProbeVerdict::OperationAsS:
        takeVersion(reply);
        if (ComPort->Baud() == 115200) {
            PageControl1->setCurrentIndex(0);
            ModuleMode = ModuleModes::Configuration;
            Connected = true;
            // The device may go away during these exchanges; its loss ends the connection.
            GetModuleInformation();
            if (ConnectionLostMeanwhile())
                return;
            AllEditStatus();
            GetModuleSettings();
            if (ConnectionLostMeanwhile())
                return;
        } else {
            PageControl1->setCurrentIndex(1);
            ModuleMode = ModuleModes::Operation;
        }
        Connected = true;
        AllEditStatus();
        ModuleBaudIndex = ItemIndex(RS232BaudrateComboBox);
        AllEditStatus();
        return;
    case TProbeVerdict::Operation:
        takeVersion(reply);
        PageControl1->setCurrentIndex(1);
        ModuleMode = ModuleModes::Operation;
        Connected = true;
        AllEditStatus();
        AllEditStatus();
        return;
    case TProbeVerdict::Failed:
        ModuleMode = ModuleModes::NotConnected;
        Connected = false;
        ShowMessageBox(TMsgType::Error, QStringLiteral("Timeout!!! ") + port + QStringLiteral(" Connect Failed!"));
        ComPort->Close();
        AllEditStatus();
        return;
    case TProbeVerdict::TryChecksummed:
        break;
    }

    // No answer, or a refusal: the module may accept only checksummed commands.
    probe(true);
    const QByteArray checked = Unit.LastResponse;
    const TProbeVerdict verdict = JudgeChecksummedProbeReply(checked);
    if (verdict == TProbeVerdict::TooLong) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("Remove the CAN Connector When Connecting!!!"));
        return;
    }
    if (verdict == TProbeVerdict::Operation) {
        takeVersion(checked);
        PageControl1->setCurrentIndex(1);
        ModuleMode = ModuleModes::Operation;
        Connected = true;
        UseChecksum = true;
        AllEditStatus();
        AllEditStatus();
        return;
    }
    ModuleMode = ModuleModes::NotConnected;
    Connected = false;
    ShowMessageBox(TMsgType::Error, port + QStringLiteral(" Connect Failed!"));
    ComPort->Close();
    AllEditStatus();
}

bool TMainForm::ConnectionLostMeanwhile()
{
    // A loss found by a write, with no wait after it, is still queued for OnLineLost: report
    // it now, so the connect does not go on over a closed port.
    if (Connected && !ComPort->Opened())
        OnLineLost();
    if (Connected)
        return false;
    // The exchanges after the loss may have opened the path again (a new device by that name):
    // a window that is not connected holds no port. They also wrote to the status bar.
    ComPort->Close();
    AllEditStatus();
    return true;
}

void TMainForm::GetModuleInformation()
{
    Unit.LastResponse.clear();
    ComPort->SendCommand(Framing::FrameLine("#PV", false));
    Unit.LastResponse = ComPort->ReadResponse();
    if (!Unit.LastResponse.isEmpty())
        FirmwareVersion = VersionReplyText(Unit.LastResponse);
    StatusPanel[2]->setText(QStringLiteral("Ver: ") + FirmwareVersion);

    Unit.LastResponse.clear();
    ComPort->SendCommand(Framing::FrameLine("#PC", false));
    Unit.LastResponse = ComPort->ReadResponse();
    if (!Unit.LastResponse.isEmpty())
        Unit.MakerName = MakerReplyText(Unit.LastResponse);
    StatusPanel[3]->setText(CopyrightLine(Unit.MakerName));

    Unit.LastResponse.clear();
    ComPort->SendCommand(Framing::FrameLine("#PM", false));
    Unit.LastResponse = ComPort->ReadResponse();
    if (!Unit.LastResponse.isEmpty())
        Unit.ModuleModel = ModelReplyText(Unit.LastResponse);
}

void TMainForm::DisconnectToolButtonClick(QObject *)
{
    ComPort->Close();
    Connected = false;
    AllEditStatus();
    ModuleMode = ModuleModes::NotConnected;
}

void TMainForm::SettingToolButtonClick(QObject *)
{
    if (Connected) {
        const TMsgAnswer answer = ShowMessageBox(
            TMsgType::Confirm,
            QStringLiteral("Could not change settings while a connection is active.\r\nClose the connection and continue ?"),
            TMsgButtons::OkCancel);
        if (answer != TMsgAnswer::Ok)
            return;
        DisconnectToolButtonClick(this);
    }
    TSettingsForm dialog(this);
    dialog.exec();
}
