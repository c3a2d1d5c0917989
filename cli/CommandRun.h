#pragma once
// One run of a k3316-cli command: the port, the module's identity and the loaded databases, shared
// by the command families (ModuleCommands, SendCommands, MonitorCommands, ServeCommand, SlcanCommand), each of
// which connects, does its work, prints its result and returns the exit code.

#include "cli/CliOptions.h"
#include "cli/ModuleLink.h"
#include "dbc/DbcDatabase.h"
#include "monitor/LogWriters.h"
#include "protocol/Profile.h"

#include <QJsonArray>
#include <QJsonObject>

#include <functional>

class TInterrupt;

namespace Cli {
// Every line goes out whole and at once, so a script (or Ctrl+C) never sees half of one. A
// failed write is kept by StdOut and decides the exit code at the end.
void out(const QByteArray &line);
void outRaw(const QByteArray &bytes);
void outJson(const QJsonObject &object);
void err(const QString &message);
// Wall-clock microseconds, the time stamp of received lines.
int64_t nowUs();
QString modeName(int32_t mode);
} // namespace Cli

class TCommandRun {
public:
    TCommandRun(const TCliOptions &options, TInterrupt *interrupt);
    int Run();

private:
    bool Interrupted() const;
    // 130 after Ctrl+C, 143 after SIGTERM.
    int FailInterrupted();
    // Prints the failure (as JSON too when asked) and returns `code`.
    int Fail(int code, const QString &message);
    // The verdict on an exchange with the module: Ctrl+C ends the exchanges early, and what they
    // then lacked is no fault of the module.
    bool ExchangeSucceeded(bool ok, const QString &problem, int &code);
    // Opens the port and decides the mode; `wanted` 0 takes any mode.
    bool Connect(int32_t wanted, int &code);
    int Info();
    bool ReadModule(TProfile &profile, int32_t &hidden, int &code);
    int Get();
    int Set();
    // Writes `profile` and compares the read-back. A profile keeps the module's hidden CAN
    // digit; the defaults put 0 there.
    int WriteProfile(const TProfile &profile, bool defaults);
    // --dbc FILE...: all or nothing, before any port is opened.
    bool LoadDatabases(int &code);
    // MESSAGE SIGNAL=VALUE... -> the composer's line for it; false with `code` set.
    bool EncodeMessageLine(QString &line, int &code);
    int Send();
    // The format of monitor -o FILE: its name's ending, else --format's.
    bool RecordingFormat(TLogFormat &format) const;
    int Monitor();
    // Runs the event loop, draining what the module sends, until `done`, the time is up, Ctrl+C,
    // or the line is lost.
    void RunUntil(const std::function<bool()> &done);
    // How often RunUntil empties the port: 20 ms of the line at 115200 bit/s are 230 bytes.
    static constexpr int DrainIntervalMs = 20;
    int LostOrFailed();
    int Transmit();
    int Play();
    // A log of any readable format decoded with the databases; no port.
    int Decode();
    // A log of any readable format written in another; no port.
    int Convert();
    // The socketcand server over the module's lines until Ctrl+C or the module is lost.
    int Serve();
    // One UDS request over ISO-TP and its answer (or every answer to a functional request).
    int Uds();
    // A serial-line CAN adapter on a pseudo-terminal until Ctrl+C or the module is lost.
    int Slcan();

    const TCliOptions &m_o;
    TInterrupt *m_interrupt;
    TDbcDatabase m_database;
    TModuleLink m_link;
    TModuleInfo m_info;
    QJsonArray m_adjusted; // what the page's rules changed in the profile written
};
