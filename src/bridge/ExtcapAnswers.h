#pragma once
// What k3316-extcap answers Wireshark, as pure functions of the command line and the serial
// devices found. Wireshark runs an extcap program several times: to list its interfaces
// (--extcap-interfaces), the link type of one (--extcap-dlts), the options it asks the user for
// (--extcap-config), then to capture (--capture --fifo PATH), the chosen options appended.
//
// The interfaces: "k3316-ttyUSB0" for each serial device found (/dev/ttyUSB0), and "k3316",
// whose port is typed in the options.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

// FilterCheck: Wireshark asks whether a capture filter is valid (--extcap-capture-filter with
// --extcap-interface and no step).
enum class TExtcapStep { None, Interfaces, Dlts, Config, Capture, FilterCheck, Help, Version };

struct TExtcapOptions {
    TExtcapStep Step = TExtcapStep::None;
    QString Interface;     // --extcap-interface
    QString Fifo;          // --fifo
    QString CaptureFilter; // --extcap-capture-filter: the module has no filter to take it
    bool HasCaptureFilter = false;
    QString Port;          // --port; empty: the interface's device
    int32_t Baud = 115200;
    int32_t TimeoutMs = 500;
    bool NoProbe = false;
};

// `args` without the program name. False with `error` set on bad usage. Options Wireshark adds
// that change nothing here (--extcap-version) are taken and left aside.
bool ParseExtcapArguments(const QStringList &args, TExtcapOptions &options, QString &error);

constexpr const char *ExtcapTypedInterface = "k3316";
constexpr uint32_t ExtcapLinkType = 227; // LINKTYPE_CAN_SOCKETCAN

// "k3316-ttyUSB0" for "/dev/ttyUSB0"; empty for a device outside /dev or in a folder of it.
QString ExtcapInterfaceName(const QString &devicePath);
// Whether `name` is one of ours; `devicePath` is the device it stands for (empty for the typed one).
bool ExtcapInterfaceDevice(const QString &name, QString &devicePath);

QByteArray ExtcapInterfacesAnswer(const QStringList &devicePaths, const QString &version);
QByteArray ExtcapDltsAnswer();
// The options of a capture; the port defaults to the interface's device.
QByteArray ExtcapConfigAnswer(const QString &interfaceName);
// The verdict on a capture filter: none can be applied, so only an empty one is valid. False
// with the reason Wireshark shows.
bool ExtcapFilterValid(const QString &filter, QString &reason);
// The port a capture opens (--port, else the interface's device), or false with `error`.
bool ExtcapCapturePort(const TExtcapOptions &options, QString &port, QString &error);

QString ExtcapHelpText();
