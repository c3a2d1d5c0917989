// The frame monitor window against the virtual module and with lines fed to its store: every
// byte recorded, one row per line, exports read back, filters, pause, clear, copy, the view by
// identifier, and the ways to open it.

#include "CanBus.h"
#include "monitor/FrameStore.h"
#include "monitor/LineSplitter.h"
#include "monitor/LogWriters.h"
#include "protocol/Framing.h"
#include "support/FakeModule.h"
#include "support/MessageBoxRecorder.h"
#include "support/ModalDriver.h"
#include "support/OperationConnect.h"
#include "support/SimProcess.h"
#include "support/Steps.h"
#include "ui/widgets/CopyableTableView.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/framemonitor/IdSummaryModel.h"
#include "ui/main/MainUnit.h"
#include "ui/main/ReceiveListView.h"
#include "ui/main/ReceiveModel.h"
#include "ui/widgets/WholePasteLineEdit.h"
#include "ui/plot/PlotWindow.h"
#include "ui/signals/SignalComposer.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/framemonitor/SignalsPane.h"
#include "ui/framemonitor/TransfersModel.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>
#include <QChart>
#include <QChartView>
#include <QDialogButtonBox>
#include <QLineSeries>
#include <QSettings>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <chrono>
#include <QSet>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Reads = QList<QByteArray>;

namespace {

constexpr int trafficLines = 300;
constexpr uint64_t trafficSeed = 7;

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// What the module's node sends: its lines, each with its checksum and CR.
QList<QByteArray> expectedLines()
{
    Sim::BusNode node(trafficSeed);
    QList<QByteArray> lines;
    for (int i = 0; i < trafficLines; ++i)
        lines << Framing::FrameLine(node.next(), true);
    return lines;
}

int64_t MicrosecondsNow()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// Feeds the window's store as the receive loop does.
void feed(TMainForm &f, const QByteArray &bytes, int64_t timeUs)
{
    f.FrameStore()->Append(bytes, timeUs);
    if (f.FrameMonitorWindow())
        f.FrameMonitorWindow()->StoreGrew();
}

// A database written for these tests: a standard message with a scaled, an offset and an
// enumerated signal, an extended one, and one whose signals reach the eighth byte.
const char testDbc[] = R"(VERSION ""
NS_ :
BS_:
BU_: ECU
BO_ 200 Engine: 8 ECU
 SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] "km/h" Vector__XXX
 SG_ Temp : 16|8@1+ (1,-40) [-40|215] "degC" Vector__XXX
 SG_ Gear : 24|4@1+ (1,0) [0|8] "" Vector__XXX
 SG_ Odometer : 32|32@1+ (1,0) [0|4294967295] "km" Vector__XXX
BO_ 2147484160 Door: 1 ECU
 SG_ Open : 0|1@1+ (1,0) [0|1] "" Vector__XXX
CM_ SG_ 200 Speed "Vehicle speed";
VAL_ 200 Gear 0 "neutral" 3 "third" ;
)";

// Speed 1830 km/h (raw 18300 = 0x477C), Temp 90 degC (raw 130 = 0x82), Gear 3, Odometer 0x01020304
const QByteArray engineLine = "t0C887C47820304030201\r";

QString writeDbc(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return QString();
    return path;
}

TFrameMonitor *openMonitor(TMainForm &f)
{
    f.FrameMonitor1->trigger();
    return f.FrameMonitorWindow();
}

} // namespace

class TestFrameMonitor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The databases a test loads are remembered here, not in the user's settings.
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    }

    // A session against the virtual module with the main list paused and cleared: the monitor
    // still holds every byte, one row per line, and each export reads back to the same frames.
    void recordsEveryByteAndExportsEachFormat()
    {
        MessageBoxRecorder boxes;
        SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--checksum"),
                        QStringLiteral("--traffic"), QStringLiteral("1000"), QStringLiteral("--traffic-count"),
                        QString::number(trafficLines), QStringLiteral("--traffic-after"), QStringLiteral("300"),
                        QStringLiteral("--seed"), QString::number(trafficSeed)});
        QVERIFY2(sim.isRunning(), "k3316-sim did not start");
        TMainForm f;
        Steps steps;
        steps.then([&] { f.ReceiveBitBtn->click(); }) // the main list pauses; the monitor does not
            .waitUntil([&] { return f.FrameStore()->Count() >= trafficLines; }, "every line recorded", 20000)
            .then([&] {
                openMonitor(f); // opened late: it shows what came before too
                f.ClearBitBtn->click();
                f.DisconnectToolButtonClick(nullptr);
            });
        ConnectInOperationMode(f, sim.path(), [&] { steps.start(); });
        const QString failure = steps.failure;
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join(QLatin1Char('|'))));
        QCOMPARE(f.ReceiveItems()->Count(), 0);

        const QList<QByteArray> lines = expectedLines();
        const TFrameStore &store = *f.FrameStore();
        QCOMPARE(store.AllBytes(), lines.join());
        QCOMPARE(store.Count(), trafficLines);
        for (int i = 0; i < trafficLines; ++i) {
            QCOMPARE(store.Raw(i).toByteArray(), lines[i]);
            QVERIFY(IsCanFrame(store.Record(i).kind));
            QCOMPARE(store.Record(i).checksum, TChecksum::Right);
        }
        TFrameMonitor *monitor = f.FrameMonitorWindow();
        QVERIFY(monitor);
        QTRY_COMPARE(monitor->Frames()->rowCount(), trafficLines);

        QTemporaryDir dir;
        QString error;
        // raw: the bytes read, nothing added
        QVERIFY2(monitor->SaveRowsAs(dir.filePath(QStringLiteral("bus.raw")), TLogFormat::Raw, &error), qPrintable(error));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("bus.raw"))), lines.join());

        // candump: one frame per line, identifiers and data as sent
        QVERIFY(monitor->SaveRowsAs(dir.filePath(QStringLiteral("bus.log")), TLogFormat::Candump, &error));
        const QList<QByteArray> logLines = readFile(dir.filePath(QStringLiteral("bus.log"))).split('\n');
        QCOMPARE(logLines.size(), trafficLines + 1);
        QCOMPARE(logLines.last(), QByteArray());
        static const QRegularExpression candump(
            QStringLiteral("^\\((\\d+)\\.(\\d{6})\\) k3316 ([0-9A-F]{3}|[0-9A-F]{8})#(R[0-8]?|(?:[0-9A-F]{2})*)$"));
        for (int i = 0; i < trafficLines; ++i) {
            const QRegularExpressionMatch m = candump.match(QString::fromLatin1(logLines[i]));
            QVERIFY2(m.hasMatch(), logLines[i].constData());
            const TDecodedLine d = DecodeLine(lines[i].chopped(1));
            QCOMPARE(m.captured(3).toUInt(nullptr, 16), d.id);
            QCOMPARE(m.captured(3).size(), IsExtended(d.kind) ? 8 : 3);
            QCOMPARE(m.captured(4).startsWith(QLatin1Char('R')), IsRemote(d.kind));
            if (!IsRemote(d.kind))
                QCOMPARE(QByteArray::fromHex(m.captured(4).toLatin1()),
                         QByteArray(reinterpret_cast<const char *>(d.data), d.dlc));
            const int64_t us = m.captured(1).toLongLong() * 1000000 + m.captured(2).toLongLong();
            QCOMPARE(us, store.Record(i).timeUs);
        }
        // and the Linux CAN tools read it
        const QString log2asc = QStandardPaths::findExecutable(QStringLiteral("log2asc"));
        if (log2asc.isEmpty())
            QFAIL("log2asc is missing: install can-utils (scripts/install-deps.sh does)");
        QProcess p;
        p.start(log2asc, {QStringLiteral("-I"), dir.filePath(QStringLiteral("bus.log")), QStringLiteral("k3316")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput().count(" Rx "), trafficLines);

        // CSV: header, then kind, identifier, DLC, data, checksum and raw line of each
        QVERIFY(monitor->SaveRowsAs(dir.filePath(QStringLiteral("bus.csv")), TLogFormat::Csv, &error));
        QList<QByteArray> csv = readFile(dir.filePath(QStringLiteral("bus.csv"))).split('\n');
        QCOMPARE(csv.size(), trafficLines + 2);
        QCOMPARE(csv[0], QByteArray("time,kind,id,dlc,data,checksum,raw\r"));
        for (int i = 0; i < trafficLines; ++i) {
            const QList<QByteArray> fields = csv[i + 1].chopped(1).split(',');
            QCOMPARE(fields.size(), 7);
            const TDecodedLine d = DecodeLine(lines[i].chopped(1));
            QCOMPARE(fields[1], QByteArray(FrameKindName(d.kind)));
            QCOMPARE(fields[2].toUInt(nullptr, 16), d.id);
            QCOMPARE(fields[3].toInt(), int(d.dlc));
            QCOMPARE(fields[5], lines[i].right(3).left(2) + " ok");
            QCOMPARE(fields[6], lines[i].chopped(1));
        }

        // pcap, ASC and TRC: every frame (tshark reads the pcap)
        QVERIFY(monitor->SaveRowsAs(dir.filePath(QStringLiteral("bus.pcap")), TLogFormat::Pcap, &error));
        QProcess tshark;
        tshark.start(QStandardPaths::findExecutable(QStringLiteral("tshark")),
                     {QStringLiteral("-r"), dir.filePath(QStringLiteral("bus.pcap")), QStringLiteral("-T"),
                      QStringLiteral("fields"), QStringLiteral("-e"), QStringLiteral("can.id")});
        QVERIFY(tshark.waitForFinished(30000));
        QCOMPARE(tshark.readAllStandardOutput().count('\n'), trafficLines);
        QCOMPARE(monitor->ExportBytes(TLogFormat::Asc).count(" Rx   "), trafficLines);
        QCOMPARE(monitor->ExportBytes(TLogFormat::Trc).count(" Rx -  "), trafficLines);

        // A filter narrows every export to the rows shown.
        monitor->IdEdit->setText(QStringLiteral("0-3FF"));
        QVERIFY(monitor->ApplyFilter());
        int standardLow = 0;
        QByteArray lowBytes;
        for (const QByteArray &line : lines) {
            const TDecodedLine d = DecodeLine(line.chopped(1));
            if (!IsExtended(d.kind) && d.id <= 0x3FF) {
                ++standardLow;
                lowBytes += line;
            }
        }
        QVERIFY(standardLow > 0 && standardLow < trafficLines);
        QCOMPARE(monitor->Frames()->rowCount(), standardLow);
        QCOMPARE(monitor->ExportBytes(TLogFormat::Candump).count('\n'), standardLow);
        QCOMPARE(monitor->ExportBytes(TLogFormat::Raw), lowBytes);
    }

    // Any modal window runs its own loop over the receive loop: the port is still read, so each
    // line keeps the time it came at and is listed, and nothing waits for the window to close.
    void framesKeepTheirTimesWhileAModalWindowIsOpen_data()
    {
        QTest::addColumn<std::function<void(TMainForm &)>>("open");
        QTest::newRow("message box") << std::function<void(TMainForm &)>([](TMainForm &) { ShowMessageBox(TMsgType::Information, "m"); });
        QTest::newRow("Exit question, answered No") << std::function<void(TMainForm &)>([](TMainForm &f) { f.close(); });
        QTest::newRow("About box") << std::function<void(TMainForm &)>([](TMainForm &f) { f.AboutToolButtonClick(nullptr); });
        QTest::newRow("file dialog") << std::function<void(TMainForm &)>([](TMainForm &f) {
            QFileDialog dialog(&f);
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.exec();
        });
    }
    void framesKeepTheirTimesWhileAModalWindowIsOpen()
    {
        QFETCH(std::function<void(TMainForm &)>, open);
        SimProcess sim({"--mode", "operation", "--traffic", "200", "--traffic-count", "400", "--traffic-after", "300"});
        QVERIFY2(sim.isRunning(), "k3316-sim did not start");
        TMainForm f;
        f.show();
        const TFrameStore &store = *f.FrameStore();
        int64_t opened = 0, closed = 0;
        qsizetype storedAtOpen = 0, listedAtOpen = 0, listedAtClose = 0;
        const auto readsSince = [&](int64_t from, int64_t to) { // lines and distinct read times
            QSet<int64_t> stamps;
            int lines = 0;
            for (qsizetype i = storedAtOpen; i < store.Count(); ++i) {
                const int64_t t = store.Record(i).timeUs;
                lines += t >= from && t <= to;
                if (t >= from && t <= to)
                    stamps.insert(t);
            }
            return std::pair{lines, stamps.size()};
        };
        Steps steps;
        steps.waitUntil([&] { return store.Count() >= 10; }, "the first lines", 20000).then([&] {
            opened = MicrosecondsNow(); // before the count: a line stored in between counts on neither side
            storedAtOpen = store.Count();
            listedAtOpen = f.ReceiveItems()->Count();
            // closed once 40 lines came in 5 reads or more (a busy machine gathers a few per read)
            WhenModal<QDialog>([&](QDialog *d) {
                listedAtClose = f.ReceiveItems()->Count();
                closed = MicrosecondsNow();
                d->reject();
            }, 10000, [&] { const auto [lines, reads] = readsSince(0, INT64_MAX); return lines >= 40 && reads >= 5; });
            open(f);
        }).then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectInOperationMode(f, sim.path(), [&] { steps.start(); });
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY(f.isVisible()); // No kept the window
        // read, recorded and listed while the window was open, each read with its own time
        const auto [lines, reads] = readsSince(opened, closed);
        QVERIFY2(lines >= 40 && reads >= 5, qPrintable(QStringLiteral("%1 lines in %2 reads").arg(lines).arg(reads)));
        QVERIFY(listedAtClose > listedAtOpen);
    }

    void opensFromTheViewMenuF6AndTheReceiveList()
    {
        TMainForm f;
        const QList<QAction *> menus = f.menuBar()->actions();
        const qsizetype view = menus.indexOf(f.View1->menuAction());
        QVERIFY(view > menus.indexOf(f.A1->menuAction()));
        QCOMPARE(view + 1, menus.indexOf(f.Help1->menuAction()));
        QCOMPARE(f.View1->title(), QStringLiteral("&View"));
        QCOMPARE(f.FrameMonitor1->text(), QStringLiteral("&Frame Monitor"));
        QCOMPARE(f.FrameMonitor1->shortcut(), QKeySequence(Qt::Key_F6));
        QVERIFY(f.ReceiveListBox->actions().contains(f.FrameMonitor1));
        QCOMPARE(f.ReceiveListBox->contextMenuPolicy(), Qt::ActionsContextMenu);

        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(!f.FrameMonitorWindow());
        QTest::keyClick(&f, Qt::Key_F6);
        TFrameMonitor *monitor = f.FrameMonitorWindow();
        QVERIFY(monitor);
        QVERIFY(monitor->isVisible());
        QVERIFY(!monitor->isModal());
        QCOMPARE(monitor->windowTitle(), QStringLiteral("Frame Monitor"));
        // closing loses nothing: the same window, the same rows, comes back
        feed(f, "t1230\r", 1);
        monitor->close();
        feed(f, "t4560\r", 2);
        f.FrameMonitor1->trigger();
        QCOMPARE(f.FrameMonitorWindow(), monitor);
        QTRY_COMPARE(monitor->Frames()->rowCount(), 2);
    }

    // The table's cells for each kind of line, and the line still waiting for its CR.
    void showsOneRowPerLineWithItsFields_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("cells"); // kind, id, DLC, data, checksum, raw
        QTest::newRow("standard data") << QByteArray("t123211AB\r")
                                       << QStringList{"t", "123", "2", "11 AB", "", "t123211AB"};
        QTest::newRow("extended remote with checksum")
            << QByteArray("E1FFFFFFF4") + Framing::AddChksum("E1FFFFFFF4") + "\r"
            << QStringList{"E", "1FFFFFFF", "4", "", QString::fromLatin1(Framing::AddChksum("E1FFFFFFF4")) + " ok",
                           "E1FFFFFFF4" + QString::fromLatin1(Framing::AddChksum("E1FFFFFFF4"))};
        QTest::newRow("wrong checksum") << QByteArray("t12303B\r") << QStringList{"t", "123", "0", "", "3B wrong (3A)", "t12303B"};
        QTest::newRow("reply") << QByteArray("?\r") << QStringList{"reply", "", "", "", "", "?"};
        QTest::newRow("garbage with NUL") << QByteArray("x\x00y\r", 4) << QStringList{"other", "", "", "", "", "x\\x00y"};
        QTest::newRow("pending") << QByteArray("t12") << QStringList{"pending", "", "", "", "", "t12"};
        QTest::newRow("extended data, eight bytes") << QByteArray("e1ABCDEF08000F10A0FF7E8001\r")
            << QStringList{"e", "1ABCDEF0", "8", "00 0F 10 A0 FF 7E 80 01", "", "e1ABCDEF08000F10A0FF7E8001"};
        QTest::newRow("CR LF line end") << QByteArray("t4561AA\r\n") << QStringList{"t", "456", "1", "AA", "", "t4561AA"};
        QTest::newRow("LF CR line end") << QByteArray("t4561AA\n\r") << QStringList{"t", "456", "1", "AA", "", "t4561AA"};
    }
    void showsOneRowPerLineWithItsFields()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, cells);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, line, 1765280000123456);
        TFrameTableModel *m = monitor->Frames();
        QTRY_COMPARE(m->rowCount(), 1);
        const int columns[] = {TFrameTableModel::ColKind, TFrameTableModel::ColId, TFrameTableModel::ColDlc,
                               TFrameTableModel::ColData, TFrameTableModel::ColChecksum, TFrameTableModel::ColRaw};
        QStringList got;
        for (int c : columns)
            got << m->index(0, c).data().toString();
        QCOMPARE(got, cells);
        // Local time of day, as Qt's own formatting gives it.
        QCOMPARE(m->index(0, TFrameTableModel::ColTime).data().toString(),
                 QDateTime::fromMSecsSinceEpoch(1765280000123).toString(QStringLiteral("HH:mm:ss.zzz")));
        QCOMPARE(m->headerData(TFrameTableModel::ColRaw, Qt::Horizontal).toString(), QStringLiteral("Raw line"));
    }

    // A protocol chosen: each line's Decoded cell says what the frame means by itself, and the
    // Transfers view lists the messages reassembled over several lines.
    void readsProtocolsAboveCan_data()
    {
        QTest::addColumn<int>("protocol"); // index in the Protocol box
        QTest::addColumn<QString>("pairs");
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("decoded");
        QTest::addColumn<QStringList>("transfers"); // Decoded and Fault cells
        QTest::newRow("UDS VIN in three frames")
            << 1 << ""
            << QByteArray("t7E080322F190AAAAAAAA\rt7E88101462F190575657\rt7E083000000000000000\r"
                          "t7E88215A5A5A314A5A58\rt7E882257303030303031\r")
            << QStringList{"UDS ReadDataByIdentifier F190 (VIN)", "ISO-TP first frame, 20 bytes",
                           "ISO-TP flow control CTS, block size 0, STmin 0 ms", "ISO-TP consecutive frame 1",
                           "ISO-TP consecutive frame 2"}
            << QStringList{"UDS ReadDataByIdentifier F190 (VIN)|",
                           "UDS ReadDataByIdentifier response F190 (VIN) = \"WVWZZZ1JZXW000001\"|"};
        QTest::newRow("own pairs") << 1 << "6F1:6F9" << QByteArray("t6F18023E00AAAAAAAAAA\rt6F98027E00AAAAAAAAAA\r")
                                   << QStringList{"UDS TesterPresent zeroSubFunction", "UDS TesterPresent response zeroSubFunction"}
                                   << QStringList{"UDS TesterPresent zeroSubFunction|", "UDS TesterPresent response zeroSubFunction|"};
        QTest::newRow("a frame missing") << 1 << ""
            << QByteArray("t7E88101462F190575657\rt7E083000000000000000\rt7E882357303030303031\r")
            << QStringList{"ISO-TP first frame, 20 bytes", "ISO-TP flow control CTS, block size 0, STmin 0 ms",
                           "ISO-TP consecutive frame 3"}
            << QStringList{"incomplete: 6 of 20 bytes|wrong sequence number 3, expected 1 (a frame is missing)"};
        QTest::newRow("J1939 DM1 by BAM") << 2 << ""
            << QByteArray("e1CECFF00820140003FFCAFE00\re1CEBFF0080104FF6E0005011E\re1CEBFF00802000E01D0070301\r"
                          "e1CEBFF00803FFFFFFFFFFFFFF\r")
            << QStringList{"J1939 PGN 60416 TP.CM SA 00 DA FF P7: TP.CM BAM 20 bytes in 3 packets of PGN 65226 DM1",
                           "J1939 PGN 60160 TP.DT SA 00 DA FF P7: TP.DT 1", "J1939 PGN 60160 TP.DT SA 00 DA FF P7: TP.DT 2",
                           "J1939 PGN 60160 TP.DT SA 00 DA FF P7: TP.DT 3"}
            << QStringList{"J1939 PGN 65226 DM1 SA 00 (BAM), 20 bytes: lamps amber warning; SPN 110 FMI 5 OC 1; "
                           "SPN 30 FMI 14 OC 1; SPN 2000 FMI 3 OC 1|"};
        QTest::newRow("CANopen SDO and heartbeat") << 3 << ""
            << QByteArray("t60584018100100000000\rt58584318100178563412\rt705105\r")
            << QStringList{"CANopen SDO upload request 1018:01 (node 5)", "CANopen SDO upload 1018:01 = 0x12345678 (node 5)",
                           "CANopen heartbeat operational (node 5)"}
            << QStringList{"CANopen SDO upload 1018:01 = 0x12345678 (node 5)|"};
    }
    void readsProtocolsAboveCan()
    {
        QFETCH(int, protocol);
        QFETCH(QString, pairs);
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, decoded);
        QFETCH(QStringList, transfers);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        monitor->IsoTpPairsEdit->setText(pairs);
        monitor->ProtocolComboBox->setCurrentIndex(protocol);
        int64_t t = 1765280000000000;
        for (const QByteArray &line : lines.split('\r'))
            if (!line.isEmpty())
                feed(f, line + '\r', t += 1000);
        TFrameTableModel *m = monitor->Frames();
        QTRY_COMPARE(m->rowCount(), int(decoded.size()));
        QCOMPARE(m->headerData(TFrameTableModel::ColDecoded, Qt::Horizontal).toString(), QStringLiteral("Decoded"));
        QStringList cells;
        for (int r = 0; r < m->rowCount(); ++r)
            cells << m->index(r, TFrameTableModel::ColDecoded).data().toString();
        QCOMPARE(cells, decoded);
        // The log may still hold a transfer open: the view shows what ended.
        QStringList got;
        const QAbstractItemModel *tm = monitor->TransfersView->model();
        for (int r = 0; r < tm->rowCount(); ++r)
            got << tm->index(r, TTransfersModel::ColMeaning).data().toString() + QLatin1Char('|')
                       + tm->index(r, TTransfersModel::ColFault).data().toString();
        QCOMPARE(got, transfers);
        // The text filter finds what the Decoded column says.
        monitor->TextEdit->setText(decoded.last().section(QLatin1Char(' '), 1, 2));
        QVERIFY(monitor->ApplyFilter());
        QVERIFY(m->rowCount() >= 1);
        for (int r = 0; r < m->rowCount(); ++r)
            QVERIFY(m->index(r, TFrameTableModel::ColDecoded).data().toString().contains(monitor->TextEdit->text(), Qt::CaseInsensitive)
                    || m->index(r, TFrameTableModel::ColRaw).data().toString().contains(monitor->TextEdit->text(), Qt::CaseInsensitive));
        monitor->TextEdit->clear();
        QVERIFY(monitor->ApplyFilter());
        // No database: the Message column stays hidden, and Transfers is a view of its own.
        QVERIFY(monitor->FramesView->isColumnHidden(TFrameTableModel::ColMessage));
        monitor->ViewComboBox->setCurrentIndex(2);
        QCOMPARE(monitor->Views->currentWidget(), monitor->TransfersView);
    }

    // What an export holds: exactly the complete rows shown, their bytes as read.
    void exportsHoldTheRowsShown_data()
    {
        QTest::addColumn<Reads>("before");      // reads before the pause
        QTest::addColumn<Reads>("after");       // reads while paused (none: no pause)
        QTest::addColumn<QByteArray>("raw");    // the raw export
        QTest::addColumn<QByteArray>("frames"); // the candump export's identifiers and data
        QTest::addColumn<int>("leftOut");       // frames left out of candump
        QTest::newRow("paused mid-line: no splice, no live row")
            << Reads{"t1230\rt12"} << Reads{"3211AB\rt4560\rt78"} << QByteArray("t1230\r") << QByteArray("123#") << 0;
        QTest::newRow("CR LF lines, the last LF read apart") << Reads{"t4561AA\r\nt1230\r", "\n"} << Reads{}
                                     << QByteArray("t4561AA\r\nt1230\r\n") << QByteArray("456#AA 123#") << 0;
        QTest::newRow("CR LF lines, paused before the last LF") << Reads{"t4561AA\r"} << Reads{"\nt1230\r\n"}
                                     << QByteArray("t4561AA\r\n") << QByteArray("456#AA") << 0;
        QTest::newRow("LF CR lines") << Reads{"t4561AA\n\rt1230\n\r"} << Reads{}
                                     << QByteArray("t4561AA\n\rt1230\n\r") << QByteArray("456#AA 123#") << 0;
        QTest::newRow("wrong checksum: out of candump, in raw")
            << Reads{"t12303A\rt12303B\rt12303A\r"} << Reads{} << QByteArray("t12303A\rt12303B\rt12303A\r")
            << QByteArray("123# 123#") << 1;
    }
    void exportsHoldTheRowsShown()
    {
        QFETCH(Reads, before);
        QFETCH(Reads, after);
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, frames);
        QFETCH(int, leftOut);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        TFrameTableModel *m = monitor->Frames();
        for (const QByteArray &read : before)
            feed(f, read, 1765280000000000);
        QTRY_VERIFY(m->rowCount() >= f.FrameStore()->Count());
        if (!after.isEmpty()) {
            monitor->PauseButton->click();
            QCOMPARE(m->rowCount(), f.FrameStore()->Count()); // no live pending row
            for (const QByteArray &read : after)
                feed(f, read, 1765280000000001);
            QTest::qWait(2 * TFrameTableModel::ShowIntervalMs);
            for (int row = 0; row < m->rowCount(); ++row)
                QVERIFY(m->index(row, TFrameTableModel::ColKind).data().toString() != QLatin1String("pending"));
        }
        QCOMPARE(monitor->ExportBytes(TLogFormat::Raw), raw);
        uint64_t out = 99;
        QList<QByteArray> ids;
        for (const QByteArray &line : monitor->ExportBytes(TLogFormat::Candump, &out).split('\n'))
            if (!line.isEmpty())
                ids << line.mid(line.indexOf(" k3316 ") + 7);
        QCOMPARE(ids.join(' '), frames);
        QCOMPARE(out, uint64_t(leftOut));
        // CSV keeps every row, a wrong checksum marked
        const QByteArray csv = monitor->ExportBytes(TLogFormat::Csv);
        QCOMPARE(csv.count("\r\n") - 1, m->rowCount());
        QCOMPARE(int(csv.count(" wrong (")), leftOut);
        // the save's message says how many frames candump left out
        MessageBoxRecorder boxes;
        QTemporaryDir dir;
        QString error;
        QVERIFY(monitor->SaveRowsAs(dir.filePath(QStringLiteral("x.log")), TLogFormat::Candump, &error, &out));
        QCOMPARE(out, uint64_t(leftOut));
    }

    // Bytes that follow the probe's reply in the same read are the first of the stream; lines
    // may end in CR LF.
    void recordsTheStreamAfterTheProbe_data()
    {
        QTest::addColumn<QByteArray>("probeReply");
        QTest::addColumn<QByteArray>("later");
        QTest::addColumn<QByteArray>("frames"); // the candump export's identifiers and data
        // (a probe reply of more than 10 bytes is refused: at most 3 bytes can follow it)
        QTest::newRow("CR") << QByteArray("!R2.05\rt12") << QByteArray("30\rt4561AA\r") << QByteArray("123# 456#AA");
        QTest::newRow("CR LF") << QByteArray("!R2.05\r\nt4") << QByteArray("561AA\r\nt1230\r\n")
                               << QByteArray("456#AA 123#");
        QTest::newRow("a whole line in the probe's read") << QByteArray("!R2.05\r\r") << QByteArray("t1230\r")
                                                          << QByteArray("123#");
    }
    void recordsTheStreamAfterTheProbe()
    {
        QFETCH(QByteArray, probeReply);
        QFETCH(QByteArray, later);
        QFETCH(QByteArray, frames);
        MessageBoxRecorder boxes;
        FakeModule module;
        module.reply = [&](const QByteArray &line) { return line == "#A" ? probeReply : QByteArray(); };
        TMainForm f;
        Steps steps;
        steps.then([&] { module.send(later); })
            .waitUntil([&] { return f.FrameStore()->TotalBytes() >= uint64_t(probeReply.size() - TLineSplitter::FirstLineEnd(probeReply) + later.size()); }, "every byte recorded", 5000)
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectInOperationMode(f, module.path(), [&] { steps.start(); });
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        TFrameMonitor *monitor = openMonitor(f);
        QTRY_COMPARE(monitor->Frames()->rowCount(), f.FrameStore()->Count());
        QList<QByteArray> ids;
        for (const QByteArray &line : monitor->ExportBytes(TLogFormat::Candump).split('\n'))
            if (!line.isEmpty())
                ids << line.mid(line.indexOf(" k3316 ") + 7);
        QCOMPARE(ids.join(' '), frames);
        const QByteArray stream = probeReply.mid(TLineSplitter::FirstLineEnd(probeReply)) + later;
        QCOMPARE(monitor->ExportBytes(TLogFormat::Raw), stream);
    }

    // The history keeps the newest lines; the oldest go a chunk at a time, and the table, the
    // counts and the exports follow.
    void boundedHistoryDropsTheOldest()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        TFrameStore &store = *f.FrameStore();
        monitor->HistorySpinBox->setValue(1000);
        QCOMPARE(store.Capacity(), 1000);
        QByteArray all;
        for (int i = 0; i < 2500; ++i) {
            const QByteArray line = "t" + QByteArray::number(0x100 + i % 0x600, 16).toUpper() + "0\r";
            all += line;
            feed(f, line, 1765280000000000 + i);
        }
        QVERIFY(store.Count() <= 1000 && store.Count() > 900);
        QCOMPARE(qsizetype(store.Dropped()) + store.Count(), 2500);
        TFrameTableModel *m = monitor->Frames();
        QTRY_COMPARE(m->rowCount(), store.Count());
        QCOMPARE(m->index(0, TFrameTableModel::ColNumber).data().toString(), QString::number(store.Dropped() + 1));
        QCOMPARE(monitor->ExportBytes(TLogFormat::Raw), all.right(store.AllBytes().size()));
        QCOMPARE(store.AllBytes().size(), store.Count() * 6);
        monitor->UpdateCounts();
        QVERIFY2(monitor->CountsLabel->text().contains(QStringLiteral("Dropped (oldest, history full): %1").arg(store.Dropped())),
                 qPrintable(monitor->CountsLabel->text()));
        // a filtered view and the summary follow the drops too
        monitor->IdEdit->setText(QStringLiteral("100-1FF"));
        QVERIFY(monitor->ApplyFilter());
        monitor->ViewComboBox->setCurrentIndex(1);
        const int before = m->rowCount();
        for (int i = 0; i < 500; ++i)
            feed(f, "t2000\r", 1765280001000000 + i);
        QTRY_VERIFY(m->rowCount() < before);
        for (int row = 0; row < m->rowCount(); ++row)
            QVERIFY(m->StoreRow(row) >= 0);
        uint64_t counted = 0;
        for (const auto &e : monitor->Summary()->Entries())
            counted += e.count;
        QCOMPARE(qsizetype(counted), m->rowCount());
        // lowering the history drops at once
        monitor->HistorySpinBox->setValue(2000);
        monitor->HistorySpinBox->setValue(1000);
        QVERIFY(store.Count() <= 1000);
    }

    // Record to file: every line appended as it comes, through the writers; a full disk stops
    // the recording with the file and the system's reason.
    void recordsToFile_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("candump") << int(TLogFormat::Candump);
        QTest::newRow("CSV") << int(TLogFormat::Csv);
        QTest::newRow("raw") << int(TLogFormat::Raw);
        QTest::newRow("pcap, binary") << int(TLogFormat::Pcap);
    }
    void recordsToFile()
    {
        QFETCH(int, format);
        MessageBoxRecorder boxes;
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        monitor->close(); // records with the window closed too
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rec.") + LogFormatSuffix(TLogFormat(format)));
        QString error;
        feed(f, "t1110\r", 1765280000000000); // before the recording: not in it
        QVERIFY2(monitor->StartRecording(path, TLogFormat(format), &error), qPrintable(error));
        feed(f, "t12303A\rt12303B\r!P0\r\nT7FF2\r", 1765280000000001);
        feed(f, "e000001001BB\r", 1765280000000002);
        QByteArray expected = LogHeader(TLogFormat(format));
        for (qsizetype row = 1; row < f.FrameStore()->Count(); ++row)
            expected += LogRecord(TLogFormat(format), f.FrameStore()->Row(row));
        QTRY_COMPARE(readFile(path), expected); // on the disk within a flush interval
        QCOMPARE(monitor->Recorder().Lines(), uint64_t(5));
        const bool framesOnly = format == int(TLogFormat::Candump) || format == int(TLogFormat::Pcap);
        QCOMPARE(monitor->Recorder().LeftOut(), uint64_t(framesOnly ? 1 : 0));
        monitor->StopRecording();
        feed(f, "t2220\r", 1765280000000003);
        QCOMPARE(readFile(path), expected);
        QVERIFY(boxes.boxes.isEmpty());

        // a full disk
        QVERIFY(monitor->StartRecording(QStringLiteral("/dev/full"), TLogFormat(format), &error)
                || format == int(TLogFormat::Csv) || format == int(TLogFormat::Pcap)); // a header already meets the full disk
        feed(f, "t3330\r", 1765280000000004);
        QTRY_COMPARE(boxes.boxes.size() + (error.isEmpty() ? 0 : 1), 1);
        const QString message = boxes.boxes.isEmpty() ? error : boxes.boxes[0].text;
        QVERIFY2(message.contains(QLatin1String("/dev/full")) && message.contains(QLatin1String("No space left on device")),
                 qPrintable(message));
        QVERIFY(!monitor->Recorder().Recording());

        // a disk that fills in the middle of a record: the system takes part of the buffer, then
        // refuses; the file keeps every whole record it got and the message names the reason
        const qsizetype first = f.FrameStore()->Count();
        feed(f, "t4440\rt5551AA\r", 1765280000000005);
        const QByteArray header = LogHeader(TLogFormat(format));
        const QByteArray record1 = LogRecord(TLogFormat(format), f.FrameStore()->Row(first));
        const QByteArray record2 = LogRecord(TLogFormat(format), f.FrameStore()->Row(first + 1));
        const QString limited = dir.filePath(QStringLiteral("limited.") + LogFormatSuffix(TLogFormat(format)));
        boxes.boxes.clear();
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = rlim_t(header.size() + record1.size() + record2.size() / 2);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool started = monitor->StartRecording(limited, TLogFormat(format), &error);
        feed(f, "t4440\rt5551AA\r", 1765280000000005); // one buffer: both records in one write
        (void)QTest::qWaitFor([&] { return !boxes.boxes.isEmpty(); }, 5000);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);
        QVERIFY2(started, qPrintable(error));
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY2(boxes.boxes[0].text.contains(limited) && boxes.boxes[0].text.contains(QString::fromLocal8Bit(strerror(EFBIG))),
                 qPrintable(boxes.boxes[0].text));
        QCOMPARE(readFile(limited), header + record1);
        QVERIFY(!monitor->Recorder().Recording());
    }

    // A pasted identifier list the field cannot hold is refused whole, and the filter stays.
    void pasteTooLongForTheIdentifierFieldIsRefusedWhole()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, "t1000\rt2000\r", 1);
        monitor->IdEdit->setText(QStringLiteral("100"));
        QVERIFY(monitor->ApplyFilter());
        QTRY_COMPARE(monitor->Frames()->rowCount(), 1);
        QString list;
        while (list.size() <= monitor->IdEdit->maxLength())
            list += QStringLiteral("1ABCDEF0, ");
        QApplication::clipboard()->setText(list);
        monitor->IdEdit->selectAll();
        QTest::keyClick(monitor->IdEdit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(monitor->IdEdit->text(), QStringLiteral("100"));
        QVERIFY(!monitor->FilterErrorLabel->isHidden());
        QVERIFY2(monitor->FilterErrorLabel->text().contains(QString::number(list.size())),
                 qPrintable(monitor->FilterErrorLabel->text()));
        QCOMPARE(monitor->Frames()->rowCount(), 1);
        // one that fits goes in whole
        QApplication::clipboard()->setText(QStringLiteral("200, 300-3FF"));
        monitor->IdEdit->selectAll();
        QTest::keyClick(monitor->IdEdit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(monitor->IdEdit->text(), QStringLiteral("200, 300-3FF"));
    }

    // The table's grid, filled as rectangles, lands on exactly the pixels QTableView's own
    // stroked grid covers: with few rows (empty space below), many (scrolled to the end) and a
    // selected row.
    void gridFilledAsQtStrokesIt_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("select");
        QTest::newRow("three rows") << 3 << false;
        QTest::newRow("many rows at the end") << 500 << false;
        QTest::newRow("a row selected") << 40 << true;
    }
    void gridFilledAsQtStrokesIt()
    {
        QFETCH(int, lines);
        QFETCH(bool, select);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        QVERIFY(QTest::qWaitForWindowExposed(monitor));
        for (int i = 0; i < lines; ++i)
            feed(f, "t12" + QByteArray::number(i % 10) + "211AB\r", 1765280000000000 + i * 1000);
        QTRY_COMPARE(monitor->Frames()->rowCount(), lines);
        TCopyableTableView *view = monitor->FramesView;
        view->scrollToBottom();
        if (select)
            view->selectRow(lines - 2);
        const auto shot = [view] { return view->viewport()->grab().toImage(); };
        const QImage filled = shot();
        view->SetStrokedGrid(true);
        const QImage stroked = shot();
        view->setShowGrid(false);
        const QImage none = shot();
        QVERIFY(stroked != none); // there is a grid to compare
        QCOMPARE(filled, stroked);
    }

    void pendingLineIsCompletedByTheNextRead()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        TFrameTableModel *m = monitor->Frames();
        feed(f, "t1230\rt45", 1000);
        QTRY_COMPARE(m->rowCount(), 2);
        QCOMPARE(m->index(1, TFrameTableModel::ColKind).data().toString(), QStringLiteral("pending"));
        feed(f, "60\r", 251000);
        QTRY_COMPARE(m->index(1, TFrameTableModel::ColKind).data().toString(), QStringLiteral("t"));
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(m->index(1, TFrameTableModel::ColRaw).data().toString(), QStringLiteral("t4560"));
        QCOMPARE(m->index(1, TFrameTableModel::ColDelta).data().toString(), QStringLiteral("0.250000"));
    }

    // Paused, closed or minimised, the view is held (no view work at all while out of sight);
    // the store records, and the view catches up when released.
    void pauseHoldsTheViewAndClearIsItsOwn_data()
    {
        QTest::addColumn<QString>("hold");
        QTest::newRow("paused") << QStringLiteral("paused");
        QTest::newRow("closed") << QStringLiteral("closed");
        QTest::newRow("minimised") << QStringLiteral("minimised");
    }
    void pauseHoldsTheViewAndClearIsItsOwn()
    {
        QFETCH(QString, hold);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        TFrameTableModel *m = monitor->Frames();
        feed(f, "t1000\r", 1);
        QTRY_COMPARE(m->rowCount(), 1);
        if (hold == QLatin1String("paused"))
            monitor->PauseButton->click();
        else if (hold == QLatin1String("closed"))
            monitor->close();
        else
            monitor->showMinimized();
        feed(f, "t2000\r", 2);
        feed(f, "t3000\r", 3); // a burst: the table's own batch timer must not show it either
        QTest::qWait(3 * TFrameTableModel::ShowIntervalMs);
        QCOMPARE(m->rowCount(), 1);                // held...
        QCOMPARE(f.FrameStore()->Count(), 3);      // ...but recorded
        if (hold == QLatin1String("paused"))
            monitor->PauseButton->click();
        else if (hold == QLatin1String("closed"))
            f.FrameMonitor1->trigger();
        else
            monitor->showNormal();
        QTRY_COMPARE(m->rowCount(), 3);
        if (hold != QLatin1String("paused"))
            QVERIFY(monitor->CountsLabel->text().startsWith(QStringLiteral("Rows: 3 shown of 3")));

        // The main list's Clear leaves the monitor alone; the monitor's Clear leaves the list.
        f.ReceiveItems()->Append("t1000\r");
        f.ClearBitBtnClick(nullptr);
        QCOMPARE(f.FrameStore()->Count(), 3);
        f.ReceiveItems()->Append("t1000\r");
        monitor->ClearButton->click();
        QCOMPARE(m->rowCount(), 0);
        QCOMPARE(f.FrameStore()->Count(), 0);
        QCOMPARE(f.ReceiveItems()->Count(), 1);
    }

    void filterFieldsAndABadIdentifierList()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, "t1000\rt2000\rT7E80\re000007E80\r!P0\r", 1);
        QTRY_COMPARE(monitor->Frames()->rowCount(), 5);
        monitor->KindComboBox->setCurrentIndex(monitor->KindComboBox->findText(QStringLiteral("reply (! or ?)")));
        QCOMPARE(monitor->Frames()->rowCount(), 1);
        monitor->KindComboBox->setCurrentIndex(0);
        monitor->IdEdit->setText(QStringLiteral("7E8"));
        QTRY_COMPARE(monitor->Frames()->rowCount(), 2); // applied after typing pauses
        monitor->IdEdit->setText(QStringLiteral("7E8-100"));
        QVERIFY(!monitor->ApplyFilter());
        QVERIFY(!monitor->FilterErrorLabel->isHidden());
        QVERIFY(monitor->FilterErrorLabel->text().contains(QLatin1String("7E8-100")));
        QCOMPARE(monitor->Frames()->rowCount(), 2); // the earlier filter stays
        monitor->IdEdit->clear();
        monitor->TextEdit->setText(QStringLiteral("p0"));
        QVERIFY(monitor->ApplyFilter());
        QVERIFY(monitor->FilterErrorLabel->isHidden());
        QCOMPARE(monitor->Frames()->rowCount(), 1);
        // new lines are judged as they come
        feed(f, "!P1\r!P0\rt3000\r", 2);
        QTRY_COMPARE(monitor->Frames()->rowCount(), 2);
    }

    void copiesSelectedRowsAsText()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, "t1230\rt4561AA\r?\r", 1765280000000000);
        QTRY_COMPARE(monitor->Frames()->rowCount(), 3);
        monitor->FramesView->selectRow(0);
        monitor->FramesView->selectionModel()->select(monitor->Frames()->index(2, 0),
                                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(monitor->FramesView, Qt::Key_C, Qt::ControlModifier);
        const QStringList rows = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 2);
        QVERIFY2(rows[0].startsWith(QLatin1String("1\t")) && rows[0].endsWith(QLatin1String("\tt\t123\t0\t\t\tt1230")),
                 qPrintable(rows[0]));
        QVERIFY2(rows[1].startsWith(QLatin1String("3\t")) && rows[1].endsWith(QLatin1String("\treply\t\t\t\t\t?")),
                 qPrintable(rows[1]));
    }

    void viewByIdentifierCountsAndMeasuresThePeriod()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, "t1001AA\r", 1000000);
        feed(f, "e000001001BB\r", 1100000);
        feed(f, "t1001CC\r", 1500000);
        feed(f, "t1001DD\r", 2000000);
        feed(f, "?\r", 2100000);
        monitor->ViewComboBox->setCurrentIndex(1);
        QCOMPARE(monitor->Views->currentWidget(), monitor->SummaryView);
        TIdSummaryModel *s = monitor->Summary();
        QTRY_COMPARE(s->rowCount(), 2); // the reply has no identifier
        auto cell = [&](int row, int column) { return s->index(row, column).data().toString(); };
        QCOMPARE(cell(0, TIdSummaryModel::ColId), QStringLiteral("100"));
        QCOMPARE(cell(0, TIdSummaryModel::ColCount), QStringLiteral("3"));
        QCOMPARE(cell(0, TIdSummaryModel::ColData), QStringLiteral("DD"));
        QCOMPARE(cell(0, TIdSummaryModel::ColPeriod), QStringLiteral("0.500000"));
        QCOMPARE(cell(1, TIdSummaryModel::ColId), QStringLiteral("00000100"));
        QCOMPARE(cell(1, TIdSummaryModel::ColCount), QStringLiteral("1"));
        QCOMPARE(cell(1, TIdSummaryModel::ColPeriod), QString());
        feed(f, "t1001EE\r", 2500000); // live
        QTRY_COMPARE(cell(0, TIdSummaryModel::ColCount), QStringLiteral("4"));
        QCOMPARE(cell(0, TIdSummaryModel::ColData), QStringLiteral("EE"));
    }

    // Thousands of identifiers, arriving over several batches, stay one row each, in order.
    void byIdentifierKeepsManyIdentifiersSorted()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        monitor->ViewComboBox->setCurrentIndex(1);
        TIdSummaryModel *s = monitor->Summary();
        int64_t time = 0;
        for (int batch = 0; batch < 4; ++batch) {
            QByteArray read;
            for (int i = 0; i < 500; ++i) // ids interleave across batches: 0, 4, 8... then 1, 5, 9...
                read += "t" + QStringLiteral("%1").arg(i * 4 + batch, 3, 16, QLatin1Char('0')).toUpper().toLatin1() + "0\r";
            feed(f, read + "t0000\r", time += 1000);
            QTest::qWait(TFrameTableModel::ShowIntervalMs + 20);
        }
        QTRY_COMPARE(s->rowCount(), 2000);
        const auto &entries = s->Entries();
        QVERIFY(std::is_sorted(entries.begin(), entries.end(),
                               [](const auto &a, const auto &b) { return a.key < b.key; }));
        QCOMPARE(entries.front().count, uint64_t(5)); // identifier 000: once in each batch, plus the first
        QCOMPARE(entries.back().count, uint64_t(1));
        // Switched away, the view holds nothing; back, it counts everything again.
        monitor->ViewComboBox->setCurrentIndex(0);
        QCOMPARE(s->rowCount(), 0);
        monitor->ViewComboBox->setCurrentIndex(1);
        QCOMPARE(s->rowCount(), 2000);
    }

    void everyControlIsNamedForAScreenReader()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        for (QWidget *w : std::initializer_list<QWidget *>{monitor->IdEdit, monitor->KindComboBox, monitor->TextEdit,
                                                           monitor->ViewComboBox, monitor->HistorySpinBox,
                                                           monitor->ProtocolComboBox, monitor->IsoTpPairsEdit}) {
            bool labelled = false;
            for (QLabel *label : monitor->findChildren<QLabel *>())
                labelled = labelled || label->buddy() == w;
            QVERIFY2(labelled, qPrintable(w->objectName()));
        }
        // a window with its title, not a "filler"
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(monitor);
        QVERIFY(window);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Frame Monitor"));
        // every control is reached by Tab
        QList<QWidget *> reached;
        QWidget *w = monitor->PauseButton;
        for (int i = 0; i < 40 && !reached.contains(w); ++i, w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                reached << w;
        for (QWidget *c : std::initializer_list<QWidget *>{monitor->PauseButton, monitor->ClearButton, monitor->SaveAsButton,
                                                           monitor->RecordButton, monitor->ViewComboBox,
                                                           monitor->HistorySpinBox, monitor->IdEdit, monitor->KindComboBox,
                                                           monitor->TextEdit, monitor->ProtocolComboBox, monitor->FramesView})
            QVERIFY2(reached.contains(c), qPrintable(c->objectName()));
        QCOMPARE(monitor->TransfersView->accessibleName(), QStringLiteral("Transfers"));
        QCOMPARE(monitor->FramesView->accessibleName(), QStringLiteral("Lines"));
        QCOMPARE(monitor->SummaryView->accessibleName(), QStringLiteral("Identifiers"));
        for (int c = 0; c < TFrameTableModel::ColumnCount; ++c)
            QVERIFY(!monitor->Frames()->headerData(c, Qt::Horizontal).toString().isEmpty());
    }

    void saveAsTakesTheTypedEndingOrTheFileTypeBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fileType");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QByteArray>("begins");
        QTest::newRow("pcap from the box") << "bus" << "pcap (*.pcap)" << "bus.pcap" << QByteArray("\xd4\xc3\xb2\xa1");
        QTest::newRow("ASC from the box") << "bus" << "Vector ASC (*.asc)" << "bus.asc" << QByteArray("date ");
        QTest::newRow("TRC from the box") << "bus" << "PEAK TRC 2.1 (*.trc)" << "bus.trc" << QByteArray(";$FILEVERSION=2.1\r\n");
        QTest::newRow("typed .trc over the box") << "bus.trc" << "CSV (*.csv)" << "bus.trc" << QByteArray(";$FILEVERSION=2.1\r\n");
        QTest::newRow("typed .pcap over the box") << "x.pcap" << "candump log (*.log)" << "x.pcap" << QByteArray("\xd4\xc3\xb2\xa1");
    }
    void saveAsTakesTheTypedEndingOrTheFileTypeBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, fileType);
        QFETCH(QString, saved);
        QFETCH(QByteArray, begins);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, "t1230\r", 1765280000123456);
        QTemporaryDir dir;
        bool answered = false;
        WhenModal<QFileDialog>([&](QFileDialog *dialog) {
            dialog->setDirectory(dir.path());
            dialog->selectNameFilter(fileType);
            emit dialog->filterSelected(fileType);
            dialog->selectFile(typed);
            answered = true;
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, as the Save button runs it
        });
        monitor->SaveAsButton->click();
        QVERIFY(answered);
        QVERIFY(readFile(dir.filePath(saved)).startsWith(begins));
    }

    // With a database: the Message column, the signals of the row selected, the names and latest
    // values by identifier, names in the text filter, the signals' CSV, and the files remembered.
    void aDatabaseNamesFramesAndTheirSignals()
    {
        QTemporaryDir dir;
        const QString path = writeDbc(dir, QStringLiteral("car.dbc"), testDbc);
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        QCOMPARE(monitor->Frames()->columnCount(), int(TFrameTableModel::ColumnCount)); // none yet
        QVERIFY(monitor->Signals()->isHidden());
        QVERIFY(monitor->LoadDatabaseFiles({path}));
        QCOMPARE(monitor->DatabaseLabel->text(), QStringLiteral("Database: car.dbc"));
        QVERIFY(!monitor->Signals()->isHidden());
        feed(f, engineLine + "t1230\r" + "e000002001" "01\r" + "t0C8" "2" "7C47\r", 1765280000000000);
        TFrameTableModel *m = monitor->Frames();
        QTRY_COMPARE(m->rowCount(), 4);
        QCOMPARE(m->headerData(TFrameTableModel::ColMessage, Qt::Horizontal).toString(), QStringLiteral("Message"));
        QStringList names;
        for (int row = 0; row < 4; ++row)
            names << m->index(row, TFrameTableModel::ColMessage).data().toString();
        QCOMPARE(names, (QStringList{"Engine", "", "Door", "Engine"}));
        // beside the identifier on screen
        QCOMPARE(monitor->FramesView->horizontalHeader()->visualIndex(TFrameTableModel::ColMessage),
                 TFrameTableModel::ColId + 1);

        // by identifier: the name and the latest values, decoded when shown
        monitor->ViewComboBox->setCurrentIndex(1);
        TIdSummaryModel *s = monitor->Summary();
        QTRY_COMPARE(s->rowCount(), 3);
        QCOMPARE(s->index(0, TIdSummaryModel::ColMessage).data().toString(), QStringLiteral("Engine"));
        QCOMPARE(s->index(1, TIdSummaryModel::ColMessage).data().toString(), QString());
        QCOMPARE(s->index(0, TIdSummaryModel::ColSignals).data().toString(),
                 QStringLiteral("Speed=1830 km/h  Temp=?  Gear=?  Odometer=?")); // the latest had two bytes only
        feed(f, engineLine, 1765280001000000);
        QTRY_COMPARE(s->index(0, TIdSummaryModel::ColSignals).data().toString(),
                     QStringLiteral("Speed=1830 km/h  Temp=90 degC  Gear=3 (third)  Odometer=16909060 km"));
        monitor->SummaryView->setCurrentIndex(s->index(2, 0));
        QCOMPARE(monitor->Signals()->TitleLabel->text(), QStringLiteral("Signals of Door"));
        monitor->ViewComboBox->setCurrentIndex(0);

        // the text filter finds frames by message and signal names too
        monitor->TextEdit->setText(QStringLiteral("odoMETER"));
        QVERIFY(monitor->ApplyFilter());
        QCOMPARE(m->rowCount(), 3);
        monitor->TextEdit->setText(QStringLiteral("door"));
        QVERIFY(monitor->ApplyFilter());
        QCOMPARE(m->rowCount(), 1);
        monitor->TextEdit->clear();
        QVERIFY(monitor->ApplyFilter());

        // Save As can write the signals, one row each; a short frame's missing signals have no value
        const QList<QByteArray> csv = monitor->ExportSignalsCsv().split('\n');
        QCOMPARE(csv.size(), 1 + 4 + 1 + 1 + 4 + 3 + 1);
        QCOMPARE(csv[0], QByteArray("time,message,signal,value,unit\r"));
        QCOMPARE(csv[1], QByteArray("2025-12-09T11:33:20.000000Z,Engine,Speed,1830,km/h\r"));
        QCOMPARE(csv[3], QByteArray("2025-12-09T11:33:20.000000Z,Engine,Gear,3,\r"));
        QCOMPARE(csv[5], QByteArray("2025-12-09T11:33:20.000000Z,Door,Open,1,\r"));
        QCOMPARE(csv[6], QByteArray("2025-12-09T11:33:20.000000Z,Engine,Speed,1830,km/h\r"));
        QCOMPARE(csv[7], QByteArray("2025-12-09T11:33:20.000000Z,Engine,Temp,,degC\r"));

        // remembered for the next start, forgotten when removed
        TSignalDatabase next;
        next.Restore();
        QCOMPARE(next.Files(), QStringList{QFileInfo(path).absoluteFilePath()});
        f.SignalDatabase()->Remove(QFileInfo(path).absoluteFilePath());
        QCOMPARE(monitor->DatabaseLabel->text(), QStringLiteral("Database: none"));
        QCOMPARE(m->columnCount(), int(TFrameTableModel::ColumnCount));
        QVERIFY(monitor->Signals()->isHidden());
        TSignalDatabase after;
        after.Restore();
        QVERIFY(after.Files().isEmpty());
    }

    // The signals pane for each kind of row selected.
    void signalsPaneShowsTheSelectedFrame_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rows"); // signal|value|unit|raw|text|comment
        QTest::newRow("whole frame") << engineLine << "Signals of Engine"
            << QStringList{"Speed|1830|km/h|18300||Vehicle speed", "Temp|90|degC|130||", "Gear|3||3|third|",
                           "Odometer|16909060|km|16909060||"};
        QTest::newRow("short frame") << QByteArray("t0C827C47\r") << "Signals of Engine"
            << QStringList{"Speed|1830|km/h|18300||Vehicle speed", "Temp|not in the frame|degC|||",
                           "Gear|not in the frame||||", "Odometer|not in the frame|km|||"};
        QTest::newRow("extended") << QByteArray("e000002001" "00\r") << "Signals of Door" << QStringList{"Open|0||0||"};
        QTest::newRow("unknown identifier") << QByteArray("t1230\r") << "Signals: identifier 123 is not in the database"
                                            << QStringList{};
        QTest::newRow("remote frame") << QByteArray("T0C88\r") << "Signals of Engine: a remote frame carries none"
                                      << QStringList{};
        QTest::newRow("reply") << QByteArray("!P0\r") << "Signals: the line selected is no CAN frame" << QStringList{};
    }
    void signalsPaneShowsTheSelectedFrame()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, title);
        QFETCH(QStringList, rows);
        QTemporaryDir dir;
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        QVERIFY(monitor->LoadDatabaseFiles({writeDbc(dir, QStringLiteral("car.dbc"), testDbc)}));
        feed(f, line, 1);
        QTRY_COMPARE(monitor->Frames()->rowCount(), 1);
        QCOMPARE(monitor->Signals()->TitleLabel->text(), QStringLiteral("Signals: select a frame"));
        monitor->FramesView->setCurrentIndex(monitor->Frames()->index(0, 0));
        QCOMPARE(monitor->Signals()->TitleLabel->text(), title);
        TSignalsModel *pane = monitor->Signals()->Model();
        QStringList got;
        for (int r = 0; r < pane->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < TSignalsModel::ColumnCount; ++c)
                cells << pane->index(r, c).data().toString();
            got << cells.join(QLatin1Char('|'));
        }
        QCOMPARE(got, rows);
        QCOMPARE(monitor->Signals()->PlotButton->isEnabled(), !rows.isEmpty());
    }

    void aBrokenDatabaseIsReportedAndLoadsNothing()
    {
        MessageBoxRecorder boxes;
        QTemporaryDir dir;
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        const QString good = writeDbc(dir, QStringLiteral("car.dbc"), testDbc);
        const QString bad = writeDbc(dir, QStringLiteral("bad.dbc"), "VERSION \"\"\nBO_ 300 Broken: 8 ECU\n SG_ X : 0|\n");
        QVERIFY(!monitor->LoadDatabaseFiles({good, bad, dir.filePath(QStringLiteral("missing.dbc"))}));
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].type, TMsgType::Error);
        QVERIFY2(boxes.boxes[0].text.contains(QLatin1String("bad.dbc:4:")), qPrintable(boxes.boxes[0].text));
        QVERIFY2(boxes.boxes[0].text.contains(QLatin1String("missing.dbc")), qPrintable(boxes.boxes[0].text));
        QCOMPARE(f.SignalDatabase()->Files(), QStringList{QFileInfo(good).absoluteFilePath()});
        QVERIFY(monitor->DatabaseLabel->text().contains(QLatin1String("Not loaded: ")));
        // a message defined again in a second file is refused too
        QVERIFY(!monitor->LoadDatabaseFiles({writeDbc(dir, QStringLiteral("again.dbc"), testDbc)}));
        QCOMPARE(f.SignalDatabase()->Files().size(), 1);
    }

    // Signals chosen in the pane are plotted: their history since the first frame, then live;
    // zoom, pan and pause move the range; the values under the cursor; CSV and PNG.
    void plotsChosenSignalsOverTime()
    {
        QTemporaryDir dir;
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        QVERIFY(monitor->LoadDatabaseFiles({writeDbc(dir, QStringLiteral("car.dbc"), testDbc)}));
        const int64_t t0 = 1765280000000000;
        for (int i = 0; i < 100; ++i) { // Speed 0, 1, ... 99 km/h, ten a second
            const QByteArray raw = QByteArray::number(i * 10, 16).rightJustified(4, '0').toUpper();
            feed(f, "t0C84" + raw.right(2) + raw.left(2) + "8203\r", t0 + i * 100000);
        }
        QTRY_COMPARE(monitor->Frames()->rowCount(), 100);
        monitor->FramesView->setCurrentIndex(monitor->Frames()->index(0, 0));
        TSignalsPane *pane = monitor->Signals();
        pane->SignalsView->selectionModel()->select(pane->Model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        pane->SignalsView->selectionModel()->select(pane->Model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        pane->PlotButton->click();
        TPlotWindow *plot = monitor->Plot();
        QVERIFY(plot);
        QVERIFY(QTest::qWaitForWindowExposed(plot));
        QCOMPARE(plot->Recorder().Count(), 2);
        QTRY_COMPARE(plot->Recorder().Signal(0).Points.Count(), qsizetype(100)); // the history, read by the tick
        QCOMPARE(plot->Recorder().Signal(0).Points.Value(99), 99.0);
        QCOMPARE(plot->Recorder().Signal(1).Points.Value(0), 90.0);
        // units differ: one axis each
        QCOMPARE(plot->Chart()->axes(Qt::Vertical).size(), 2);
        QCOMPARE(plot->SignalsList->count(), 2);
        QVERIFY(plot->Live());
        QTRY_COMPARE(plot->Series(0)->count(), 100);
        QCOMPARE(plot->ViewTo(), 10.0); // ten seconds in sight, the newest point at 9.9 s

        // live: new frames scroll the range, read with the next tick
        feed(f, "t0C84E8038203\r", t0 + 15000000); // Speed 100 at 15 s
        QTRY_COMPARE(plot->ViewTo(), 15.0);
        QCOMPARE(plot->Recorder().Signal(0).Points.Count(), qsizetype(101));

        // keys: zoom in, pan, Home for everything, End for live again
        plot->ChartView->setFocus();
        QTest::keyClick(plot->ChartView, Qt::Key_Plus);
        QVERIFY(!plot->Live());
        QCOMPARE(plot->ViewTo() - plot->ViewFrom(), 5.0);
        const double before = plot->ViewFrom();
        QTest::keyClick(plot->ChartView, Qt::Key_Left);
        QCOMPARE(plot->ViewFrom(), before - 0.5);
        feed(f, "t0C84E8038203\r", t0 + 16000000); // paused: the range holds still
        QTest::qWait(3 * TPlotWindow::RedrawIntervalMs);
        QCOMPARE(plot->ViewFrom(), before - 0.5);
        QCOMPARE(plot->Recorder().Signal(0).Points.Count(), qsizetype(102)); // still recorded
        QTest::keyClick(plot->ChartView, Qt::Key_Home);
        QCOMPARE(plot->ViewFrom(), 0.0);
        QCOMPARE(plot->ViewTo(), 16.0);
        QTest::keyClick(plot->ChartView, Qt::Key_End);
        QVERIFY(plot->Live());

        // the values under the cursor
        QCOMPARE(plot->ValuesAt(2.04), QStringLiteral("At 2.040 s: Speed = 20 km/h, Temp = 90 degC"));

        // Save As: every value as CSV, the chart as PNG
        const QList<QByteArray> csv = plot->CsvBytes().split('\n');
        QCOMPARE(csv.size(), 1 + 102 + 102 + 1);
        QCOMPARE(csv[1], QByteArray("2025-12-09T11:33:20.000000Z,Engine,Speed,0,km/h\r"));
        QCOMPARE(csv[102], QByteArray("2025-12-09T11:33:36.000000Z,Engine,Speed,100,km/h\r"));
        QString error;
        QVERIFY2(plot->SaveAs(dir.filePath(QStringLiteral("plot.png")), &error), qPrintable(error));
        QImage png(dir.filePath(QStringLiteral("plot.png")));
        QVERIFY(!png.isNull());
        QCOMPARE(png.size(), plot->ChartView->size() * plot->ChartView->devicePixelRatio());

        // removed from the list, gone from the chart
        plot->SignalsList->setCurrentRow(0);
        plot->RemoveButton->click();
        QCOMPARE(plot->Recorder().Count(), 1);
        QCOMPARE(plot->Recorder().Signal(0).Signal, QStringLiteral("Temp"));
        QCOMPARE(plot->Chart()->series().size(), 1);
    }

    // "Compose from Database": values in, bytes out, the composer's fields filled.
    void composerFillsTheFieldsFromSignalValues()
    {
        QTemporaryDir dir;
        TMainForm f;
        QVERIFY(f.SignalDatabase()->Load({writeDbc(dir, QStringLiteral("car.dbc"), testDbc)}).isEmpty());
        TSignalComposerDialog dialog(f.SignalDatabase()->Database());
        QVERIFY(dialog.SelectMessage(QStringLiteral("Engine")));
        QVERIFY(dialog.SetValue(QStringLiteral("Speed"), QStringLiteral("1830")));
        QVERIFY(dialog.SetValue(QStringLiteral("Gear"), QStringLiteral("third")));
        QCOMPARE(dialog.Data(), QByteArray::fromHex("7C47000300000000")); // Temp empty: raw 0
        QCOMPARE(dialog.BytesLabel->text(), QStringLiteral("Data bytes: 7C 47 00 03 00 00 00 00"));
        QVERIFY(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(dialog.SetValue(QStringLiteral("Speed"), QStringLiteral("9999")));
        QVERIFY2(dialog.Error().contains(QLatin1String("Speed")), qPrintable(dialog.Error()));
        QVERIFY(!dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(dialog.SetValue(QStringLiteral("Speed"), QStringLiteral("fast")));
        QVERIFY(!dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());

        f.IDEdit->clear(); // whatever the field held
        f.FillComposer(*f.SignalDatabase()->Database().FindByName(QStringLiteral("Engine")), QByteArray::fromHex("7C47820304030201"));
        QVERIFY(f.CANCheckBox->isChecked());
        QCOMPARE(f.IDEdit->text(), QStringLiteral("0C8"));
        QCOMPARE(f.ModeEdit->text(), QStringLiteral("0"));
        QCOMPARE(f.DLCEdit->text(), QStringLiteral("8"));
        QCOMPARE(f.D1Edit->text(), QStringLiteral("7C"));
        QCOMPARE(f.D8Edit->text(), QStringLiteral("01"));
        f.FillComposer(*f.SignalDatabase()->Database().FindByName(QStringLiteral("Door")), QByteArray::fromHex("01"));
        QCOMPARE(f.ModeEdit->text(), QStringLiteral("1"));
        QCOMPARE(f.IDEdit->text(), QStringLiteral("00000200"));
        QCOMPARE(f.DLCEdit->text(), QStringLiteral("1"));
        QVERIFY(!f.D2Edit->isEnabled());
        f.FillComposer(*f.SignalDatabase()->Database().FindByName(QStringLiteral("Engine")), QByteArray::fromHex("01"));
        QCOMPARE(f.ModeEdit->text(), QStringLiteral("0"));
        QCOMPARE(f.IDEdit->text(), QStringLiteral("0C8"));
        // and what it sends is the composer's line
        QCOMPARE(f.ComposeFromDatabase1->parent(), f.A1);
        QVERIFY(f.GroupBox1->actions().contains(f.ComposeFromDatabase1));
    }

    // The new windows' controls: reached by Tab, and named (by a tied label where they show a value).
    void signalControlsAreReachableAndNamed()
    {
        QTemporaryDir dir;
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        QVERIFY(monitor->LoadDatabaseFiles({writeDbc(dir, QStringLiteral("car.dbc"), testDbc)}));
        feed(f, engineLine, 1);
        QTRY_COMPARE(monitor->Frames()->rowCount(), 1);
        monitor->FramesView->setCurrentIndex(monitor->Frames()->index(0, 0));
        monitor->Signals()->PlotButton->click();
        TPlotWindow *plot = monitor->Plot();
        QVERIFY(plot);
        TSignalComposerDialog composer(f.SignalDatabase()->Database());
        auto labelled = [](QWidget *w) {
            for (QLabel *label : w->window()->findChildren<QLabel *>())
                if (label->buddy() == w)
                    return true;
            return false;
        };
        for (QWidget *w : std::initializer_list<QWidget *>{monitor->Signals()->SignalsView, plot->SignalsList,
                                                           composer.MessageComboBox, composer.ValuesTable})
            QVERIFY2(labelled(w), qPrintable(w->objectName()));
        const QList<QWidget *> reachable = {monitor->DatabaseButton, monitor->Signals()->PlotButton, monitor->Signals()->SignalsView,
                                            plot->PauseButton, plot->ShowAllButton, plot->ClearButton, plot->SaveAsButton,
                                            plot->ChartView, plot->SignalsList, plot->RemoveButton, composer.MessageComboBox,
                                            composer.ValuesTable};
        for (QWidget *w : reachable)
            QVERIFY2(w->focusPolicy() & Qt::TabFocus, qPrintable(w->objectName()));
        QCOMPARE(monitor->Signals()->SignalsView->accessibleName(), QStringLiteral("Signals"));
        QCOMPARE(plot->ChartView->accessibleName(), QStringLiteral("Plot of the signals over time"));
        QCOMPARE(plot->CursorLabel->accessibleName(), QStringLiteral("Values"));
        for (QPushButton *b : plot->findChildren<QPushButton *>())
            QVERIFY2(!b->text().isEmpty(), qPrintable(b->objectName()));
        // Tab goes round the plot window's controls in order.
        plot->PauseButton->setFocus();
        QCOMPARE(plot->PauseButton->nextInFocusChain(), plot->ShowAllButton);
    }

    void failedSaveAsKeepsTheEarlierFile()
    {
        TMainForm f;
        TFrameMonitor *monitor = openMonitor(f);
        feed(f, "t1230\r", 1);
        QTemporaryDir dir;
        QString error;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.log")));
        QVERIFY(!monitor->SaveRowsAs(dir.filePath(QStringLiteral("taken.log")), TLogFormat::Candump, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Cannot create file \"%1\"").arg(dir.filePath(QStringLiteral("taken.log")))),
                 qPrintable(error));
    }

private:
    QTemporaryDir m_settings;
};

QTEST_MAIN(TestFrameMonitor)
#include "tst_framemonitor.moc"
