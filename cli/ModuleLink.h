#pragma once
// One connection to the module for k3316-cli: the window's conversation (protocol/ModuleSession)
// on the same port component, with Ctrl+C and SIGTERM ending it between two lines.

#include "protocol/ModuleSession.h"
#include "serial/QCCom32.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

class TInterrupt;

struct TModuleInfo {
    int32_t Mode = 0;    // ModuleModes
    QString FirmwareVersion;
    int32_t FirmwareLevel = 0;
    bool UseChecksum = false;
    bool Identified = false; // maker and model were asked (configuration mode)
    QString Maker;
    QString Model;
    QByteArray Leftover; // bytes that came after the probe reply's CR in the same read
};

class TModuleLink {
public:
    TModuleLink(const QString &port, int32_t baud, int32_t timeoutMs, TInterrupt *interrupt);

    // False with the system's reason when the port cannot be opened.
    bool Open(QString &problem);
    // The probe (and the checksummed probe), then in configuration mode the identification.
    // False with the window's message when no mode could be decided.
    bool Connect(TModuleInfo &info, QString &problem);
    // The conversation's steps; after an interrupt nothing more is sent.
    TModuleSession &Session() { return m_session; }
    // One message line, framed with a checksum when the module needs it.
    bool SendLine(const QByteArray &line, bool withChecksum);
    // Waits until bytes arrive, a timer fires or an interrupt comes; returns what arrived.
    QByteArray WaitAndRead();
    bool LineLost() const { return m_lineLost; }
    QString PortName() const { return m_port.DisplayName(); }
    TQCCom32 &Port() { return m_port; }

private:
    bool Interrupted() const;

    TQCCom32 m_port;
    TInterrupt *m_interrupt;
    TModuleSession m_session;
    bool m_lineLost = false;
};
