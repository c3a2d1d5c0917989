// The transmit list and the log replay on the main window: both send through the composer's
// framing on the window's port, and run only while the receive loop runs.

#include "ui/main/MainUnit.h"

#include "protocol/ModuleModes.h"
#include "serial/QCCom32.h"
#include "ui/framemonitor/LogWindow.h"
#include "ui/transmit/ReplayDialog.h"
#include "ui/transmit/TransmitWindow.h"

bool TMainForm::SendMessageLine(const QByteArray &line)
{
    if (!Connected || !ModuleModes::Receives(ModuleMode))
        return false;
    if (SendFramedLine(line))
        return true;
    ReportLossFoundByWrite();
    return false;
}

void TMainForm::UpdateSendWindows()
{
    const bool canSend = Connected && ModuleModes::Receives(ModuleMode);
    if (m_transmitWindow)
        m_transmitWindow->SetLink(canSend, ComPort->Baud(), UseChecksum);
    if (m_replayDialog)
        m_replayDialog->SetLink(canSend, ComPort->Baud(), UseChecksum);
}

void TMainForm::TransmitList1Click(QObject *)
{
    if (!m_transmitWindow) {
        // No parent: a window of its own that the main window's fixed size does not bind.
        m_transmitWindow = new TTransmitWindow([this](const QByteArray &line) { return SendMessageLine(line); });
        m_transmitWindow->SetDatabase(m_signalDatabase); // the Frame Monitor's databases
        UpdateSendWindows();
    }
    m_transmitWindow->show();
    m_transmitWindow->raise();
    m_transmitWindow->activateWindow();
}

void TMainForm::OpenLog1Click(QObject *)
{
    AskAndOpenLog(this);
}

void TMainForm::ReplayLog1Click(QObject *)
{
    if (!m_replayDialog) {
        m_replayDialog = new TReplayDialog([this](const QByteArray &line) { return SendMessageLine(line); }, this);
        UpdateSendWindows();
    }
    m_replayDialog->show();
    m_replayDialog->raise();
    m_replayDialog->activateWindow();
}
