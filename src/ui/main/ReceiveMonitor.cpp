// The receive monitor: lists every text the module sends while operation mode lasts.

#include "ui/main/MainUnit.h"

#include "common/SafeSave.h"
#include "monitor/FrameStore.h"
#include "monitor/LineSplitter.h"
#include "protocol/ModuleModes.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/main/ReceiveModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>

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
    // Between lines of a flood, window events are handled once a millisecond rather than after
    // every line; timers as short as the auto-send's 1 ms still tick on time.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
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
    int32_t waiting = ComPort->InCount();
    while (ModuleModes::Receives(ModuleMode) && Connected) {
        if (waiting > 0) {
            Unit.LastResponse.resize(0); // its buffer serves the next line too; the lists copy
            ComPort->ReadResponse(Unit.LastResponse);
            if (Unit.LastResponse.isEmpty()) {
                // Another read further down the stack owns the port; let it finish.
                QThread::msleep(1);
            } else {
                // The frame monitor records every read, listed or not.
                m_frameStore->Append(Unit.LastResponse, MicrosecondsSinceEpoch());
                if (m_frameMonitor)
                    m_frameMonitor->StoreGrew();
                if (Receiving)
                    m_receiveModel->Append(Unit.LastResponse); // the list scrolls when the row shows
            }
            // A read that emptied the queue already said what asking again would.
            waiting = ComPort->QueueEmptied() ? 0 : ComPort->InCount();
            if (waiting > 0) {
                if (sinceEvents.elapsed() >= 1) {
                    QCoreApplication::processEvents();
                    sinceEvents.restart();
                    waiting = ComPort->InCount();
                }
                continue;
            }
        }
        // Nothing to do: sleep until the port or the window has something, not polling.
        ComPort->WaitForInputOrEvents();
        sinceEvents.restart();
        waiting = ComPort->InCount();
    }
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
