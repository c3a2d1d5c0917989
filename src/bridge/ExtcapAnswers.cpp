#include "bridge/ExtcapAnswers.h"

#include "protocol/BoxLists.h"
#include "serial/PortName.h"

#include <QRegularExpression>

#include <limits>

namespace {

const QString devPrefix = QStringLiteral("/dev/");

// Wireshark's sentences are "{key=value}" fields: braces in a value would end it early.
QByteArray field(const char *key, const QString &value)
{
    QString clean = value;
    clean.remove(QLatin1Char('{')).remove(QLatin1Char('}')).remove(QLatin1Char('\n'));
    return QByteArray("{") + key + '=' + clean.toUtf8() + '}';
}

bool parseNumber(const QString &text, qint64 low, qint64 high, int32_t &value)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok, 10);
    if (!ok || n < low || n > high)
        return false;
    value = int32_t(n);
    return true;
}

} // namespace

bool ParseExtcapArguments(const QStringList &args, TExtcapOptions &o, QString &error)
{
    o = TExtcapOptions();
    auto step = [&](TExtcapStep s, const QString &name) {
        if (o.Step != TExtcapStep::None && o.Step != s) {
            error = QStringLiteral("%1 goes with no other step").arg(name);
            return false;
        }
        o.Step = s;
        return true;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = args[++i];
            return true;
        };
        auto noValue = [&]() {
            if (hasValue)
                error = QStringLiteral("%1 takes no value").arg(name);
            return !hasValue;
        };
        if (name == QLatin1String("--extcap-interfaces")) {
            if (!noValue() || !step(TExtcapStep::Interfaces, name))
                return false;
        } else if (name == QLatin1String("--extcap-dlts")) {
            if (!noValue() || !step(TExtcapStep::Dlts, name))
                return false;
        } else if (name == QLatin1String("--extcap-config")) {
            if (!noValue() || !step(TExtcapStep::Config, name))
                return false;
        } else if (name == QLatin1String("--capture")) {
            if (!noValue() || !step(TExtcapStep::Capture, name))
                return false;
        } else if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            o.Step = TExtcapStep::Help;
            return true;
        } else if (name == QLatin1String("--version")) {
            if (!noValue() || !step(TExtcapStep::Version, name))
                return false;
        } else if (name == QLatin1String("--extcap-interface")) {
            if (!takeValue())
                return false;
            o.Interface = value;
        } else if (name == QLatin1String("--fifo")) {
            if (!takeValue())
                return false;
            o.Fifo = value;
        } else if (name == QLatin1String("--extcap-capture-filter")) {
            if (!takeValue())
                return false;
            o.CaptureFilter = value;
            o.HasCaptureFilter = true;
        } else if (name == QLatin1String("--extcap-version")) {
            // Wireshark says which version it is; nothing here depends on it. The value is
            // optional, so only an "=" form takes one.
        } else if (name == QLatin1String("--port")) {
            if (!takeValue())
                return false;
            TPortChoice choice;
            if (!ParsePortText(value, choice)) {
                error = QStringLiteral("--port: expected COMn or a device path beginning with /");
                return false;
            }
            o.Port = TrimBlanksAndControls(value);
        } else if (name == QLatin1String("--baud")) {
            if (!takeValue())
                return false;
            if (!parseNumber(value, 1, std::numeric_limits<int32_t>::max(), o.Baud)) {
                error = QStringLiteral("--baud: expected bits per second");
                return false;
            }
        } else if (name == QLatin1String("--timeout")) {
            if (!takeValue())
                return false;
            if (!parseNumber(value, 0, 600000, o.TimeoutMs)) {
                error = QStringLiteral("--timeout: expected milliseconds, 0 to 600000");
                return false;
            }
        } else if (name == QLatin1String("--no-probe")) {
            // Wireshark passes a ticked box as the bare flag; "=true"/"=false" are taken too.
            if (hasValue && value != QLatin1String("true") && value != QLatin1String("false")) {
                error = QStringLiteral("--no-probe: expected no value, true or false");
                return false;
            }
            o.NoProbe = !hasValue || value == QLatin1String("true");
        } else {
            error = QStringLiteral("unknown option %1").arg(args[i]);
            return false;
        }
    }
    if (o.Step == TExtcapStep::None && o.HasCaptureFilter && !o.Interface.isEmpty())
        o.Step = TExtcapStep::FilterCheck;
    if (o.Step == TExtcapStep::None) {
        error = QStringLiteral("say what to do: --extcap-interfaces, --extcap-dlts, --extcap-config or --capture");
        return false;
    }
    const bool needsInterface = o.Step == TExtcapStep::Dlts || o.Step == TExtcapStep::Config ||
                                o.Step == TExtcapStep::Capture || o.Step == TExtcapStep::FilterCheck;
    QString device;
    if (needsInterface && o.Interface.isEmpty()) {
        error = QStringLiteral("--extcap-interface is needed");
        return false;
    }
    if (needsInterface && !ExtcapInterfaceDevice(o.Interface, device)) {
        error = QStringLiteral("no interface %1 here").arg(o.Interface);
        return false;
    }
    if (o.Step == TExtcapStep::Capture && o.Fifo.isEmpty()) {
        error = QStringLiteral("--capture needs --fifo PATH");
        return false;
    }
    // Capturing everything while a filter was asked for would pass for the filter working.
    if (QString reason; o.Step == TExtcapStep::Capture && !ExtcapFilterValid(o.CaptureFilter, reason)) {
        error = reason;
        return false;
    }
    return true;
}

QString ExtcapInterfaceName(const QString &devicePath)
{
    if (!devicePath.startsWith(devPrefix))
        return QString();
    const QString rest = devicePath.mid(devPrefix.size());
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    if (!plain.match(rest).hasMatch() || rest.startsWith(QLatin1Char('.')))
        return QString();
    return QLatin1String(ExtcapTypedInterface) + QLatin1Char('-') + rest;
}

bool ExtcapInterfaceDevice(const QString &name, QString &devicePath)
{
    devicePath.clear();
    if (name == QLatin1String(ExtcapTypedInterface))
        return true;
    const QString prefix = QLatin1String(ExtcapTypedInterface) + QLatin1Char('-');
    if (!name.startsWith(prefix))
        return false;
    const QString path = devPrefix + name.mid(prefix.size());
    if (ExtcapInterfaceName(path) != name)
        return false;
    devicePath = path;
    return true;
}

QByteArray ExtcapInterfacesAnswer(const QStringList &devicePaths, const QString &version)
{
    QByteArray out = "extcap " + field("version", version) + '\n';
    QStringList seen;
    for (const QString &path : devicePaths) {
        const QString name = ExtcapInterfaceName(path);
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen << name;
        out += "interface " + field("value", name) + field("display", QStringLiteral("K-3316 CAN on ") + path) + '\n';
    }
    out += "interface " + field("value", QLatin1String(ExtcapTypedInterface)) +
           field("display", QStringLiteral("K-3316 CAN, port typed in the options")) + '\n';
    return out;
}

QByteArray ExtcapDltsAnswer()
{
    return "dlt " + field("number", QString::number(ExtcapLinkType)) +
           field("name", QStringLiteral("LINKTYPE_CAN_SOCKETCAN")) +
           field("display", QStringLiteral("CAN frames (SocketCAN)")) + '\n';
}

QByteArray ExtcapConfigAnswer(const QString &interfaceName)
{
    QString device;
    ExtcapInterfaceDevice(interfaceName, device);
    QByteArray out = "arg " + field("number", QStringLiteral("0")) + field("call", QStringLiteral("--port")) +
                     field("display", QStringLiteral("Port")) + field("type", QStringLiteral("string")) +
                     field("tooltip", QStringLiteral("COMn or a device path such as /dev/ttyUSB0"));
    if (device.isEmpty())
        out += field("required", QStringLiteral("true"));
    else
        out += field("default", device);
    out += '\n';
    out += "arg " + field("number", QStringLiteral("1")) + field("call", QStringLiteral("--baud")) +
           field("display", QStringLiteral("Baud rate")) + field("type", QStringLiteral("selector")) +
           field("tooltip", QStringLiteral("the PC's line speed, the module's RS-232 setting")) + '\n';
    for (const QString &rate : BoxLists::RS232Baudrates())
        out += "value " + field("arg", QStringLiteral("1")) + field("value", rate) + field("display", rate) +
               field("default", rate == QLatin1String("115200") ? QStringLiteral("true") : QStringLiteral("false")) +
               '\n';
    out += "arg " + field("number", QStringLiteral("2")) + field("call", QStringLiteral("--timeout")) +
           field("display", QStringLiteral("Reply timeout (ms)")) + field("type", QStringLiteral("integer")) +
           field("range", QStringLiteral("0,600000")) + field("default", QStringLiteral("500")) +
           field("tooltip", QStringLiteral("how long to wait for the module's answer to the probe")) + '\n';
    out += "arg " + field("number", QStringLiteral("3")) + field("call", QStringLiteral("--no-probe")) +
           field("display", QStringLiteral("No probe")) + field("type", QStringLiteral("boolflag")) +
           field("default", QStringLiteral("false")) +
           field("tooltip", QStringLiteral("ask the module nothing, only read its lines (a busy bus, a pair test)")) + '\n';
    return out;
}

bool ExtcapFilterValid(const QString &filter, QString &reason)
{
    if (filter.trimmed().isEmpty())
        return true;
    reason = QStringLiteral("the K-3316 capture takes no capture filter; use a display filter such as can.id == 0x123");
    return false;
}

bool ExtcapCapturePort(const TExtcapOptions &options, QString &port, QString &error)
{
    QString device;
    ExtcapInterfaceDevice(options.Interface, device);
    port = options.Port.isEmpty() ? device : options.Port;
    if (port.isEmpty())
        error = QStringLiteral("the interface %1 needs a port: --port COMn or a device path").arg(options.Interface);
    return !port.isEmpty();
}

QString ExtcapHelpText()
{
    return QStringLiteral(R"(Usage: k3316-extcap STEP [OPTIONS]
Wireshark's live capture from a K-3316 RS-232-to-CAN converter (an extcap program).

Steps (Wireshark runs them):
  --extcap-interfaces            one interface per serial device found, and "k3316" (port typed)
  --extcap-dlts --extcap-interface IF     the link type: 227, LINKTYPE_CAN_SOCKETCAN
  --extcap-config --extcap-interface IF   the options below
  --capture --extcap-interface IF --fifo PATH [OPTIONS]
                                 writes every frame the module reports to PATH as pcap
Options:
  --port PORT      COMn or a device path (default: the interface's device)
  --baud N         PC line speed in bit/s (default 115200)
  --timeout MS     reply timeout of the probe (default 500)
  --no-probe       ask the module nothing, only read its lines
  --help, --version
)");
}
