// What k3316-extcap answers Wireshark: the command lines it takes, its interfaces, link type and
// options, as text in Wireshark's extcap sentences.

#include "bridge/ExtcapAnswers.h"

#include <QTest>

class TestExtcapAnswers : public QObject {
    Q_OBJECT

private slots:
    void parsesWiresharkCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("error"); // part of the message; empty: accepted
        const QString ok;
        auto row = [](const char *name, QStringList args, TExtcapStep step, const QString &error) {
            QTest::newRow(name) << args << int(step) << error;
        };
        row("interfaces, as Wireshark 4.0 asks", {"--extcap-interfaces", "--extcap-version=4.0"}, TExtcapStep::Interfaces, ok);
        row("dlts", {"--extcap-dlts", "--extcap-interface", "k3316"}, TExtcapStep::Dlts, ok);
        row("config of a device", {"--extcap-config", "--extcap-interface", "k3316-ttyUSB0"}, TExtcapStep::Config, ok);
        row("capture with every option",
            {"--capture", "--extcap-interface", "k3316", "--fifo", "/tmp/f", "--port", "COM2", "--baud", "9600",
             "--timeout", "800", "--no-probe", "--extcap-capture-filter", ""},
            TExtcapStep::Capture, ok);
        row("values after =", {"--capture", "--extcap-interface=k3316", "--fifo=/tmp/f", "--no-probe=true"},
            TExtcapStep::Capture, ok);
        row("help", {"--help"}, TExtcapStep::Help, ok);
        row("filter check", {"--extcap-interface", "k3316", "--extcap-capture-filter", "can.id == 1"},
            TExtcapStep::FilterCheck, ok);
        row("capture with a filter it cannot apply",
            {"--capture", "--extcap-interface", "k3316", "--fifo", "f", "--extcap-capture-filter", "port 80"},
            TExtcapStep::None, "no capture filter");
        row("nothing to do", {}, TExtcapStep::None, "say what to do");
        row("two steps", {"--extcap-interfaces", "--capture"}, TExtcapStep::None, "no other step");
        row("dlts without an interface", {"--extcap-dlts"}, TExtcapStep::None, "--extcap-interface is needed");
        row("someone else's interface", {"--extcap-dlts", "--extcap-interface", "randpkt"}, TExtcapStep::None,
            "no interface randpkt");
        row("a device outside /dev", {"--extcap-config", "--extcap-interface", "k3316-../etc/passwd"}, TExtcapStep::None,
            "no interface");
        row("capture without a fifo", {"--capture", "--extcap-interface", "k3316"}, TExtcapStep::None, "--fifo");
        row("fifo without its value", {"--capture", "--extcap-interface", "k3316", "--fifo"}, TExtcapStep::None,
            "needs a value");
        row("bad port", {"--capture", "--extcap-interface", "k3316", "--fifo", "f", "--port", "ttyS0"},
            TExtcapStep::None, "--port");
        row("baud not a number", {"--capture", "--extcap-interface", "k3316", "--fifo", "f", "--baud", "fast"},
            TExtcapStep::None, "--baud");
        row("timeout too long", {"--capture", "--extcap-interface", "k3316", "--fifo", "f", "--timeout", "600001"},
            TExtcapStep::None, "--timeout");
        row("no-probe with a word", {"--capture", "--extcap-interface", "k3316", "--fifo", "f", "--no-probe=yes"},
            TExtcapStep::None, "--no-probe");
        row("unknown option", {"--extcap-interfaces", "--fast"}, TExtcapStep::None, "unknown option --fast");
    }
    void parsesWiresharkCommandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(int, step);
        QFETCH(QString, error);
        TExtcapOptions o;
        QString message;
        QCOMPARE(ParseExtcapArguments(args, o, message), error.isEmpty());
        if (error.isEmpty())
            QCOMPARE(int(o.Step), step);
        else
            QVERIFY2(message.contains(error), qPrintable(message));
    }

    void captureOptionsAreTaken()
    {
        TExtcapOptions o;
        QString error;
        QVERIFY(ParseExtcapArguments({"--capture", "--extcap-interface", "k3316-ttyUSB1", "--fifo", "/tmp/wireshark_extcap",
                                      "--baud", "57600", "--timeout", "0", "--no-probe"},
                                     o, error));
        QCOMPARE(o.Fifo, QStringLiteral("/tmp/wireshark_extcap"));
        QCOMPARE(o.Baud, 57600);
        QCOMPARE(o.TimeoutMs, 0);
        QVERIFY(o.NoProbe);
        QString port;
        QVERIFY(ExtcapCapturePort(o, port, error));
        QCOMPARE(port, QStringLiteral("/dev/ttyUSB1"));
        // --port wins over the interface's device
        QVERIFY(ParseExtcapArguments({"--capture", "--extcap-interface", "k3316-ttyUSB1", "--fifo", "f", "--port", " COM3 "},
                                     o, error));
        QVERIFY(ExtcapCapturePort(o, port, error));
        QCOMPARE(port, QStringLiteral("COM3"));
        // the typed interface has no port of its own
        QVERIFY(ParseExtcapArguments({"--capture", "--extcap-interface", "k3316", "--fifo", "f"}, o, error));
        QVERIFY(!ExtcapCapturePort(o, port, error));
        QVERIFY2(error.contains(QStringLiteral("needs a port")), qPrintable(error));
    }

    void onlyAnEmptyCaptureFilterIsValid()
    {
        QString reason;
        QVERIFY(ExtcapFilterValid(QString(), reason));
        QVERIFY(ExtcapFilterValid(QStringLiteral("  "), reason));
        QVERIFY(!ExtcapFilterValid(QStringLiteral("can.id == 0x123"), reason));
        QVERIFY2(reason.contains(QStringLiteral("display filter")), qPrintable(reason));
    }

    void interfaceNamesStandForDevices_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("USB adapter") << "/dev/ttyUSB0" << "k3316-ttyUSB0";
        QTest::newRow("ACM") << "/dev/ttyACM12" << "k3316-ttyACM12";
        QTest::newRow("in a folder of /dev") << "/dev/serial/by-id/x" << "";
        QTest::newRow("outside /dev") << "/tmp/ttyX" << "";
        QTest::newRow("dots") << "/dev/.." << "";
    }
    void interfaceNamesStandForDevices()
    {
        QFETCH(QString, device);
        QFETCH(QString, name);
        QCOMPARE(ExtcapInterfaceName(device), name);
        if (!name.isEmpty()) {
            QString back;
            QVERIFY(ExtcapInterfaceDevice(name, back));
            QCOMPARE(back, device);
        }
    }

    void answersInExtcapSentences()
    {
        QCOMPARE(ExtcapInterfacesAnswer({"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/serial/by-id/x"}, "2.06"),
                 QByteArray("extcap {version=2.06}\n"
                            "interface {value=k3316-ttyACM0}{display=K-3316 CAN on /dev/ttyACM0}\n"
                            "interface {value=k3316-ttyUSB0}{display=K-3316 CAN on /dev/ttyUSB0}\n"
                            "interface {value=k3316}{display=K-3316 CAN, port typed in the options}\n"));
        QCOMPARE(ExtcapInterfacesAnswer({}, "2.06"),
                 QByteArray("extcap {version=2.06}\n"
                            "interface {value=k3316}{display=K-3316 CAN, port typed in the options}\n"));
        QCOMPARE(ExtcapDltsAnswer(),
                 QByteArray("dlt {number=227}{name=LINKTYPE_CAN_SOCKETCAN}{display=CAN frames (SocketCAN)}\n"));

        const QList<QByteArray> typed = ExtcapConfigAnswer("k3316").split('\n');
        auto linesWith = [&typed](const char *part) {
            QList<QByteArray> found;
            for (const QByteArray &l : typed)
                if (l.contains(part))
                    found << l;
            return found;
        };
        QVERIFY(typed[0].startsWith("arg {number=0}{call=--port}{display=Port}{type=string}"));
        QVERIFY(typed[0].endsWith("{required=true}"));
        QCOMPARE(typed[1], QByteArray("arg {number=1}{call=--baud}{display=Baud rate}{type=selector}"
                                      "{tooltip=the PC's line speed, the module's RS-232 setting}"));
        QCOMPARE(typed[2], QByteArray("value {arg=1}{value=110}{display=110}{default=false}"));
        QVERIFY(typed.contains("value {arg=1}{value=115200}{display=115200}{default=true}"));
        QCOMPARE(linesWith("value {arg=1}").size(), 12);
        QCOMPARE(linesWith("{call=--timeout}").size(), 1);
        QVERIFY(linesWith("{call=--timeout}")[0].contains("{type=integer}{range=0,600000}{default=500}"));
        QCOMPARE(linesWith("{call=--no-probe}").size(), 1);
        QVERIFY(linesWith("{call=--no-probe}")[0].contains("{type=boolflag}"));
        QVERIFY(ExtcapConfigAnswer("k3316-ttyUSB0").startsWith("arg {number=0}{call=--port}{display=Port}{type=string}"));
        QVERIFY(ExtcapConfigAnswer("k3316-ttyUSB0").split('\n')[0].endsWith("{default=/dev/ttyUSB0}"));
    }
};

QTEST_GUILESS_MAIN(TestExtcapAnswers)
#include "tst_extcapanswers.moc"
