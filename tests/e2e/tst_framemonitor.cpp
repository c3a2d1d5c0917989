// The frame monitor window against the virtual module and with lines fed to its store: every
// byte recorded, one row per line, exports read back, filters, pause, clear, copy, the view by
// identifier, and the ways to open it.

#include "CanBus.h"
#include "monitor/FrameStore.h"
#include "monitor/LogWriters.h"
#include "protocol/Framing.h"
#include "support/MessageBoxRecorder.h"
#include "support/OperationConnect.h"
#include "support/SimProcess.h"
#include "support/Steps.h"
#include "ui/CopyableTableView.h"
#include "ui/FrameMonitor.h"
#include "ui/FrameTableModel.h"
#include "ui/IdSummaryModel.h"
#include "ui/MainUnit.h"
#include "ui/ReceiveListView.h"
#include "ui/ReceiveModel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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

// Feeds the window's store as the receive loop does.
void feed(TMainForm &f, const QByteArray &bytes, int64_t timeUs)
{
    f.FrameStore()->Append(bytes, timeUs);
    if (f.FrameMonitorWindow())
        f.FrameMonitorWindow()->StoreGrew();
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
        QCOMPARE(store.AllBytes().toByteArray(), lines.join());
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
                                                           monitor->ViewComboBox}) {
            bool labelled = false;
            for (QLabel *label : monitor->findChildren<QLabel *>())
                labelled = labelled || label->buddy() == w;
            QVERIFY2(labelled, qPrintable(w->objectName()));
        }
        QCOMPARE(monitor->FramesView->accessibleName(), QStringLiteral("Lines"));
        QCOMPARE(monitor->SummaryView->accessibleName(), QStringLiteral("Identifiers"));
        for (int c = 0; c < TFrameTableModel::ColumnCount; ++c)
            QVERIFY(!monitor->Frames()->headerData(c, Qt::Horizontal).toString().isEmpty());
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
};

QTEST_MAIN(TestFrameMonitor)
#include "tst_framemonitor.moc"
