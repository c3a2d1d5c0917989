#pragma once
// The command line of k3316-cli, parsed without touching a port, so it can be tested alone.

#include <QString>
#include <QStringList>

#include <cstdint>

enum class TCliCommand { None, Info, Get, Set, Defaults, Send, Monitor };
enum class TMonitorFormat { Lines, Candump, Csv };

struct TCliOptions {
    QString Port;
    int32_t Baud = 115200;
    int32_t TimeoutMs = 500;
    bool Json = false;
    bool Help = false;
    bool Version = false;

    TCliCommand Command = TCliCommand::None;
    QString OutputFile;        // get -o FILE; empty: standard output
    QString ProfileFile;       // set PROFILE; "-" reads standard input
    QStringList Lines;         // send LINE...
    TMonitorFormat Format = TMonitorFormat::Lines;
    int64_t Count = -1;        // monitor --count; -1: no limit
    double Seconds = -1;       // monitor --seconds; negative: no limit
};

// `args` without the program name. False with `error` set on bad usage.
bool ParseCliArguments(const QStringList &args, TCliOptions &options, QString &error);

QString CliHelpText();

// Exit codes, also in the manual page.
namespace CliExit {
constexpr int Ok = 0;
constexpr int ModuleFault = 1; // wrong answer, or the read-back differs
constexpr int Usage = 2;       // bad usage or a bad profile
constexpr int PortFault = 3;   // the port cannot be opened
constexpr int Interrupted = 130;
} // namespace CliExit
