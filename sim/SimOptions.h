#pragma once
// What the virtual module is told on its command line.

#include "ModuleParams.h"
#include "common/EscapeBytes.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>

namespace Sim {

enum class SimMode { Configuration, Operation };

constexpr int TrafficOff = 0;
constexpr int TrafficMax = -1; // as fast as the line takes the lines

struct SimOptions {
    SimMode mode = SimMode::Configuration;
    QByteArray firmware = "2.05";
    QByteArray maker = "TERAVOX";
    QByteArray model = "K-3316";

    // What "#P0"/"#P1" report and what operation mode runs with (line speed, checksums,
    // error responses).
    RS232Params rs232;
    CanParams can;

    // Exact bytes sent instead of the normal answer, keyed by the received line without its CR
    // ("#A", "#A64", "#P1", ...); "$P0" and "$P1" stand for every settings write of that kind.
    QMap<QByteArray, QByteArray> replies;

    bool echo = false;
    bool nodes = false; // the UDS ECU, the J1939 engine and the CANopen node (operation mode)
    int trafficRate = TrafficOff; // lines per second, or TrafficMax
    bool demo = false;            // the demo bus (examples/demo.dbc) instead of varied lines
    int64_t trafficCount = -1;    // -1: no end
    bool trafficNow = false;      // otherwise the node starts once a probe has been answered
    int trafficAfterMs = 0;       // how long after that answer
    uint64_t seed = 1;

    bool silent = false;
    bool misstore = false; // confirms CAN writes but stores the CAN baud rate one step on
    int delayMs = 0;
    bool busNoise = false;

    QString device; // a real serial port instead of a new pseudo-terminal
    QString link;
    QString logFile;
    QString stampFile; // each received line with its arrival time, for timing benchmarks
    bool verbose = false;
};

enum class ParseOutcome { Run, Help, Error };

// `args` without the program name, as the bytes given. On Error, `error` says why.
ParseOutcome ParseSimOptions(const QList<QByteArray> &args, SimOptions &options, QString &error);

QString SimHelpText();

// "\r", "\n", "\t", "\\" and "\xHH" in an option text become those bytes; false on a bad escape.
bool DecodeEscapes(const QByteArray &text, QByteArray &bytes);
// The reverse for logs is EscapeBytes (common/EscapeBytes.h), shared with the receive list.

} // namespace Sim
