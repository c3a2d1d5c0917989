#include "cli/CliOptions.h"
#include "monitor/LogWriters.h"

#include <QTest>

class TestCliArguments : public QObject {
    Q_OBJECT

private slots:
    // Each row: the arguments; the command parsed (None: refused) and a word of the error.
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("error");
        const QString ok;
        auto row = [](const char *name, QStringList args, TCliCommand command, const QString &error) {
            QTest::newRow(name) << args << int(command) << error;
        };
        row("info", {"--port", "COM3", "info"}, TCliCommand::Info, ok);
        row("options after the command", {"info", "--port=/dev/ttyUSB0", "--json"}, TCliCommand::Info, ok);
        row("get to a file", {"--port", "COM1", "get", "-o", "a.json"}, TCliCommand::Get, ok);
        row("set from standard input", {"--port", "COM1", "set", "-"}, TCliCommand::Set, ok);
        row("send after --", {"--port", "COM1", "send", "--", "-x", "t0000"}, TCliCommand::Send, ok);
        row("monitor with limits", {"--port", "COM1", "monitor", "--format", "csv", "--count", "5", "--seconds", "1.5"},
            TCliCommand::Monitor, ok);
        row("no port", {"info"}, TCliCommand::None, "--port");
        row("COM0", {"--port", "COM0", "info"}, TCliCommand::None, "COMn");
        row("unknown command", {"--port", "COM1", "flash"}, TCliCommand::None, "unknown command");
        row("unknown option", {"--port", "COM1", "--faster", "info"}, TCliCommand::None, "unknown option");
        row("value missing", {"info", "--port"}, TCliCommand::None, "needs a value");
        row("flag with a value", {"--port", "COM1", "--json=1", "info"}, TCliCommand::None, "takes no value");
        row("baud not a number", {"--port", "COM1", "--baud", "fast", "info"}, TCliCommand::None, "--baud");
        row("timeout too long", {"--port", "COM1", "--timeout", "600001", "info"}, TCliCommand::None, "--timeout");
        row("set without profile", {"--port", "COM1", "set"}, TCliCommand::None, "one profile");
        row("set with two profiles", {"--port", "COM1", "set", "a", "b"}, TCliCommand::None, "one profile");
        row("send without lines", {"--port", "COM1", "send"}, TCliCommand::None, "at least one line");
        row("stray argument", {"--port", "COM1", "info", "now"}, TCliCommand::None, "unexpected argument");
        row("bad format", {"--port", "COM1", "monitor", "--format", "blf"}, TCliCommand::None, "--format");
        row("monitor as pcap", {"--port", "COM1", "monitor", "--format", "pcap"}, TCliCommand::Monitor, ok);
        row("monitor as ASC", {"--port", "COM1", "monitor", "--format=asc"}, TCliCommand::Monitor, ok);
        row("monitor as TRC", {"--port", "COM1", "monitor", "--format", "trc"}, TCliCommand::Monitor, ok);
        row("zero count", {"--port", "COM1", "monitor", "--count", "0"}, TCliCommand::None, "--count");
        row("negative seconds", {"--port", "COM1", "monitor", "--seconds", "-1"}, TCliCommand::None, "--seconds");
        row("count for get", {"--port", "COM1", "get", "--count", "3"}, TCliCommand::None, "another command");
        row("json for send", {"--port", "COM1", "--json", "send", "t0000"}, TCliCommand::None, "--json");
        row("monitor without a probe", {"--port", "COM1", "monitor", "--no-probe"}, TCliCommand::Monitor, ok);
        row("send without a probe", {"--no-probe", "--port", "COM1", "send", "t0000"}, TCliCommand::Send, ok);
        row("no probe for info", {"--port", "COM1", "--no-probe", "info"}, TCliCommand::None, "another command");
        row("no probe with a value", {"--port", "COM1", "--no-probe=1", "monitor"}, TCliCommand::None, "takes no value");
        row("monitor records to a file", {"--port", "COM1", "monitor", "-o", "bus.log"}, TCliCommand::Monitor, ok);
        row("output for send", {"--port", "COM1", "send", "-o", "x", "t0000"}, TCliCommand::None, "another command");
        row("empty output", {"--port", "COM1", "get", "--output="}, TCliCommand::None, "must not be empty");
        row("output as a long name", {"--port", "COM1", "get", "--output", "a.json"}, TCliCommand::Get, ok);
        row("unknown short option", {"--port", "COM1", "-x", "info"}, TCliCommand::None, "unknown option -x");
        row("stdin alone is an argument", {"--port", "COM1", "set", "-", "-"}, TCliCommand::None, "one profile");
        row("later value wins", {"--port", "LPT1", "--port", "COM2", "info"}, TCliCommand::None, "COMn");
        row("version needs no port", {"--version"}, TCliCommand::None, ok);
        row("short help", {"-h"}, TCliCommand::None, ok);
        row("transmit", {"--port", "COM1", "transmit", "l.json", "--seconds", "2", "--json", "--no-probe"}, TCliCommand::Transmit, ok);
        row("transmit without a list", {"--port", "COM1", "transmit"}, TCliCommand::None, "one list file");
        row("play", {"--port", "COM1", "play", "a.log", "--speed", "0.25", "--loop", "0", "--ids", "100-1FF,7E8"}, TCliCommand::Play, ok);
        row("play fast", {"--port", "COM1", "play", "a.log", "--fast", "--no-probe"}, TCliCommand::Play, ok);
        row("play without a log", {"--port", "COM1", "play"}, TCliCommand::None, "one log file");
        row("speed too high", {"--port", "COM1", "play", "a.log", "--speed", "8.5"}, TCliCommand::None, "0.25 to 8");
        row("speed and fast", {"--port", "COM1", "play", "a.log", "--speed", "2", "--fast"}, TCliCommand::None, "exclude each other");
        row("bad ids", {"--port", "COM1", "play", "a.log", "--ids", "100-1G"}, TCliCommand::None, "--ids");
        row("negative loop", {"--port", "COM1", "play", "a.log", "--loop", "-1"}, TCliCommand::None, "--loop");
        row("fast for transmit", {"--port", "COM1", "transmit", "l.json", "--fast"}, TCliCommand::None, "another command");
        row("json for play", {"--port", "COM1", "play", "a.log", "--json"}, TCliCommand::None, "another command");
        row("transmit sends on demand", {"--port", "COM1", "transmit", "l.json", "--send", "Reset", "--send", "Wake"}, TCliCommand::Transmit, ok);
        row("send without a name", {"--port", "COM1", "transmit", "l.json", "--send="}, TCliCommand::None, "name of a row");
        row("send for play", {"--port", "COM1", "play", "a.log", "--send", "Reset"}, TCliCommand::None, "another command");
        row("a year of seconds", {"--port", "COM1", "transmit", "l.json", "--seconds", "31536000"}, TCliCommand::Transmit, ok);
        row("longest gap", {"--port", "COM1", "play", "a.log", "--max-gap", "0.5"}, TCliCommand::Play, ok);
        row("longest gap of none", {"--port", "COM1", "play", "a.log", "--max-gap", "0"}, TCliCommand::None, "0.001 to");
        row("longest gap for transmit", {"--port", "COM1", "transmit", "l.json", "--max-gap", "1"}, TCliCommand::None, "another command");
        row("monitor as JSON Lines", {"--port", "COM1", "monitor", "--format", "json"}, TCliCommand::Monitor, ok);
        row("monitor with two databases", {"--port", "COM1", "monitor", "--dbc", "a.dbc", "--dbc", "b.dbc", "--format", "csv"},
            TCliCommand::Monitor, ok);
        row("database without json or csv", {"--port", "COM1", "monitor", "--dbc", "a.dbc"}, TCliCommand::None, "--format json or csv");
        row("decode needs no port", {"decode", "--dbc", "a.dbc", "x.log"}, TCliCommand::Decode, ok);
        row("decode as CSV", {"decode", "--dbc", "a.dbc", "x.log", "--format", "csv"}, TCliCommand::Decode, ok);
        row("decode without a database", {"decode", "x.log"}, TCliCommand::None, "--dbc");
        row("decode without a log", {"decode", "--dbc", "a.dbc"}, TCliCommand::None, "one log file");
        row("decode a protocol", {"decode", "--protocol", "j1939", "x.log"}, TCliCommand::Decode, ok);
        row("protocol and database", {"decode", "--protocol", "uds", "--dbc", "a.dbc", "x.log"}, TCliCommand::None, "j1939 only");
        row("J1939 with its database", {"decode", "--protocol", "j1939", "--dbc", "a.dbc", "x.log"}, TCliCommand::Decode, ok);
        row("protocol as CSV", {"decode", "--protocol", "uds", "x.log", "--format", "csv"}, TCliCommand::None, "--format json");
        row("monitor a protocol", {"--port", "COM1", "monitor", "--protocol", "canopen", "--format", "json"}, TCliCommand::Monitor, ok);
        row("monitor a protocol as lines", {"--port", "COM1", "monitor", "--protocol", "canopen"}, TCliCommand::None, "--format json");
        row("unknown protocol", {"decode", "--protocol", "lin", "x.log"}, TCliCommand::None, "isotp, uds, j1939 or canopen");
        row("protocol while recording", {"--port", "COM1", "monitor", "--protocol", "uds", "--format", "json", "-o", "x.log"},
            TCliCommand::None, "standard output only");
        row("uds", {"--port", "COM1", "uds", "22F190", "--tx", "7E0", "--rx", "7E8", "--json"}, TCliCommand::Uds, ok);
        row("uds on 29 bits", {"--port", "COM1", "uds", "3E00", "--tx", "18DA10F1", "--rx", "18DAF110"}, TCliCommand::Uds, ok);
        row("uds without a request", {"--port", "COM1", "uds"}, TCliCommand::None, "one request");
        row("uds: half a byte", {"--port", "COM1", "uds", "22F19"}, TCliCommand::None, "two digits a byte");
        row("uds: not hexadecimal", {"--port", "COM1", "uds", "22G190"}, TCliCommand::None, "hexadecimal");
        row("uds: identifier over 7FF", {"--port", "COM1", "uds", "3E00", "--tx", "800"}, TCliCommand::None, "up to 7FF");
        row("uds: identifier over 29 bits", {"--port", "COM1", "uds", "3E00", "--rx", "20000000"}, TCliCommand::None, "1FFFFFFF");
        row("uds: four digits", {"--port", "COM1", "uds", "3E00", "--tx", "07E0"}, TCliCommand::None, "3 hex digits");
        row("tx for send", {"--port", "COM1", "send", "--tx", "7E0", "t0000"}, TCliCommand::None, "another command");
        row("decode has no candump format", {"decode", "--dbc", "a.dbc", "x.log", "--format", "candump"}, TCliCommand::None,
            "expected json or csv");
        row("send from signal values", {"--port", "COM1", "send", "--dbc", "a.dbc", "Engine", "Speed=10.5"}, TCliCommand::Send, ok);
        row("database for info", {"--port", "COM1", "info", "--dbc", "a.dbc"}, TCliCommand::None, "another command");
        row("database while recording", {"--port", "COM1", "monitor", "--dbc", "a.dbc", "--format", "csv", "-o", "x.csv"},
            TCliCommand::None, "standard output only");
        row("empty database name", {"--port", "COM1", "monitor", "--dbc="}, TCliCommand::None, "must not be empty");
        row("recording: --format contradicts the ending", {"--port", "COM1", "monitor", "-o", "bus.pcap", "--format", "asc"},
            TCliCommand::None, "-o bus.pcap records pcap by its name's ending, but --format asks for asc");
        row("recording: --format agrees with the ending", {"--port", "COM1", "monitor", "-o", "bus.TRC", "--format", "trc"},
            TCliCommand::Monitor, ok);
        row("recording: ending decides, --format prints", {"--port", "COM1", "monitor", "-o", "bus.asc", "--format", "json"},
            TCliCommand::Monitor, ok);
        row("send: a carriage return in a line", {"--port", "COM1", "send", "t1230", "t12\r3"}, TCliCommand::None,
            "carriage return");
        row("send: outside Latin-1", {"--port", "COM1", "send", QString::fromUtf8("e\u20AC1")}, TCliCommand::None,
            "(U+20AC) at position 2");
        row("send: Latin-1 is sent", {"--port", "COM1", "send", QString::fromUtf8("t123\u00E9")}, TCliCommand::Send, ok);
        row("send: a bad line before the port is looked at", {"send", "t12\r3"}, TCliCommand::None, "carriage return");
        row("serve", {"--port", "COM1", "--no-probe", "serve", "--listen", "127.0.0.1:0", "--channel", "can0"},
            TCliCommand::Serve, ok);
        row("listen without port", {"--port", "COM1", "serve", "--listen", "127.0.0.1"}, TCliCommand::None, "ADDRESS:PORT");
        row("listen on a name", {"--port", "COM1", "serve", "--listen", "example.org:29536"}, TCliCommand::None, "not an IP");
        row("listen on a signed port", {"--port", "COM1", "serve", "--listen", "127.0.0.1:+5"}, TCliCommand::None,
            "port must be 0 to 65535");
        row("listen on a port after a blank", {"--port", "COM1", "serve", "--listen", "127.0.0.1: 5"}, TCliCommand::None,
            "port must be 0 to 65535");
        row("listen for monitor", {"--port", "COM1", "monitor", "--listen", "127.0.0.1:1"}, TCliCommand::None, "another command");
        row("channel with a bracket", {"--port", "COM1", "serve", "--channel", "a>b"}, TCliCommand::None, "--channel");
        row("channel too long", {"--port", "COM1", "serve", "--channel", "abcdefghijklmnopq"}, TCliCommand::None, "1 to 16");
        row("slcan", {"--port", "COM1", "--no-probe", "slcan", "--link", "/tmp/can0", "--bitrate", "83.3K"}, TCliCommand::Slcan, ok);
        row("slcan: bit rate in bit/s", {"--port", "COM1", "slcan", "--bitrate", "500000"}, TCliCommand::Slcan, ok);
        row("slcan: no such bit rate", {"--port", "COM1", "slcan", "--bitrate", "fast"}, TCliCommand::None, "--bitrate");
        row("slcan: empty link", {"--port", "COM1", "slcan", "--link="}, TCliCommand::None, "must not be empty");
        row("link for serve", {"--port", "COM1", "serve", "--link", "/tmp/can0"}, TCliCommand::None, "another command");
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(int, command);
        QFETCH(QString, error);
        TCliOptions options;
        QString message;
        const bool ok = ParseCliArguments(args, options, message);
        QCOMPARE(ok, error.isEmpty());
        if (ok)
            QCOMPARE(int(options.Command), command);
        if (ok && options.Command == TCliCommand::Monitor && args.contains("b.dbc"))
            QCOMPARE(options.DbcFiles, QStringList({"a.dbc", "b.dbc"}));
        else
            QVERIFY2(message.contains(error), qPrintable(message));
    }

    void valuesAreTaken()
    {
        TCliOptions o;
        QString error;
        QVERIFY(ParseCliArguments({"--port", " com7 ", "--baud", "9600", "--timeout", "0", "send", "--", "a", "b"}, o, error));
        QCOMPARE(o.Port, QStringLiteral("com7"));
        QCOMPARE(o.Baud, 9600);
        QCOMPARE(o.TimeoutMs, 0);
        QCOMPARE(o.Lines, (QStringList{"a", "b"}));
        QVERIFY(!o.NoProbe);
        QVERIFY(ParseCliArguments({"--help"}, o, error)); // help needs no port
        QVERIFY(o.Help);

        TCliOptions m;
        QVERIFY(ParseCliArguments({"monitor", "--port", "COM1", "--no-probe", "--format=candump", "--seconds", "0.5"}, m, error));
        QVERIFY(m.NoProbe);
        QCOMPARE(int(m.Format), int(TMonitorFormat::Candump));
        QCOMPARE(m.Seconds, 0.5);
        QCOMPARE(m.Count, -1);

        TCliOptions s;
        QVERIFY(ParseCliArguments({"--port", "COM1", "serve", "--listen=[::1]:0"}, s, error));
        QCOMPARE(s.Listen.address, QHostAddress(QHostAddress::LocalHostIPv6));
        QCOMPARE(s.Channel, QStringLiteral("k3316"));
        TCliOptions d;
        QVERIFY(ParseCliArguments({"--port", "COM1", "serve"}, d, error)); // socketcand's port on the loopback
        QCOMPARE(d.Listen.address, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(int(d.Listen.port), 29536);

        TCliOptions g;
        QVERIFY(ParseCliArguments({"--port", "COM1", "get", "-oout.json"}, g, error));
        QCOMPARE(g.OutputFile, QStringLiteral("out.json"));
    }

    // The help is built from the tables: every command and option is in it, and the exit codes.
    void helpListsEveryRow()
    {
        const QString help = CliHelpText();
        for (const char *word : {"--port PORT", "--baud N", "--timeout MS", "--json", "-o, --output FILE",
                                 "--no-probe", "--format lines|candump|csv|json|pcap|asc|trc", "--dbc FILE", "--count N", "--seconds S",
                                 "decode LOG", "decode --dbc FILE", "transmit LIST.json", "play LOG",
                                 "set PROFILE", "send LINE...", "130", "143",
                                 "send, monitor, serve, transmit, play, uds, slcan: open the port",
                                 "uds REQUEST-HEX", "--protocol NAME", "--tx ID", "--rx ID", "  4    uds: no answer",
                                 "--listen ADDR:PORT", "--channel NAME", "slcan [--no-probe] [--link PATH] [--bitrate RATE]"})
            QVERIFY2(help.contains(QLatin1String(word)), word);
    }

    // monitor -o picks the format by the file's ending: the help names every ending it takes.
    void helpNamesEveryRecordingEnding()
    {
        const QString help = CliHelpText();
        for (int f = int(TLogFormat::Candump); f <= int(TLogFormat::Trc); ++f) {
            const QString ending = QLatin1Char('.') + QLatin1String(LogFormatSuffix(TLogFormat(f)));
            TLogFormat picked;
            QVERIFY(LogFormatForFileName(QStringLiteral("bus") + ending, picked));
            QVERIFY2(help.contains(ending), qPrintable(ending));
        }
    }
};

QTEST_APPLESS_MAIN(TestCliArguments)
#include "tst_cliarguments.moc"
