#include "cli/CliOptions.h"
#include "cli/MonitorFormat.h"
#include "monitor/LogWriters.h"

#include "protocol/CanIdentifier.h"
#include "bridge/SlcanProtocol.h"
#include "protocol/MessageLine.h"
#include "protocols/ProtocolFrame.h"
#include "monitor/FrameFilter.h"
#include "monitor/LogWriters.h"
#include "serial/PortName.h"

#include <QCommandLineParser>
#include <QHash>

#include <limits>
#include <optional>

namespace {

// Takes an option's value into the options; returns what is wrong with it, or nothing.
using Apply = QString (*)(TCliOptions &, const QString &value);
// Takes a command's arguments (after its name) it needs from `args`; returns what is wrong.
using TakeArguments = QString (*)(TCliOptions &, QStringList &args);

std::optional<int64_t> parseInteger(const QString &text, int64_t low, int64_t high)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

struct CommandRow {
    const char *name;
    TCliCommand command;
    const char *arguments; // after the name in --help; "" for none
    const char *help;      // one text a line of --help
    TakeArguments take;    // nullptr: the command takes no arguments
};

// Every command, in the order --help lists them.
const CommandRow kCommands[] = {
    {"info", TCliCommand::Info, "", "mode, firmware version and level, maker, model, whether checksums are on", nullptr},
    {"get", TCliCommand::Get, "", "the module's settings as a profile (configuration mode)", nullptr},
    {"set", TCliCommand::Set, "PROFILE", "write the profile (\"-\": standard input), read the settings back, compare",
     [](TCliOptions &o, QStringList &args) {
         if (args.size() != 1)
             return QStringLiteral("set takes one profile file");
         o.ProfileFile = args.takeFirst();
         return QString();
     }},
    {"defaults", TCliCommand::Defaults, "", "restore the default settings, read them back, compare", nullptr},
    {"send", TCliCommand::Send, "LINE...",
     "operation mode: send each line (checksum added when the module needs it);\n"
     "every line is checked before the port is opened; lines beginning with - go after --;\n"
     "with --dbc: MESSAGE SIGNAL=VALUE... encodes one message (signals not given:\n"
     "raw 0), checks it before the port is opened and sends it",
     [](TCliOptions &o, QStringList &args) {
         if (args.isEmpty())
             return QStringLiteral("send needs at least one line");
         // Every line is checked before the port is opened, so a bad one sends nothing at all.
         for (const QString &line : args) {
             if (line.contains(QLatin1Char('\r')))
                 return QStringLiteral("the line \"%1\" must not contain a carriage return: each line gets its own")
                     .arg(QString(line).replace(QLatin1Char('\r'), QStringLiteral("\\r")));
             if (const qsizetype bad = FirstUnsendableChar(line); bad >= 0)
                 return UnsendableCharMessage(line, bad);
         }
         o.Lines = args;
         args.clear();
         return QString();
     }},
    {"monitor", TCliCommand::Monitor, "", "operation mode: print every line the module sends, with its time", nullptr},
    {"transmit", TCliCommand::Transmit, "LIST.json",
     "operation mode: run the enabled periodic rows of a transmit list until the\n"
     "time is up or Ctrl+C, then print each row's count; rows with period 0 go\n"
     "only with --send",
     [](TCliOptions &o, QStringList &args) {
         if (args.size() != 1)
             return QStringLiteral("transmit takes one list file");
         o.ListFile = args.takeFirst();
         return QString();
     }},
    {"play", TCliCommand::Play, "LOG",
     "operation mode: replay a log of any format convert reads (\"-\": standard input);\n"
     "print the frames sent and skipped",
     [](TCliOptions &o, QStringList &args) {
         if (args.size() != 1)
             return QStringLiteral("play takes one log file");
         o.LogFile = args.takeFirst();
         return QString();
     }},
    {"decode", TCliCommand::Decode, "LOG", "decode a log of any format convert reads with --dbc; no port",
     [](TCliOptions &o, QStringList &args) {
         if (args.size() != 1)
             return QStringLiteral("decode takes one log file");
         o.LogFile = args.takeFirst();
         return QString();
     }},
    {"convert", TCliCommand::Convert, "IN OUT",
     "convert a log (candump, ASC, TRC, pcap, pcapng, BLF, CSV; told by its content) into\n"
     "the format OUT's name ends in, else --format's; \"-\": standard input or output; no port",
     [](TCliOptions &o, QStringList &args) {
         if (args.size() != 2)
             return QStringLiteral("convert takes an input and an output file");
         o.LogFile = args.takeFirst();
         o.OutputFile = args.takeFirst();
         if (o.LogFile.isEmpty() || o.OutputFile.isEmpty())
             return QStringLiteral("the file name must not be empty");
         return QString();
     }},
    {"serve", TCliCommand::Serve, "",
     "operation mode: a socketcand server (raw mode) for python-can and other\n"
     "clients; every frame goes to every client, their frames go to the bus", nullptr},
    {"uds", TCliCommand::Uds, "REQUEST-HEX",
     "operation mode: send a UDS request (e.g. 22F190) over ISO-TP from --tx and print\n"
     "the answer from --rx (--tx 7DF: every answer within --timeout); exit 0 on a\n"
     "positive answer, 1 on a negative one, 4 on none",
     [](TCliOptions &o, QStringList &args) {
         if (args.size() != 1)
             return QStringLiteral("uds takes one request in hexadecimal, e.g. 22F190");
         const QString text = args.takeFirst().remove(QLatin1Char(' '));
         const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
         if (text.isEmpty() || text.size() % 2 || bytes.toHex().toUpper() != text.toUpper().toLatin1())
             return QStringLiteral("the request \"%1\" is not bytes in hexadecimal (two digits a byte)").arg(text);
         if (bytes.size() > 4095)
             return QStringLiteral("a request carries at most 4095 bytes");
         o.UdsRequest = bytes;
         return QString();
     }},
    {"slcan", TCliCommand::Slcan, "",
     "operation mode: a serial-line CAN (slcan) adapter on a new pseudo-terminal,\n"
     "whose path is the first line printed; for python-can and slcand", nullptr},
};

const CommandRow *findCommand(const QString &name)
{
    for (const CommandRow &row : kCommands)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

struct FormatRow {
    const char *name;
    TMonitorFormat format;
    TCliCommand command; // the command that prints it
};

// Every --format a command prints, its default first.
const FormatRow kFormats[] = {
    {"lines", TMonitorFormat::Lines, TCliCommand::Monitor},
    {"candump", TMonitorFormat::Candump, TCliCommand::Monitor},
    {"csv", TMonitorFormat::Csv, TCliCommand::Monitor},
    {"json", TMonitorFormat::Json, TCliCommand::Monitor},
    {"pcap", TMonitorFormat::Pcap, TCliCommand::Monitor},
    {"asc", TMonitorFormat::Asc, TCliCommand::Monitor},
    {"trc", TMonitorFormat::Trc, TCliCommand::Monitor},
    {"json", TMonitorFormat::Json, TCliCommand::Decode},
    {"csv", TMonitorFormat::Csv, TCliCommand::Decode},
    // convert names its formats by LogFormatForName; these rows list them
    {"candump", TMonitorFormat::Candump, TCliCommand::Convert},
    {"csv", TMonitorFormat::Csv, TCliCommand::Convert},
    {"pcap", TMonitorFormat::Pcap, TCliCommand::Convert},
    {"pcapng", TMonitorFormat::Pcap, TCliCommand::Convert},
    {"asc", TMonitorFormat::Asc, TCliCommand::Convert},
    {"trc", TMonitorFormat::Trc, TCliCommand::Convert},
    {"blf", TMonitorFormat::Pcap, TCliCommand::Convert},
};

QStringList formatsOf(TCliCommand command)
{
    QStringList names;
    for (const FormatRow &row : kFormats)
        if (row.command == command)
            names << QLatin1String(row.name);
    return names;
}

QString format(TCliOptions &o, const QString &v)
{
    TLogFormat logFormat;
    if (o.Command == TCliCommand::Convert && LogFormatForName(v, logFormat) && logFormat != TLogFormat::Raw) {
        o.LogFormatName = v;
        o.FormatGiven = true;
        return {};
    }
    for (const FormatRow &row : kFormats) {
        if (o.Command == TCliCommand::Convert)
            break;
        if (row.command == o.Command && v == QLatin1String(row.name)) {
            o.Format = row.format;
            o.FormatGiven = true;
            return {};
        }
    }
    QStringList names = formatsOf(o.Command);
    const QString last = names.isEmpty() ? QString() : names.takeLast();
    return QStringLiteral("expected %1%2%3")
        .arg(names.join(QStringLiteral(", ")), names.isEmpty() ? QString() : QStringLiteral(" or "), last);
}

QString port(TCliOptions &o, const QString &v)
{
    TPortChoice choice;
    if (!ParsePortText(v, choice))
        return QStringLiteral("expected COMn or a device path beginning with /");
    o.Port = TrimBlanksAndControls(v);
    return {};
}

QString baud(TCliOptions &o, const QString &v)
{
    const auto n = parseInteger(v, 1, std::numeric_limits<int32_t>::max());
    if (!n)
        return QStringLiteral("expected bits per second");
    o.Baud = int32_t(*n);
    return {};
}

QString timeout(TCliOptions &o, const QString &v)
{
    const auto n = parseInteger(v, 0, 600000);
    if (!n)
        return QStringLiteral("expected milliseconds, 0 to 600000");
    o.TimeoutMs = int32_t(*n);
    return {};
}

QString output(TCliOptions &o, const QString &v)
{
    if (v.isEmpty())
        return QStringLiteral("the file name must not be empty");
    o.OutputFile = v;
    return {};
}

QString count(TCliOptions &o, const QString &v)
{
    const auto n = parseInteger(v, 1, std::numeric_limits<int64_t>::max());
    if (!n)
        return QStringLiteral("expected a number of lines, 1 or more");
    o.Count = *n;
    return {};
}

QString seconds(TCliOptions &o, const QString &v)
{
    bool ok = false;
    const double s = v.toDouble(&ok);
    if (!ok || !(s > 0) || s > 31536000)
        return QStringLiteral("expected a positive number of seconds");
    o.Seconds = s;
    return {};
}

QString speed(TCliOptions &o, const QString &v)
{
    bool ok = false;
    const double f = v.toDouble(&ok);
    if (!ok || !(f >= 0.25 && f <= 8))
        return QStringLiteral("expected a speed factor from 0.25 to 8");
    o.Speed = f;
    o.SpeedGiven = true;
    return {};
}

QString loops(TCliOptions &o, const QString &v)
{
    const auto n = parseInteger(v, 0, std::numeric_limits<int32_t>::max());
    if (!n)
        return QStringLiteral("expected a number of passes, 0 for until stopped");
    o.Loops = int32_t(*n);
    return {};
}

QString maxGap(TCliOptions &o, const QString &v)
{
    bool ok = false;
    const double s = v.toDouble(&ok);
    if (!ok || !(s >= 0.001) || s > 31536000)
        return QStringLiteral("expected seconds, 0.001 to 31536000");
    o.MaxGapUs = int64_t(s * 1e6 + 0.5);
    return {};
}

QString sendRow(TCliOptions &o, const QString &v)
{
    if (v.isEmpty())
        return QStringLiteral("expected the name of a row");
    o.SendRows << v;
    return {};
}

QString ids(TCliOptions &o, const QString &v)
{
    std::vector<TIdRange> ranges;
    QString error;
    if (!ParseIdRanges(v, ranges, &error))
        return error;
    o.Ids = v;
    return {};
}

// convert --from/--to: seconds after the log's first frame.
QString fromOrTo(double &target, const QString &v)
{
    bool ok = false;
    const double s = v.toDouble(&ok);
    if (!ok || !(s >= 0) || s > 1e9)
        return QStringLiteral("expected seconds after the log's first frame, 0 or more");
    target = s;
    return {};
}

QString listen(TCliOptions &o, const QString &v)
{
    QString error;
    if (!ParseListenAddress(v, o.Listen, error))
        return error.mid(error.indexOf(QLatin1String(": ")) + 2);
    return {};
}

QString protocol(TCliOptions &o, const QString &v)
{
    TProtocol p = TProtocol::None;
    if (!ProtocolFromName(v, p) || p == TProtocol::None)
        return QStringLiteral("expected isotp, uds, j1939 or canopen");
    o.Protocol = v.toLower();
    return {};
}

// An identifier of 3 digits (11 bits) or 8 (29 bits), in hexadecimal.
std::optional<uint32_t> udsIdentifier(TCliOptions &o, const QString &v)
{
    bool ok = false;
    const uint32_t id = v.toUInt(&ok, 16);
    const bool extended = v.size() > 3;
    if (!ok || (v.size() != 3 && v.size() != 8) || id > uint32_t(CanId::Max(extended)))
        return std::nullopt;
    o.UdsExtended = extended;
    return id;
}

QString udsTx(TCliOptions &o, const QString &v)
{
    const auto id = udsIdentifier(o, v);
    if (!id)
        return QStringLiteral("expected an identifier of 3 hex digits (up to 7FF) or 8 (up to 1FFFFFFF)");
    o.UdsTx = *id;
    return {};
}

QString udsRx(TCliOptions &o, const QString &v)
{
    const auto id = udsIdentifier(o, v);
    if (!id)
        return QStringLiteral("expected an identifier of 3 hex digits (up to 7FF) or 8 (up to 1FFFFFFF)");
    o.UdsRx = *id;
    return {};
}

QString channel(TCliOptions &o, const QString &v)
{
    if (v.isEmpty() || v.size() > 16)
        return QStringLiteral("expected a bus name of 1 to 16 characters");
    for (const QChar c : v)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || c == QLatin1Char('<') || c == QLatin1Char('>'))
            return QStringLiteral("a bus name has printable ASCII characters only, no blanks or angle brackets");
    o.Channel = v;
    return {};
}

// An option given twice is applied twice, in order: a repeatable one appends in its Apply.
struct OptionRow {
    const char *names;    // space-separated; a one-letter name is given with one dash
    const char *value;    // what --help calls its value ("FORMAT": the command's formats); nullptr: a flag
    const char *help;     // one text a line of --help
    const char *commands; // space-separated commands it belongs to; nullptr: every command
    Apply apply;
};

// Every option, in the order --help lists them: first those of every command, then the rest.
const OptionRow kOptions[] = {
    {"port", "PORT", "COMn (COM1 is /dev/ttyS0) or a device path such as /dev/ttyUSB0", nullptr, port},
    {"baud", "N", "PC line speed in bit/s (default 115200; configuration mode needs 115200)", nullptr, baud},
    {"timeout", "MS", "reply timeout in milliseconds (default 500)", nullptr, timeout},
    {"h help", nullptr, "show this text", nullptr, [](TCliOptions &o, const QString &) { o.Help = true; return QString(); }},
    {"version", nullptr, "show the version", nullptr, [](TCliOptions &o, const QString &) { o.Version = true; return QString(); }},
    {"json", nullptr, "print one JSON object", "info set defaults transmit uds",
     [](TCliOptions &o, const QString &) { o.Json = true; return QString(); }},
    {"o output", "FILE", "get: write the profile to FILE instead of standard output;\n"
                         "monitor: record every line to FILE as it comes, in the format its\n"
                         "name ends in (.log candump, .csv, .raw, .pcap, .asc, .trc), else\n"
                         "--format's; a --format naming another of these is refused",
     "get monitor", output},
    {"no-probe", nullptr, "open the port and go straight to the lines, as the window's\n"
                          "\"PairConnection Test\" does: no probe, no checksums, any mode;\n"
                          "for a busy bus that would fill the probe's reply",
     "send monitor serve transmit play uds slcan", [](TCliOptions &o, const QString &) { o.NoProbe = true; return QString(); }},
    {"format", "FORMAT", "how each record is printed: one of the formats the command lists\nabove, the first by default", "monitor decode convert", format},
    {"dbc", "FILE", "a CAN database (DBC); given again, one more file.\n"
                    "monitor: signals decoded in json, one row a signal in csv;\n"
                    "transmit: for rows that name a message or a signal",
     "monitor decode send transmit", [](TCliOptions &o, const QString &v) {
         if (v.isEmpty())
             return QStringLiteral("the file name must not be empty");
         o.DbcFiles << v;
         return QString();
     }},
    {"count", "N", "stop after N lines", "monitor", count},
    {"seconds", "S", "stop after S seconds", "monitor transmit", seconds},
    {"listen", "ADDR:PORT", "where clients connect (default 127.0.0.1:29536; port 0: any free\n"
                            "port, printed on start); any other address than the loopback lets\n"
                            "everyone who reaches it send frames to the bus",
     "serve", listen},
    {"channel", "NAME", "the bus name clients open (default k3316)", "serve", channel},
    {"protocol", "NAME", "decode a protocol above CAN: isotp (or uds), j1939, canopen; one JSON\n"
                         "object per reassembled message or decoded frame", "monitor decode", protocol},
    {"tx", "ID", "the request's identifier (default 7E0; 7DF or 18DB33F1: functional)", "uds", udsTx},
    {"rx", "ID", "the answer's identifier (default 7E8)", "uds", udsRx},
    {"link", "PATH", "a symbolic link to the pseudo-terminal, removed at exit", "slcan",
     [](TCliOptions &o, const QString &v) {
         if (v.isEmpty())
             return QStringLiteral("the link name must not be empty");
         o.LinkPath = v;
         return QString();
     }},
    {"bitrate", "RATE", "the module's CAN rate as its settings name it (10K to 1000K, 83.3K);\n"
                        "the tool's S and s commands are checked against it",
     "slcan", [](TCliOptions &o, const QString &v) {
         o.Bitrate = Slcan::ParseRate(v);
         return o.Bitrate > 0 ? QString() : QStringLiteral("expected a rate such as 500K, 83.3K or 1M");
     }},
    {"speed", "F", "play at F times the log's pace, 0.25 to 8 (default 1)", "play", speed},
    {"fast", nullptr, "play as fast as the line carries the lines", "play",
     [](TCliOptions &o, const QString &) { o.Fast = true; return QString(); }},
    {"loop", "N", "play the log N times, 0 until Ctrl+C (default 1)", "play", loops},
    {"ids", "LIST", "play or convert only these identifiers, e.g. 100-1FF,7E8 (hexadecimal)", "play convert", ids},
    {"from", "S", "only frames from S seconds after the log's first frame", "convert",
     [](TCliOptions &o, const QString &v) { return fromOrTo(o.FromSeconds, v); }},
    {"to", "S", "only frames up to S seconds after the log's first frame", "convert",
     [](TCliOptions &o, const QString &v) { return fromOrTo(o.ToSeconds, v); }},
    {"max-gap", "S", "play a longer gap between two frames as S seconds", "play", maxGap},
    {"send", "NAME", "send the row NAME (period 0: only on demand) once, after the periodic\n"
                     "rows have started; given again, one more row", "transmit", sendRow},
};

QStringList namesOf(const OptionRow &row)
{
    return QString::fromLatin1(row.names).split(QLatin1Char(' '));
}

const OptionRow *findOption(const QString &name)
{
    for (const OptionRow &row : kOptions)
        if (namesOf(row).contains(name))
            return &row;
    return nullptr;
}

QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

bool belongsTo(const OptionRow &row, const char *command)
{
    return !row.commands || QString::fromLatin1(row.commands).split(QLatin1Char(' ')).contains(QLatin1String(command));
}

// The parser's complaint in the words of the tool's own messages.
QString parserError(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option %1").arg(dashed(parser.unknownOptionNames().first()));
    const QString text = parser.errorText();
    const qsizetype open = text.indexOf(QLatin1Char('\''));
    const qsizetype close = text.lastIndexOf(QLatin1Char('\''));
    const QString name = open >= 0 && close > open ? text.mid(open + 1, close - open - 1) : QString();
    if (text.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("option %1 needs a value").arg(name);
    if (text.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("option %1 takes no value").arg(name);
    return text;
}

} // namespace

bool ParseCliArguments(const QStringList &args, TCliOptions &o, QString &error)
{
    QCommandLineParser parser;
    for (const OptionRow &row : kOptions)
        parser.addOption(QCommandLineOption(namesOf(row), QString::fromLatin1(row.help),
                                            row.value ? QString::fromLatin1(row.value) : QString()));
    if (!parser.parse(QStringList{QStringLiteral("k3316-cli")} + args)) {
        error = parserError(parser);
        return false;
    }

    QStringList positional = parser.positionalArguments();
    const CommandRow *command = positional.isEmpty() ? nullptr : findCommand(positional.first());
    if (command)
        o.Command = command->command;

    // In the order given, so that a later option overrides an earlier one.
    QHash<QString, qsizetype> used;
    for (const QString &name : parser.optionNames()) {
        const OptionRow *row = findOption(name);
        if (command && !belongsTo(*row, command->name)) {
            error = QStringLiteral("%1 belongs to another command (%2)")
                        .arg(dashed(name), QString::fromLatin1(row->commands).replace(' ', QStringLiteral(", ")));
            return false;
        }
        const QString value = row->value ? parser.values(name).value(used[name]++) : QString();
        if (const QString complaint = row->apply(o, value); !complaint.isEmpty()) {
            error = QStringLiteral("%1 \"%2\": %3").arg(dashed(name), value, complaint);
            return false;
        }
    }

    if (o.Help || o.Version)
        return true;
    if (positional.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    if (!command) {
        error = QStringLiteral("unknown command \"%1\"").arg(positional.first());
        return false;
    }
    positional.removeFirst();
    if (command->take) {
        if (const QString complaint = command->take(o, positional); !complaint.isEmpty()) {
            error = complaint;
            return false;
        }
    }
    if (!positional.isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(positional.first());
        return false;
    }
    // decode prints JSON unless told csv; monitor prints lines unless told json.
    const bool json = o.Format == TMonitorFormat::Json || (o.Command == TCliCommand::Decode && o.Format == TMonitorFormat::Lines);
    if (!o.Protocol.isEmpty() && !json) {
        error = QStringLiteral("--protocol prints JSON: give --format json");
        return false;
    }
    if (!o.Protocol.isEmpty() && !o.OutputFile.isEmpty()) {
        error = QStringLiteral("-o records the lines as they come; --protocol decodes to standard output only");
        return false;
    }
    if (!o.Protocol.isEmpty() && !o.DbcFiles.isEmpty() && o.Protocol != QLatin1String("j1939")) {
        error = QStringLiteral("--dbc goes with --protocol j1939 only (the signals of its parameter groups)");
        return false;
    }
    if (o.Command == TCliCommand::Decode) {
        if (o.DbcFiles.isEmpty() && o.Protocol.isEmpty()) {
            error = QStringLiteral("decode needs a database (--dbc FILE) or a protocol (--protocol NAME)");
            return false;
        }
        return true; // a log, no port
    }
    if (o.Command == TCliCommand::Convert) {
        if (o.FromSeconds >= 0 && o.ToSeconds >= 0 && o.ToSeconds < o.FromSeconds) {
            error = QStringLiteral("--to must not come before --from");
            return false;
        }
        return true; // logs, no port
    }
    if (o.Command == TCliCommand::Monitor && !o.DbcFiles.isEmpty() && o.Format != TMonitorFormat::Json
        && o.Format != TMonitorFormat::Csv) {
        error = QStringLiteral("--dbc decodes signals with --format json or csv");
        return false;
    }
    if (TLogFormat byName; o.Command == TCliCommand::Monitor && o.FormatGiven && LogFormatForFileName(o.OutputFile, byName)
                           && o.Format != TMonitorFormat::Lines && o.Format != TMonitorFormat::Json
                           && LogFormatOf(o.Format) != byName) {
        error = QStringLiteral("-o %1 records %2 by its name's ending, but --format asks for %3: give one or make them agree")
                    .arg(o.OutputFile, QLatin1String(LogFormatSuffix(byName)), QLatin1String(LogFormatSuffix(LogFormatOf(o.Format))));
        return false;
    }
    if (o.Command == TCliCommand::Monitor && !o.DbcFiles.isEmpty() && !o.OutputFile.isEmpty()) {
        error = QStringLiteral("-o records the lines as they come; --dbc decodes to standard output only");
        return false;
    }
    if (o.Fast && o.SpeedGiven) {
        error = QStringLiteral("--speed and --fast exclude each other");
        return false;
    }
    if (o.Port.isEmpty()) {
        error = QStringLiteral("--port is required");
        return false;
    }
    return true;
}

QString CliHelpText()
{
    constexpr int kHelpColumn = 21;
    auto entry = [](const QString &names, const QString &help) {
        const QStringList lines = help.split(QLatin1Char('\n'));
        QString text = QStringLiteral("  ") + names;
        if (text.size() > kHelpColumn - 2)
            text += QLatin1Char('\n') + QString(kHelpColumn, QLatin1Char(' '));
        else
            text = text.leftJustified(kHelpColumn);
        text += lines.first() + QLatin1Char('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(kHelpColumn, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
        return text;
    };
    auto synopsis = [](const OptionRow &row) {
        QStringList names;
        for (const QString &name : namesOf(row))
            names << dashed(name);
        QString text = names.join(QStringLiteral(", "));
        if (row.value)
            text += QLatin1Char(' ') + QLatin1String(row.value);
        return text;
    };

    QString text = QStringLiteral(R"(Usage: k3316-cli --port PORT [--baud N] [--timeout MS] COMMAND [ARGUMENTS] [OPTIONS]
       k3316-cli decode --dbc FILE [--dbc FILE...] LOG [--format json|csv]
       k3316-cli convert IN OUT [--format F] [--ids LIST] [--from S] [--to S]

Configures and tests a K-3316 RS-232-to-CAN converter from scripts. It talks to the module
exactly as the K-3316 Utility does.

Options:
)");
    for (const OptionRow &row : kOptions)
        if (!row.commands)
            text += entry(synopsis(row), QString::fromLatin1(row.help));

    text += QStringLiteral("\nCommands:\n");
    for (const CommandRow &command : kCommands) {
        QString usage = QLatin1String(command.name);
        if (*command.arguments)
            usage += QLatin1Char(' ') + QLatin1String(command.arguments);
        for (const OptionRow &row : kOptions) {
            if (row.commands && belongsTo(row, command.name)) {
                const QString name = dashed(namesOf(row).first());
                QString value = row.value ? QLatin1String(row.value) : QString();
                if (value == QLatin1String("FORMAT"))
                    value = formatsOf(command.command).join(QLatin1Char('|'));
                usage += QStringLiteral(" [") + name + (row.value ? QLatin1Char(' ') + value : QString()) + QLatin1Char(']');
            }
        }
        text += entry(usage, QString::fromLatin1(command.help));
    }

    text += QStringLiteral("\nOptions of some commands:\n");
    for (const OptionRow &row : kOptions) {
        if (!row.commands)
            continue;
        const QString commands = QString::fromLatin1(row.commands).replace(' ', QStringLiteral(", "));
        text += entry(synopsis(row), commands + QStringLiteral(": ") + QString::fromLatin1(row.help));
    }

    text += QStringLiteral(R"(
Exit status:
  0    success
  1    the module answered wrongly, the read-back differs (the differing keys are
       printed), the module was lost, a line did not go out, or the output cannot be
       written
  2    bad usage, or a bad line, profile, transmit list, database or log, or a signal
       value it refuses (nothing is sent then), or the file of -o cannot be written
  3    the port cannot be opened (serve: or the address cannot be listened on;
       slcan: or the pseudo-terminal or its link cannot be made)
  4    uds: no answer within --timeout
  130  interrupted by Ctrl+C (SIGINT)
  143  ended by SIGTERM
)");
    return text;
}
