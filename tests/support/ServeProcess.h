#pragma once
// Runs `k3316-cli --port PATH serve --listen 127.0.0.1:0` for a test or a benchmark and tells
// the port it chose.

#include <QProcess>
#include <QString>
#include <QStringList>

class ServeProcess {
public:
    // `before` goes before the command (--no-probe), `after` after it (--channel).
    explicit ServeProcess(const QString &modulePort, const QStringList &before = {}, const QStringList &after = {});
    ~ServeProcess(); // SIGKILL when still running

    // The port from its "serving ... on 127.0.0.1:PORT" line; 0 when it did not come up.
    quint16 port() const { return m_port; }
    QProcess &process() { return m_process; }
    // Standard output read so far, the "serving" line included.
    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
    quint16 m_port = 0;
};
