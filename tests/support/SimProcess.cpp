#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

QString SimProcess::executable()
{
    const QString fromEnvironment = qEnvironmentVariable("K3316_SIM");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("k3316-sim"));
}

SimProcess::SimProcess(const QStringList &arguments)
{
    m_process.setProgram(executable());
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return;
    // The first line of its output names the pseudo-terminal: "k3316-sim: /dev/pts/N".
    QByteArray line;
    while (!line.contains('\n') && m_process.waitForReadyRead(5000))
        line += m_process.readAllStandardOutput();
    const QByteArray prefix = "k3316-sim: ";
    const qsizetype start = line.indexOf(prefix);
    if (start < 0)
        return;
    m_path = QString::fromLocal8Bit(line.mid(start + prefix.size()).split('\n').value(0).trimmed());
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QStringList ReceivedBySim(const QString &logPath, bool withQueries)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString &l : QString::fromLatin1(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (l.startsWith(QLatin1String("rx ")) && (withQueries || !l.startsWith(QLatin1String("rx #"))))
            lines << l.mid(3);
    return lines;
}
