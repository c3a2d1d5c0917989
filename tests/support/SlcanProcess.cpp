#include "support/SlcanProcess.h"

#include "support/CliRun.h"

#include <QCoreApplication>

#include <csignal>

SlcanProcess::SlcanProcess(const QString &modulePort, const QStringList &before, const QStringList &after)
{
    m_process.start(CliExecutable(), QStringList{"--port", modulePort} + before + QStringList{"slcan"} + after);
    if (!m_process.waitForStarted(5000))
        return;
    QByteArray out;
    while (!out.contains('\n') && m_process.waitForReadyRead(10000))
        out += m_process.readAllStandardOutput();
    if (out.startsWith("/dev/"))
        m_path = QString::fromLocal8Bit(out.left(out.indexOf('\n')));
}

SlcanProcess::~SlcanProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QByteArray SlcanProcess::errors()
{
    QCoreApplication::processEvents(); // the pipe is read by the event loop
    m_errors += m_process.readAllStandardError();
    return m_errors;
}

int SlcanProcess::stop(int signal)
{
    if (m_process.state() != QProcess::NotRunning)
        ::kill(pid_t(m_process.processId()), signal);
    if (!m_process.waitForFinished(10000) || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    errors();
    return m_process.exitCode();
}
