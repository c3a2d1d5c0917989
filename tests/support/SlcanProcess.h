#pragma once
// Runs `k3316-cli --port PATH slcan` for a test or a benchmark and tells the pseudo-terminal it
// made (the first line of its output).

#include <QProcess>
#include <QString>
#include <QStringList>

class SlcanProcess {
public:
    // `before` goes before the command (--no-probe), `after` after it (--link, --bitrate).
    explicit SlcanProcess(const QString &modulePort, const QStringList &before = {}, const QStringList &after = {});
    ~SlcanProcess(); // SIGKILL when still running

    // The pseudo-terminal's path; empty when it did not come up.
    QString path() const { return m_path; }
    QProcess &process() { return m_process; }
    // Standard error so far.
    QByteArray errors();
    // Sends `signal` and waits for the end; the exit code, -1 when it did not end by itself.
    int stop(int signal);

private:
    QProcess m_process;
    QString m_path;
    QByteArray m_errors;
};
