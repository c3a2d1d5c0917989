#pragma once
// Runs the virtual module (k3316-sim) as a separate process for a test or a benchmark and
// tells where its pseudo-terminal is.

#include <QProcess>
#include <QString>
#include <QStringList>

class SimProcess {
public:
    // Starts k3316-sim with `arguments`; isRunning() tells whether it came up.
    explicit SimProcess(const QStringList &arguments);
    ~SimProcess(); // SIGTERM, then waits

    bool isRunning() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QProcess &process() { return m_process; }

    // Where the binary is: $K3316_SIM, else k3316-sim beside the running executable.
    static QString executable();

private:
    QProcess m_process;
    QString m_path;
};

// The lines a module started with `--log FILE` received, in order ("rx " entries). Without
// `withQueries` the "#" queries of a connect (the probe and its like) are left out.
QStringList ReceivedBySim(const QString &logPath, bool withQueries = true);
