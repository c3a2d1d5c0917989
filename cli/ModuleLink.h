#pragma once
// One connection to the module for k3316-cli: the window's conversation (protocol/ModuleSession)
// on the same port component, with Ctrl+C and SIGTERM ending it between two lines.

#include "protocol/ModuleSession.h"
#include "serial/QCCom32.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

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

// The line added to a failed connect: the module's RS-232 rate is the likely cause.
QString WrongRateHint(int32_t baud);

// What the tools say at the end when lines without a CR were cut (TLineSplitter::SetLongestLine).
QString CutLinesNote(uint64_t count);

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

    // For lines from many sources (serve): never waits for the module, and never lets a line go
    // out in part with another after it. A line the module has begun to take is finished, from
    // the event loop, before any other goes; until then further lines are refused (Busy).
    enum class TSent { Sent, Busy, Lost };
    TSent SendLineWhole(const QByteArray &line, bool withChecksum);
    // Waits until bytes arrive, a timer fires or an interrupt comes; returns what arrived.
    QByteArray WaitAndRead();
    // True from the moment the loss is found, also within the write that found it.
    bool LineLost() const { return m_port.Lost(); }
    QString PortName() const { return m_port.DisplayName(); }
    TQCCom32 &Port() { return m_port; }

private:
    bool Interrupted() const;
    // Writes what is left of a line begun; true when nothing is left.
    bool FinishUnsent();

    TQCCom32 m_port;
    TInterrupt *m_interrupt;
    TModuleSession m_session;
    QByteArray m_unsent; // the end of a line the module has not taken yet
    QTimer m_finishTimer;
};
