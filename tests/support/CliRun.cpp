#include "support/CliRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

QString CliExecutable()
{
    const QString fromEnvironment = qEnvironmentVariable("K3316_CLI");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("k3316-cli"));
}

CliResult RunCli(const QStringList &arguments, int timeoutMs, const QByteArray &input)
{
    CliResult result;
    QProcess process;
    process.start(CliExecutable(), arguments);
    if (!process.waitForStarted(5000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}
