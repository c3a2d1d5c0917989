#include "support/ServeProcess.h"

#include "support/CliRun.h"

#include <QRegularExpression>

ServeProcess::ServeProcess(const QString &modulePort, const QStringList &before, const QStringList &after)
{
    m_process.start(CliExecutable(), QStringList{"--port", modulePort} + before +
                                         QStringList{"serve", "--listen", "127.0.0.1:0"} + after);
    if (!m_process.waitForStarted(5000))
        return;
    const QRegularExpression serving(QStringLiteral("serving channel \\S+ on 127\\.0\\.0\\.1:(\\d+)"));
    while (m_process.waitForReadyRead(10000)) {
        m_output += m_process.readAllStandardOutput();
        if (const auto match = serving.match(QString::fromLatin1(m_output)); match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return;
        }
    }
}

ServeProcess::~ServeProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}
