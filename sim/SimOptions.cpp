#include "SimOptions.h"

#include <limits>
#include <optional>

namespace Sim {

namespace {

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

QByteArray EscapeBytes(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char c : bytes) {
        const auto b = uint8_t(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

ParseOutcome ParseSimOptions(const QList<QByteArray> &args, SimOptions &o, QString &error)
{
    // Single settings win over the raw blocks whatever their order on the line.
    std::optional<int> baudIndex;
    bool checksum = false;
    bool errorResponse = false;

    for (qsizetype i = 0; i < args.size(); ++i) {
        QByteArray name = args[i];
        std::optional<QByteArray> inlineValue;
        if (const qsizetype eq = name.indexOf('='); name.startsWith("--") && eq > 0) {
            inlineValue = name.mid(eq + 1);
            name.truncate(eq);
        }
        auto takeValue = [&](QByteArray &value) {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = QStringLiteral("option %1 needs a value").arg(QString::fromLatin1(name));
                return false;
            }
            value = args[++i];
            return true;
        };
        auto bad = [&](const QByteArray &value, const char *what) {
            error = QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(name), quoted(value),
                                                    QString::fromLatin1(what));
            return ParseOutcome::Error;
        };
        const bool isFlag = name == "--help" || name == "-h" || name == "--checksum"
            || name == "--error-response" || name == "--echo" || name == "--traffic-now"
            || name == "--silent" || name == "--bus-noise" || name == "--verbose"
            || name == "--misstore";
        if (isFlag && inlineValue) {
            error = QStringLiteral("option %1 takes no value").arg(QString::fromLatin1(name));
            return ParseOutcome::Error;
        }
        QByteArray value;
        if (name == "--help" || name == "-h") {
            return ParseOutcome::Help;
        } else if (name == "--checksum") {
            checksum = true;
        } else if (name == "--error-response") {
            errorResponse = true;
        } else if (name == "--echo") {
            o.echo = true;
        } else if (name == "--traffic-now") {
            o.trafficNow = true;
        } else if (name == "--misstore") {
            o.misstore = true;
        } else if (name == "--silent") {
            o.silent = true;
        } else if (name == "--bus-noise") {
            o.busNoise = true;
        } else if (name == "--verbose") {
            o.verbose = true;
        } else if (!isFlag && !name.startsWith("--")) {
            error = QStringLiteral("unexpected argument %1").arg(quoted(name));
            return ParseOutcome::Error;
        } else if (name == "--mode") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            if (value == "config")
                o.mode = SimMode::Configuration;
            else if (value == "operation")
                o.mode = SimMode::Operation;
            else
                return bad(value, "expected config or operation");
        } else if (name == "--firmware" || name == "--maker" || name == "--model") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            if (value.isEmpty())
                return bad(value, "must not be empty");
            (name == "--firmware" ? o.firmware : name == "--maker" ? o.maker : o.model) = value;
        } else if (name == "--baud") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            const auto rate = parseInteger(value, 1, std::numeric_limits<int32_t>::max());
            const int index = rate ? RS232BaudIndex(int32_t(*rate)) : -1;
            if (index < 0)
                return bad(value, "expected one of 110 150 300 600 1200 2400 4800 9600 19200 "
                                  "38400 57600 115200");
            baudIndex = index;
        } else if (name == "--params-p0") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            const auto p = ParseRS232Block(value);
            if (!p)
                return bad(value, "expected 7 characters: baud index as 2 hex digits, data "
                                  "bits, stop bits, parity, checksum, error response");
            o.rs232 = *p;
        } else if (name == "--params-p1") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            const auto p = ParseCanBlock(value, CanParams{});
            if (!p)
                return bad(value, "expected the 31-character (or 19-character) CAN block");
            o.can = *p;
        } else if (name == "--reply" || name == "--reply-p0" || name == "--reply-p1") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            QByteArray key = name == "--reply-p0" ? "#P0" : "#P1";
            if (name == "--reply") {
                const qsizetype eq = value.indexOf('=');
                if (eq <= 0)
                    return bad(value, "expected COMMAND=TEXT");
                key = value.left(eq);
                value = value.mid(eq + 1);
            }
            QByteArray bytes;
            if (!DecodeEscapes(value, bytes))
                return bad(value, "bad escape (use \\r \\n \\t \\\\ \\xHH)");
            o.replies.insert(key, bytes);
        } else if (name == "--traffic") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            if (value == "max") {
                o.trafficRate = TrafficMax;
            } else if (const auto rate = parseInteger(value, 0, 10000000)) {
                o.trafficRate = int(*rate);
            } else {
                return bad(value, "expected lines per second (0 to 10000000) or max");
            }
        } else if (name == "--traffic-count") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            const auto count = parseInteger(value, 0, std::numeric_limits<int64_t>::max());
            if (!count)
                return bad(value, "expected a count of lines");
            o.trafficCount = *count;
        } else if (name == "--traffic-after") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            const auto ms = parseInteger(value, 0, 600000);
            if (!ms)
                return bad(value, "expected milliseconds, 0 to 600000");
            o.trafficAfterMs = int(*ms);
        } else if (name == "--seed") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            bool ok = false;
            o.seed = value.toULongLong(&ok, 10);
            if (!ok)
                return bad(value, "expected an unsigned number");
        } else if (name == "--delay") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            const auto ms = parseInteger(value, 0, 600000);
            if (!ms)
                return bad(value, "expected milliseconds, 0 to 600000");
            o.delayMs = int(*ms);
        } else if (name == "--device" || name == "--link" || name == "--log") {
            if (!takeValue(value))
                return ParseOutcome::Error;
            if (value.isEmpty())
                return bad(value, "must not be empty");
            (name == "--device" ? o.device : name == "--link" ? o.link : o.logFile) =
                QString::fromLocal8Bit(value);
        } else {
            error = QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(name));
            return ParseOutcome::Error;
        }
    }

    if (baudIndex)
        o.rs232.baudIndex = *baudIndex;
    if (checksum)
        o.rs232.checksum = 1;
    if (errorResponse)
        o.rs232.respond = 1;
    return ParseOutcome::Run;
}

QString SimHelpText()
{
    return QStringLiteral(
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

Mode and identity:
  --mode config|operation  configuration mode (default) or operation mode
  --firmware TEXT          firmware version sent after "!S", "!R", "!V" (default 2.05); its
                           first character is the firmware level (below 2: short "#P1"/"$P115")
  --maker TEXT             text after "!C" (default TERAVOX)
  --model TEXT             text after "!M" (default K-3316)

Stored parameters (what "#P0"/"#P1" report and what operation mode runs with):
  --params-p0 BLOCK        7 characters as in "$P009": baud index (2 hex digits), data bits,
                           stop bits, parity, add checksum, error response (default 0B30000)
  --params-p1 BLOCK        31 characters as in "$P121" (or the 19 of "$P115"): 2.0A/2.0B,
                           CAN baud, hidden digit, code (8), mask (8), Tx CAN ID (8), pair flag,
                           Tx-ID flag, response flag, end of command
                           (default 040 + 23 zeros + 1 + 0000)
  --baud RATE              RS-232 rate, the operation-mode line speed (110 ... 115200;
                           default 115200); overrides --params-p0
  --checksum               "Add Checksum" on: in operation mode every line must carry its
                           checksum and every line sent carries one; overrides --params-p0
  --error-response         "Error Response" on: refused operation-mode lines get "?";
                           overrides --params-p0

Replies:
  --reply COMMAND=TEXT     send TEXT instead of the answer to the line COMMAND (without CR:
                           #A, #A64, #PV, #PC, #PM, #P0, #P1; $P0 and $P1 stand for every
                           settings write). TEXT is sent exactly: add \r yourself; an empty
                           TEXT sends nothing. Escapes: \r \n \t \\ \xHH. Repeatable.
  --reply-p0 TEXT          same as --reply '#P0=TEXT'
  --reply-p1 TEXT          same as --reply '#P1=TEXT'

Bus (operation mode):
  --echo                   send every accepted message line straight back
  --traffic N|max          a node sends N message lines per second (max: as fast as the line
                           takes them); it starts when the module has answered a probe
  --traffic-count K        the node stops after K lines
  --traffic-after MS       the node starts MS milliseconds after that answer (default 0), so
                           a fast node does not run into the probe's reply
  --traffic-now            the node starts at once, not after the first probe
  --seed N                 seed of the node's deterministic line sequence (default 1)

Faults:
  --silent                 never answer anything
  --delay MS               every answer leaves MS milliseconds after its line came in
  --misstore               confirm every CAN settings write with "!P1" but store the CAN
                           baud rate one list entry further on (a module that loses a write)
  --bus-noise              a bus message line goes out just before every answer, so a probe
                           reply runs past 10 characters

Line and logging:
  --device PATH            serve a real serial port (raw, 8N1, at the module's speed) instead
                           of a new pseudo-terminal
  --link PATH              place a symbolic link to the device at PATH (an existing symbolic
                           link there is replaced; anything else is refused); removed at exit
  --log FILE               append every received line to FILE as "rx " and the line without
                           its CR, printable ASCII as is, "\\" for a backslash, "\xHH" otherwise
  --verbose                write the same lines to standard error
  --help                   show this text
)");
}

} // namespace Sim
