#pragma once
// Runs k3316-cli to its end for a test or a benchmark.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct CliResult {
    bool finished = false; // ended by itself within the time given
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// $K3316_CLI, else k3316-cli beside the running executable.
QString CliExecutable();

// Runs k3316-cli with `arguments`, feeding `input` to its standard input.
CliResult RunCli(const QStringList &arguments, int timeoutMs = 30000, const QByteArray &input = QByteArray());
