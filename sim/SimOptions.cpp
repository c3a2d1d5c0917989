#include "SimOptions.h"

#include <QCommandLineParser>
#include <QHash>

#include <iterator>
#include <limits>
#include <optional>

namespace Sim {

namespace {

// What the options say so far. Single settings win over the raw blocks whatever their order on
// the line, so they wait here until every option is read.
struct Reading {
    SimOptions &o;
    std::optional<int> baudIndex;
    bool checksum = false;
    bool errorResponse = false;
    bool modeGiven = false;
};

// Takes an option's value into the options; returns what is wrong with it, or nothing.
using Apply = QString (*)(Reading &, const QByteArray &value);

std::optional<int64_t> parseInteger(const QByteArray &text, int64_t low, int64_t high)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

QString quoted(const QByteArray &text)
{
    return QLatin1Char('"') + QString::fromLocal8Bit(text) + QLatin1Char('"');
}

QString nonEmpty(QByteArray &field, const QByteArray &value)
{
    if (value.isEmpty())
        return QStringLiteral("must not be empty");
    field = value;
    return {};
}

QString nonEmptyPath(QString &field, const QByteArray &value)
{
    if (value.isEmpty())
        return QStringLiteral("must not be empty");
    field = QString::fromLocal8Bit(value);
    return {};
}

QString milliseconds(int &field, const QByteArray &value)
{
    const auto ms = parseInteger(value, 0, 600000);
    if (!ms)
        return QStringLiteral("expected milliseconds, 0 to 600000");
    field = int(*ms);
    return {};
}

QString reply(Reading &r, const QByteArray &key, const QByteArray &text)
{
    QByteArray bytes;
    if (!DecodeEscapes(text, bytes))
        return QStringLiteral("bad escape (use \\r \\n \\t \\\\ \\xHH)");
    r.o.replies.insert(key, bytes);
    return {};
}

QString mode(Reading &r, const QByteArray &v)
{
    r.modeGiven = true;
    if (v == "config")
        r.o.mode = SimMode::Configuration;
    else if (v == "operation")
        r.o.mode = SimMode::Operation;
    else
        return QStringLiteral("expected config or operation");
    return {};
}

QString baud(Reading &r, const QByteArray &v)
{
    const auto rate = parseInteger(v, 1, std::numeric_limits<int32_t>::max());
    const int index = rate ? RS232BaudIndex(int32_t(*rate)) : -1;
    if (index < 0)
        return QStringLiteral("expected one of 110 150 300 600 1200 2400 4800 9600 19200 38400 57600 115200");
    r.baudIndex = index;
    return {};
}

QString paramsP0(Reading &r, const QByteArray &v)
{
    const auto p = ParseRS232Block(v);
    if (!p)
        return QStringLiteral("expected 7 characters: baud index as 2 hex digits, data bits, stop bits, parity, "
                              "checksum, error response");
    r.o.rs232 = *p;
    return {};
}

QString paramsP1(Reading &r, const QByteArray &v)
{
    const auto p = ParseCanBlock(v, CanParams{});
    if (!p)
        return QStringLiteral("expected the 31-character (or 19-character) CAN block");
    r.o.can = *p;
    return {};
}

QString anyReply(Reading &r, const QByteArray &v)
{
    const qsizetype eq = v.indexOf('=');
    if (eq <= 0)
        return QStringLiteral("expected COMMAND=TEXT");
    return reply(r, v.left(eq), v.mid(eq + 1));
}

QString traffic(Reading &r, const QByteArray &v)
{
    if (v == "max") {
        r.o.trafficRate = TrafficMax;
    } else if (const auto rate = parseInteger(v, 0, 10000000)) {
        r.o.trafficRate = int(*rate);
    } else {
        return QStringLiteral("expected lines per second (0 to 10000000) or max");
    }
    return {};
}

QString trafficCount(Reading &r, const QByteArray &v)
{
    const auto count = parseInteger(v, 0, std::numeric_limits<int64_t>::max());
    if (!count)
        return QStringLiteral("expected a count of lines");
    r.o.trafficCount = *count;
    return {};
}

QString seed(Reading &r, const QByteArray &v)
{
    bool ok = false;
    r.o.seed = v.toULongLong(&ok, 10);
    return ok ? QString() : QStringLiteral("expected an unsigned number");
}

struct OptionRow {
    const char *section; // heading in --help
    const char *name;    // without the dashes
    const char *value;   // what --help calls its value; nullptr: a flag
    const char *help;    // one text a line of --help
    Apply apply;         // nullptr: --help
};

const char kIdentity[] = "Mode and identity";
const char kParams[] = "Stored parameters (what \"#P0\"/\"#P1\" report and what operation mode runs with)";
const char kReplies[] = "Replies";
const char kBus[] = "Bus (operation mode)";
const char kFaults[] = "Faults";
const char kLine[] = "Line and logging";

// Every option, in the order --help lists them.
const OptionRow kOptions[] = {
    {kIdentity, "mode", "config|operation", "configuration mode (default) or operation mode", mode},
    {kIdentity, "firmware", "TEXT", "firmware version sent after \"!S\", \"!R\", \"!V\" (default 2.05); its\nfirst character is the firmware level (below 2: short \"#P1\"/\"$P115\")", [](Reading &r, const QByteArray &v) { return nonEmpty(r.o.firmware, v); }},
    {kIdentity, "maker", "TEXT", "text after \"!C\" (default TERAVOX)", [](Reading &r, const QByteArray &v) { return nonEmpty(r.o.maker, v); }},
    {kIdentity, "model", "TEXT", "text after \"!M\" (default K-3316)", [](Reading &r, const QByteArray &v) { return nonEmpty(r.o.model, v); }},
    {kParams, "params-p0", "BLOCK", "7 characters as in \"$P009\": baud index (2 hex digits), data bits,\nstop bits, parity, add checksum, error response (default 0B30000)", paramsP0},
    {kParams, "params-p1", "BLOCK", "31 characters as in \"$P121\" (or the 19 of \"$P115\"): 2.0A/2.0B,\nCAN baud, hidden digit, code (8), mask (8), Tx CAN ID (8), pair flag,\nTx-ID flag, response flag, end of command\n(default 040 + 23 zeros + 1 + 0000)", paramsP1},
    {kParams, "baud", "RATE", "RS-232 rate, the operation-mode line speed (110 ... 115200;\ndefault 115200); overrides --params-p0", baud},
    {kParams, "checksum", nullptr, "\"Add Checksum\" on: in operation mode every line must carry its\nchecksum and every line sent carries one; overrides --params-p0", [](Reading &r, const QByteArray &) { r.checksum = true; return QString(); }},
    {kParams, "error-response", nullptr, "\"Error Response\" on: refused operation-mode lines get \"?\";\noverrides --params-p0", [](Reading &r, const QByteArray &) { r.errorResponse = true; return QString(); }},
    {kReplies, "reply", "COMMAND=TEXT", "send TEXT instead of the answer to the line COMMAND (without CR:\n#A, #A64, #PV, #PC, #PM, #P0, #P1; $P0 and $P1 stand for every\nsettings write). TEXT is sent exactly: add \\r yourself; an empty\nTEXT sends nothing. Escapes: \\r \\n \\t \\\\ \\xHH. Repeatable.", anyReply},
    {kReplies, "reply-p0", "TEXT", "same as --reply '#P0=TEXT'", [](Reading &r, const QByteArray &v) { return reply(r, "#P0", v); }},
    {kReplies, "reply-p1", "TEXT", "same as --reply '#P1=TEXT'", [](Reading &r, const QByteArray &v) { return reply(r, "#P1", v); }},
    {kBus, "echo", nullptr, "send every accepted message line straight back", [](Reading &r, const QByteArray &) { r.o.echo = true; return QString(); }},
    {kBus, "nodes", nullptr, "nodes that speak protocols above CAN: an ECU answering UDS and OBD-II\non 7E0/7DF -> 7E8, a J1939 engine (EEC1, DM1 by BAM) and CANopen node 5\n(heartbeat, SDO server for 1000, 1008, 1018)", [](Reading &r, const QByteArray &) { r.o.nodes = true; return QString(); }},
    {kBus, "traffic", "N|max", "a node sends N message lines per second (max: as fast as the line\ntakes them); it starts when the module has answered a probe", traffic},
    {kBus, "demo", nullptr, "operation mode with the demo bus: fixed messages at 20 to 1000 ms whose\nsignals change slowly, as examples/demo.dbc describes them; it starts\nwhen the module has answered a probe", [](Reading &r, const QByteArray &) { r.o.demo = true; return QString(); }},
    {kBus, "traffic-count", "K", "the node stops after K lines", trafficCount},
    {kBus, "traffic-after", "MS", "the node starts MS milliseconds after that answer (default 0), so\na fast node does not run into the probe's reply", [](Reading &r, const QByteArray &v) { return milliseconds(r.o.trafficAfterMs, v); }},
    {kBus, "traffic-now", nullptr, "the node starts at once, not after the first probe", [](Reading &r, const QByteArray &) { r.o.trafficNow = true; return QString(); }},
    {kBus, "seed", "N", "seed of the node's deterministic line sequence (default 1)", seed},
    {kFaults, "silent", nullptr, "never answer anything", [](Reading &r, const QByteArray &) { r.o.silent = true; return QString(); }},
    {kFaults, "delay", "MS", "every answer leaves MS milliseconds after its line came in", [](Reading &r, const QByteArray &v) { return milliseconds(r.o.delayMs, v); }},
    {kFaults, "misstore", nullptr, "confirm every CAN settings write with \"!P1\" but store the CAN\nbaud rate one list entry further on (a module that loses a write)", [](Reading &r, const QByteArray &) { r.o.misstore = true; return QString(); }},
    {kFaults, "bus-noise", nullptr, "a bus message line goes out just before every answer, so a probe\nreply runs past 10 characters", [](Reading &r, const QByteArray &) { r.o.busNoise = true; return QString(); }},
    {kLine, "device", "PATH", "serve a real serial port (raw, 8N1, at the module's speed) instead\nof a new pseudo-terminal", [](Reading &r, const QByteArray &v) { return nonEmptyPath(r.o.device, v); }},
    {kLine, "link", "PATH", "place a symbolic link to the device at PATH (an existing symbolic\nlink there is replaced; anything else is refused); removed at exit", [](Reading &r, const QByteArray &v) { return nonEmptyPath(r.o.link, v); }},
    {kLine, "log", "FILE", "append every received line to FILE as \"rx \" and the line without\nits CR, printable ASCII as is, \"\\\\\" for a backslash, \"\\xHH\" otherwise", [](Reading &r, const QByteArray &v) { return nonEmptyPath(r.o.logFile, v); }},
    {kLine, "stamp", "FILE", "append every received line to FILE as \"MICROSECONDS LINE\", the\ntime it arrived on the monotonic clock, the line escaped as in --log", [](Reading &r, const QByteArray &v) { return nonEmptyPath(r.o.stampFile, v); }},
    {kLine, "verbose", nullptr, "write the same lines to standard error", [](Reading &r, const QByteArray &) { r.o.verbose = true; return QString(); }},
    {kLine, "help", nullptr, "show this text", nullptr},
};

const OptionRow *findRow(const QString &name)
{
    for (const OptionRow &row : kOptions)
        if (name == QLatin1String(row.name))
            return &row;
    return name == QLatin1String("h") ? findRow(QStringLiteral("help")) : nullptr;
}

} // namespace

bool DecodeEscapes(const QByteArray &text, QByteArray &bytes)
{
    bytes.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case '\\': bytes += '\\'; break;
        case 'x': {
            auto digit = [&](qsizetype at) {
                const char d = at < text.size() ? text[at] : '\0';
                return d >= '0' && d <= '9' ? d - '0'
                    : d >= 'A' && d <= 'F'  ? d - 'A' + 10
                    : d >= 'a' && d <= 'f'  ? d - 'a' + 10
                                            : -1;
            };
            const int high = digit(i + 1);
            const int low = digit(i + 2);
            if (high < 0 || low < 0)
                return false;
            bytes += char(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

ParseOutcome ParseSimOptions(const QList<QByteArray> &args, SimOptions &o, QString &error)
{
    QCommandLineParser parser;
    for (const OptionRow &row : kOptions) {
        QStringList names{QString::fromLatin1(row.name)};
        if (!row.apply)
            names.prepend(QStringLiteral("h"));
        parser.addOption(QCommandLineOption(names, QString::fromLatin1(row.help),
                                            row.value ? QString::fromLatin1(row.value) : QString()));
    }
    // Latin-1 both ways keeps every byte of a value as it was given.
    QStringList words{QStringLiteral("k3316-sim")};
    for (const QByteArray &arg : args) {
        if (arg == "--") {
            error = QStringLiteral("unknown option --");
            return ParseOutcome::Error;
        }
        words << QString::fromLatin1(arg);
    }
    if (!parser.parse(words)) {
        error = parser.errorText();
        return ParseOutcome::Error;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(quoted(parser.positionalArguments().first().toLatin1()));
        return ParseOutcome::Error;
    }

    // In the order given, so that a later option overrides an earlier one.
    Reading reading{o, {}, false, false};
    QHash<QString, qsizetype> used;
    for (const QString &name : parser.optionNames()) {
        const OptionRow *row = findRow(name);
        if (!row->apply)
            return ParseOutcome::Help;
        const QByteArray value = row->value ? parser.values(name).value(used[name]++).toLatin1() : QByteArray();
        const QString complaint = row->apply(reading, value);
        if (!complaint.isEmpty()) {
            error = QStringLiteral("--%1 %2: %3").arg(QLatin1String(row->name), quoted(value), complaint);
            return ParseOutcome::Error;
        }
    }

    if (o.demo) {
        if (reading.modeGiven && o.mode == SimMode::Configuration) {
            error = QStringLiteral("--demo: a module in configuration mode has no bus");
            return ParseOutcome::Error;
        }
        if (o.trafficRate != TrafficOff) {
            error = QStringLiteral("--demo: sends its own traffic; leave out --traffic");
            return ParseOutcome::Error;
        }
        o.mode = SimMode::Operation;
    }
    if (reading.baudIndex)
        o.rs232.baudIndex = *reading.baudIndex;
    if (reading.checksum)
        o.rs232.checksum = 1;
    if (reading.errorResponse)
        o.rs232.respond = 1;
    return ParseOutcome::Run;
}

QString SimHelpText()
{
    QString text = QStringLiteral(
R"(Usage: k3316-sim [options]

A virtual K-3316 converter module. It opens a new pseudo-terminal (or a real serial port with
--device) and answers on it as the module does. The first line of standard output is

  k3316-sim: PATH

where PATH is the device to open (the pseudo-terminal's slave, or the --device path). It runs
until SIGINT (Ctrl+C), SIGTERM or SIGHUP, then removes its --link and exits with 0. Exit codes:
0 after a signal or --help, 1 when the line cannot be opened or fails, 2 for a bad option.

The module reads the speed the program set on the pseudo-terminal. When it differs from the
module's speed (115200 in configuration mode, the RS-232 rate in operation mode), everything
the module sends arrives as garbage bytes (0xF8/0x80, no CR), as on a mismatched line.
)");
    constexpr int kHelpColumn = 27;
    const char *section = nullptr;
    for (const OptionRow &row : kOptions) {
        if (row.section != section) {
            section = row.section;
            text += QLatin1Char('\n') + QString::fromLatin1(section) + QStringLiteral(":\n");
        }
        QString names = QStringLiteral("  --") + QLatin1String(row.name);
        if (row.value)
            names += QLatin1Char(' ') + QLatin1String(row.value);
        const QStringList lines = QString::fromLatin1(row.help).split(QLatin1Char('\n'));
        text += names.leftJustified(kHelpColumn - 2) + QStringLiteral("  ") + lines.first() + QLatin1Char('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(kHelpColumn, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
    }
    return text;
}

} // namespace Sim
