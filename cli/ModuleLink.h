#pragma once
// One connection to the module for k3316-cli: the same lines, in the same order, as the
// window's connect, settings read and settings write, on the same port component.

#include "protocol/ModuleReplies.h"
#include "protocol/SettingsCommand.h"
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

struct TWriteResult {
    bool RS232Sent = false;
    bool RS232Confirmed = false;
    bool CanSent = false;
    bool CanConfirmed = false;
    QByteArray RS232Reply;
    QByteArray CanReply;
};

class TModuleLink {
public:
    TModuleLink(const QString &port, int32_t baud, int32_t timeoutMs, TInterrupt *interrupt);

    // False with the system's reason when the port cannot be opened.
    bool Open(QString &problem);
    // The probe (and the checksummed probe), then in configuration mode the identification.
    // False with the window's message when no mode could be decided.
    bool Connect(TModuleInfo &info, QString &problem);
    // "#P0" then "#P1". False with the window's message when a reply is missing or too short.
    bool ReadSettings(int firmwareLevel, TRS232Settings &rs232, TCanSettings &can, QString &problem);
    // "$P0" then "$P1", each sent only when complete; both are sent whatever the first answer.
    TWriteResult WriteSettings(const TRS232Write &rs232, const TCanWrite &can, int firmwareLevel);
    // One message line, framed with a checksum when the module needs it.
    bool SendLine(const QByteArray &line, bool withChecksum);
    // Waits until bytes arrive, a timer fires or an interrupt comes; returns what arrived.
    QByteArray WaitAndRead();
    bool LineLost() const { return m_lineLost; }
    QString PortName() const { return m_port.DisplayName(); }
    TQCCom32 &Port() { return m_port; }

private:
    QByteArray Exchange(const QByteArray &line);

    TQCCom32 m_port;
    TInterrupt *m_interrupt;
    bool m_lineLost = false;
};
