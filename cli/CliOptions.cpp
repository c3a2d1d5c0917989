#include "cli/CliOptions.h"

#include "serial/PortName.h"

#include <limits>

namespace {

bool parseNumber(const QString &text, int64_t low, int64_t high, int64_t &value)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    value = v;
    return true;
}

} // namespace

bool ParseCliArguments(const QStringList &args, TCliOptions &o, QString &error)
{
    QStringList positional;
    bool onlyPositional = false; // after "--" every argument is a line to send
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        if (onlyPositional || !name.startsWith(QLatin1Char('-')) || name == QLatin1String("-")) {
            positional << name;
            continue;
        }
        if (name == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        QString inlineValue;
        bool hasInline = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); name.startsWith(QLatin1String("--")) && eq > 0) {
            inlineValue = name.mid(eq + 1);
            hasInline = true;
            name.truncate(eq);
        }
        auto value = [&](QString &out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = QStringLiteral("option %1 needs a value").arg(name);
                return false;
            }
            out = args[++i];
            return true;
        };
        auto flag = [&]() {
            if (hasInline)
                error = QStringLiteral("option %1 takes no value").arg(name);
            return !hasInline;
        };
        QString v;
        int64_t n = 0;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            if (!flag())
                return false;
            o.Help = true;
        } else if (name == QLatin1String("--version")) {
            if (!flag())
                return false;
            o.Version = true;
        } else if (name == QLatin1String("--json")) {
            if (!flag())
                return false;
            o.Json = true;
        } else if (name == QLatin1String("--port")) {
            if (!value(v))
                return false;
            TPortChoice choice;
            if (!ParsePortText(v, choice)) {
                error = QStringLiteral("--port \"%1\": expected COMn or a device path beginning with /").arg(v);
                return false;
            }
            o.Port = TrimBlanksAndControls(v);
        } else if (name == QLatin1String("--baud")) {
            if (!value(v))
                return false;
            if (!parseNumber(v, 1, std::numeric_limits<int32_t>::max(), n)) {
                error = QStringLiteral("--baud \"%1\": expected bits per second").arg(v);
                return false;
            }
            o.Baud = int32_t(n);
        } else if (name == QLatin1String("--timeout")) {
            if (!value(v))
                return false;
            if (!parseNumber(v, 0, 600000, n)) {
                error = QStringLiteral("--timeout \"%1\": expected milliseconds, 0 to 600000").arg(v);
                return false;
            }
            o.TimeoutMs = int32_t(n);
        } else if (name == QLatin1String("-o") || name == QLatin1String("--output")) {
            if (!value(v))
                return false;
            if (v.isEmpty()) {
                error = QStringLiteral("%1: the file name must not be empty").arg(name);
                return false;
            }
            o.OutputFile = v;
        } else if (name == QLatin1String("--format")) {
            if (!value(v))
                return false;
            if (v == QLatin1String("lines"))
                o.Format = TMonitorFormat::Lines;
            else if (v == QLatin1String("candump"))
                o.Format = TMonitorFormat::Candump;
            else if (v == QLatin1String("csv"))
                o.Format = TMonitorFormat::Csv;
            else {
                error = QStringLiteral("--format \"%1\": expected lines, candump or csv").arg(v);
                return false;
            }
        } else if (name == QLatin1String("--count")) {
            if (!value(v))
                return false;
            if (!parseNumber(v, 1, std::numeric_limits<int64_t>::max(), n)) {
                error = QStringLiteral("--count \"%1\": expected a number of lines, 1 or more").arg(v);
                return false;
            }
            o.Count = n;
        } else if (name == QLatin1String("--seconds")) {
            if (!value(v))
                return false;
            bool ok = false;
            const double s = v.toDouble(&ok);
            if (!ok || !(s > 0) || s > 31536000) {
                error = QStringLiteral("--seconds \"%1\": expected a positive number of seconds").arg(v);
                return false;
            }
            o.Seconds = s;
        } else {
            error = QStringLiteral("unknown option %1").arg(name);
            return false;
        }
    }

    if (o.Help || o.Version)
        return true;
    if (positional.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    const QString command = positional.takeFirst();
    struct { const char *name; TCliCommand command; } const commands[] = {
        {"info", TCliCommand::Info}, {"get", TCliCommand::Get}, {"set", TCliCommand::Set},
        {"defaults", TCliCommand::Defaults}, {"send", TCliCommand::Send}, {"monitor", TCliCommand::Monitor}};
    for (const auto &c : commands)
        if (command == QLatin1String(c.name))
            o.Command = c.command;
    if (o.Command == TCliCommand::None) {
        error = QStringLiteral("unknown command \"%1\"").arg(command);
        return false;
    }

    auto onlyFor = [&](bool given, TCliCommand owner, const char *option) {
        if (given && o.Command != owner) {
            error = QStringLiteral("%1 belongs to another command").arg(QLatin1String(option));
            return false;
        }
        return true;
    };
    if (!onlyFor(!o.OutputFile.isEmpty(), TCliCommand::Get, "-o") ||
        !onlyFor(o.Format != TMonitorFormat::Lines, TCliCommand::Monitor, "--format") ||
        !onlyFor(o.Count >= 0, TCliCommand::Monitor, "--count") ||
        !onlyFor(o.Seconds >= 0, TCliCommand::Monitor, "--seconds"))
        return false;
    if (o.Json && o.Command != TCliCommand::Info && o.Command != TCliCommand::Set &&
        o.Command != TCliCommand::Defaults) {
        error = QStringLiteral("--json is for info, set and defaults");
        return false;
    }

    switch (o.Command) {
    case TCliCommand::Set:
        if (positional.size() != 1) {
            error = QStringLiteral("set takes one profile file");
            return false;
        }
        o.ProfileFile = positional.takeFirst();
        break;
    case TCliCommand::Send:
        if (positional.isEmpty()) {
            error = QStringLiteral("send needs at least one line");
            return false;
        }
        o.Lines = positional;
        positional.clear();
        break;
    default:
        break;
    }
    if (!positional.isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(positional.first());
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
    return QStringLiteral(R"(Usage: k3316-cli --port PORT [--baud N] [--timeout MS] [--json] COMMAND ...

Configures and tests a K-3316 RS-232-to-CAN converter from scripts. It talks to the module
exactly as the K-3316 Utility does.

Options:
  --port PORT        COMn (COM1 is /dev/ttyS0) or a device path such as /dev/ttyUSB0
  --baud N           PC line speed in bit/s (default 115200; configuration mode needs 115200)
  --timeout MS       reply timeout in milliseconds (default 500)
  --json             info, set and defaults print one JSON object
  --help             show this text
  --version          show the version

Commands:
  info               mode, firmware version and level, maker, model, whether checksums are on
  get [-o FILE]      the module's settings as a profile (configuration mode)
  set PROFILE        write the profile ("-": standard input), read the settings back, compare
  defaults           restore the default settings, read them back, compare
  send LINE...       operation mode: send each line (checksum added when the module needs it)
  monitor [--format lines|candump|csv] [--count N] [--seconds S]
                     operation mode: print every line the module sends, with its time

Exit status:
  0  success
  1  the module answered wrongly, or the read-back differs (the differing keys are printed)
  2  bad usage or a bad profile
  3  the port cannot be opened
)");
}
