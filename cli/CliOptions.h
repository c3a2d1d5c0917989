#pragma once
// The command line of k3316-cli, parsed without touching a port, so it can be tested alone.
// Options and commands are rows of two tables in CliOptions.cpp: a new command is a row there,
// and an option names the commands it belongs to.

#include "bridge/ListenAddress.h"

#include <QString>
#include <QStringList>

#include <cstdint>

enum class TCliCommand { None, Info, Get, Set, Defaults, Send, Monitor, Decode, Serve, Transmit, Play, Uds, Slcan, Convert };
enum class TMonitorFormat { Lines, Candump, Csv, Json, Pcap, Asc, Trc };

struct TCliOptions {
    QString Port;
    int32_t Baud = 115200;
    int32_t TimeoutMs = 500;
    bool Json = false;
    bool Help = false;
    bool Version = false;

    TCliCommand Command = TCliCommand::None;
    bool NoProbe = false;      // open the port and go straight to the lines, as the pair test
    QString OutputFile;        // -o FILE (get: the profile; monitor: the recording); empty: standard output
    bool FormatGiven = false;  // monitor --format was given
    QString ProfileFile;       // set PROFILE; "-" reads standard input
    QStringList Lines;         // send LINE...; with --dbc: MESSAGE SIGNAL=VALUE...
    QStringList DbcFiles;      // --dbc FILE, each time it is given
    QString LogFile;           // decode LOG, play LOG, convert IN
    QString LogFormatName;     // convert --format: the log format written
    double FromSeconds = -1;   // convert --from: seconds after the log's first frame; negative: from the start
    double ToSeconds = -1;     // convert --to; negative: to the end
    TMonitorFormat Format = TMonitorFormat::Lines;
    int64_t Count = -1;        // monitor --count; -1: no limit
    double Seconds = -1;       // monitor, transmit --seconds; negative: no limit
    QString ListFile;          // transmit LIST.json
    QStringList SendRows;      // transmit --send NAME: on-demand rows to send once each
    double Speed = 1.0;        // play --speed
    bool SpeedGiven = false;
    bool Fast = false;         // play --fast
    int32_t Loops = 1;         // play --loop; 0: until stopped
    QString Ids;               // play --ids "100-1FF,7E8"
    int64_t MaxGapUs = 0;      // play --max-gap: longer gaps are cut to this; 0: as logged
    TListenAddress Listen;     // serve --listen; the loopback address by default
    QString Channel = QStringLiteral("k3316"); // serve --channel: the bus name clients open
    QString Protocol;          // monitor, decode --protocol: isotp, uds, j1939, canopen
    uint32_t UdsTx = 0x7E0;    // uds --tx: the request's identifier
    uint32_t UdsRx = 0x7E8;    // uds --rx: the answer's
    bool UdsExtended = false;  // the identifiers were given with 8 digits
    QByteArray UdsRequest;     // uds REQUEST-HEX
    QString LinkPath;          // slcan --link: a symbolic link to the pseudo-terminal
    int32_t Bitrate = 0;       // slcan --bitrate: the module's CAN rate in bit/s; 0: not known
};

// `args` without the program name. False with `error` set on bad usage.
bool ParseCliArguments(const QStringList &args, TCliOptions &options, QString &error);

QString CliHelpText();

// Exit codes, also in the manual page.
namespace CliExit {
constexpr int Ok = 0;
constexpr int ModuleFault = 1; // wrong answer, the read-back differs, or the output cannot be written
constexpr int Usage = 2;       // bad usage, a bad profile, database or log, a refused signal value
constexpr int PortFault = 3;   // the port cannot be opened
constexpr int NoAnswer = 4;    // uds: no ECU answered in time
constexpr int Interrupted = 130; // 128 + SIGINT
constexpr int Terminated = 143;  // 128 + SIGTERM
} // namespace CliExit
