// Connecting: the serial settings dialog, the mode probe, identification, and disconnecting.

#include "ui/main/MainUnit.h"

#include "common/Branding.h"
#include "protocol/ModuleModes.h"
#include "protocol/ModuleSession.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/main/SettingsDlg.h"

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

    UseChecksum = false;
    // The plain probe, and the checksummed one when the plain one got no answer or a refusal.
    // Connect is not offered again while a probe waits: a second connect would run beneath it.
    const bool buttonWas = ConnectToolButton->isEnabled();
    const bool actionWas = Connect1->isEnabled();
    Probing = true;
    ConnectToolButton->setEnabled(false);
    Connect1->setEnabled(false);
    const TModuleIdentity id = Session().Probe(ComPort->Baud(), port);
    Probing = false;
    ConnectToolButton->setEnabled(buttonWas);
    Connect1->setEnabled(actionWas);
    auto takeVersion = [this, &id] {
        FirmwareVersion = id.FirmwareVersion;
        FirmwareLevel = id.FirmwareLevel;
    };

    switch (id.Verdict) {
    case TProbeVerdict::TooLong:
        ShowMessageBox(TMsgType::Error, id.Message);
        return;
    case TProbeVerdict::Configuration:
    case TProbeVerdict::OperationAsS:
        takeVersion();
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
        takeVersion();
        PageControl1->setCurrentIndex(1);
        ModuleMode = ModuleModes::Operation;
        Connected = true;
        UseChecksum = id.UseChecksum;
        AllEditStatus();
        AllEditStatus();
        return;
    case TProbeVerdict::Failed:
    case TProbeVerdict::TryChecksummed: // never the verdict of a whole probe
        break;
    }
    ModuleMode = ModuleModes::NotConnected;
    Connected = false;
    ShowMessageBox(TMsgType::Error, id.Message);
    ComPort->Close();
    AllEditStatus();
}

TModuleSession TMainForm::Session()
{
    return TModuleSession({[this](const QByteArray &line) {
                               Unit.LastResponse.clear();
                               return ComPort->SendCommand(line);
                           },
                           [this] {
                               Unit.LastResponse = ComPort->ReadResponse();
                               return Unit.LastResponse;
                           }});
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
    // The status panels are filled between the queries, as each answer comes.
    TModuleSession session = Session();
    FirmwareVersion = session.Ask(TIdentityQuery::Version).value_or(FirmwareVersion);
    StatusPanel[2]->setText(QStringLiteral("Ver: ") + FirmwareVersion);
    Unit.MakerName = session.Ask(TIdentityQuery::Maker).value_or(Unit.MakerName);
    StatusPanel[3]->setText(CopyrightLine(Unit.MakerName));
    Unit.ModuleModel = session.Ask(TIdentityQuery::Model).value_or(Unit.ModuleModel);
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
