#pragma once
// Runs a VirtualModule on a line: a new pseudo-terminal, or a real serial port. One poll loop
// sleeps until the line has input, can take pending output, the module's next byte is due or a
// signal arrives.

#include "SimOptions.h"
#include "VirtualModule.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace Sim {

class PtyHost {
public:
    explicit PtyHost(const SimOptions &options);
    ~PtyHost(); // closes everything and removes the link
    PtyHost(const PtyHost &) = delete;
    PtyHost &operator=(const PtyHost &) = delete;

    // Blocks the ending signals (so they wait for run()), opens the line and places the link.
    bool open(QString &error);
    // The path a program opens: the pseudo-terminal's slave, or the device.
    QString path() const { return m_path; }
    // Serves the line until SIGINT, SIGTERM or SIGHUP: 0 then, 1 when the line fails.
    int run(QString &error);

private:
    bool openPseudoTerminal(QString &error);
    bool openDevice(QString &error);
    bool placeLink(QString &error);
    void removeLink();
    int32_t lineBaud() const;
    void handleOpenCloseEvents();
    bool readLine(QString &error);
    bool writePending(QString &error);
    void logLine(const QByteArray &line);

    SimOptions m_options;
    VirtualModule m_module;
    QString m_path;
    int m_io = -1;     // pseudo-terminal master, or the device
    int m_slave = -1;  // held open so the utility's close does not hang the terminal up
    int m_notify = -1; // inotify on the slave: opens and closes by other programs
    int m_signals = -1;
    bool m_linked = false;
    FILE *m_log = nullptr;
    FILE *m_stamp = nullptr;
    QByteArray m_pending; // taken from the module, not yet accepted by the line
};

uint64_t MonotonicMs();

} // namespace Sim
