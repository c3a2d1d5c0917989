// The receive monitor: lists every text the module sends while operation mode lasts.

#include "ui/MainUnit.h"

#include "ui/Dialogs.h"
#include "ui/ReceiveFile.h"
#include "ui/ReceiveModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QThread>

QString TMainForm::ReceiveFilePath() const
{
    return QDir::current().absoluteFilePath(QStringLiteral("Receive.txt"));
}

void TMainForm::ReceiveLoop()
{
    while ((ModuleMode == 2 || ModuleMode == 3) && Connected) {
        if (ComPort->InCount() > 0) {
            Unit.LastResponse.clear();
            ComPort->ReadResponse(Unit.LastResponse);
            if (Unit.LastResponse.isEmpty()) {
                // Another read further down the stack owns the port; let it finish.
                QThread::msleep(1);
            } else if (Receiving) {
                m_receiveModel->Append(Unit.LastResponse); // the list scrolls when the row shows
            }
        }
        // Handle what is pending; with nothing to do, sleep until the port or the window has
        // something, instead of polling.
        if (ComPort->InCount() > 0)
            QCoreApplication::processEvents();
        else
            ComPort->WaitForInputOrEvents();
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
