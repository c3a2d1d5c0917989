// The receive monitor: lists every text the module sends while operation mode lasts.

#include "ui/main/MainUnit.h"

#include "common/SafeSave.h"
#include "monitor/FrameStore.h"
#include "monitor/LineSplitter.h"
#include "protocol/ModuleModes.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/main/ReceiveModel.h"
#include "ui/main/ReceiveReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>

#include <chrono>

namespace {

int64_t MicrosecondsSinceEpoch()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

QString TMainForm::ReceiveFilePath() const
{
    return QDir::current().absoluteFilePath(QStringLiteral("Receive.txt"));
}

void TMainForm::ReceiveLoop()
{
    // A line the last connection left half-sent is not joined to the first bytes of this one.
    m_frameStore->EndPendingLine();
    if (ModuleMode == ModuleModes::Operation) {
        // The connect's probe was the last read: what came after its reply in the same read is
        // the first of the stream. (Pair-connection test sends no probe.)
        const qsizetype end = TLineSplitter::FirstLineEnd(Unit.LastResponse);
        if (end >= 0 && end < Unit.LastResponse.size()) {
            m_frameStore->Append(Unit.LastResponse.constData() + end, Unit.LastResponse.size() - end,
                                 MicrosecondsSinceEpoch());
            if (m_frameMonitor)
                m_frameMonitor->StoreGrew();
        }
    }
    // The reader takes the port's bytes in whatever loop runs, a modal window's too; this loop
    // only keeps the connect handler on the stack until the connection or the mode ends.
    m_receiveReader->Start();
    while (ModuleModes::Receives(ModuleMode) && Connected)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // A line that had begun is listed as far as it came once its response time has passed.
    while (m_receiveReader->ItemPending() && !(ModuleModes::Receives(ModuleMode) && Connected))
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!(ModuleModes::Receives(ModuleMode) && Connected))
        m_receiveReader->Stop();
}

void TMainForm::ReceivedItem(const QByteArray &item)
{
    Unit.LastResponse = item;
    if (Receiving)
        m_receiveModel->Append(item); // the list scrolls when the row shows
}

void TMainForm::ReceiveBitBtnClick(QObject *)
{
    if (ReceiveBitBtn->text() == QLatin1String("Stop")) {
        ReceiveBitBtn->setText(QStringLiteral("Start"));
        Receiving = false;
    } else {
        ReceiveBitBtn->setText(QStringLiteral("Stop"));
        Receiving = true;
    }
}

void TMainForm::ClearBitBtnClick(QObject *)
{
    m_receiveModel->Clear();
}

void TMainForm::SaveBitBtnClick(QObject *)
{
    QString error;
    if (!SaveFileAtomically(ReceiveFilePath(), m_receiveModel->SaveText(), &error))
        ShowErrorReport(error);
}

void TMainForm::FrameMonitor1Click(QObject *)
{
    if (!m_frameMonitor) {
        m_frameMonitor = new TFrameMonitor(m_frameStore.get(), this);
        m_frameMonitor->SetDatabase(m_signalDatabase);
    }
    m_frameMonitor->show();
    m_frameMonitor->raise();
    m_frameMonitor->activateWindow();
}
