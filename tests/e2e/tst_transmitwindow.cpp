// The "Transmit List" window and the "Replay Log" dialog: the menu entries, cells refused with
// the composer's rules, the load warning, stopping with the connection, keyboard and screen
// reader, and a run against the virtual module checked line by line.

#include "support/MessageBoxRecorder.h"
#include "support/OperationConnect.h"
#include "support/SimProcess.h"
#include "support/Steps.h"
#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitRunner.h"
#include "ui/transmit/ReplayDialog.h"
#include "ui/signals/SignalComposer.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/transmit/TransmitTableModel.h"
#include "ui/transmit/TransmitWindow.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

TTransmitRow Row(const QString &id, int periodMs, int64_t count)
{
    TTransmitRow r;
    r.Id = id;
    r.Dlc = 2;
    r.Data = QByteArray::fromHex("11AB");
    r.PeriodMs = periodMs;
    r.Count = count;
    return r;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Heartbeat 0x123 every 100 ms; Speed 0x246 extended, on demand, with a big-endian Gear.
const QByteArray kDbc = "VERSION \"\"\nBU_: ECU\n"
                        "BO_ 291 Heartbeat: 2 ECU\n SG_ State : 0|8@1+ (1,0) [0|255] \"\" ECU\n"
                        " SG_ Alive : 8|4@1+ (1,0) [0|15] \"\" ECU\n"
                        "BO_ 2147484230 Speed: 4 ECU\n SG_ Velocity : 0|16@1+ (0.01,0) [0|655.35] \"km/h\" ECU\n"
                        " SG_ Gear : 23|4@0+ (1,0) [0|15] \"\" ECU\n"
                        "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n"
                        "BA_ \"GenMsgCycleTime\" BO_ 291 100;\n";

} // namespace

class TestTransmitWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The databases' file list is remembered in the settings: keep it out of the user's.
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        QVERIFY(WriteFile(m_settings.filePath(QStringLiteral("car.dbc")), kDbc));
    }
    void cleanup() { TSignalDatabase().RemoveAll(); }

    void opensFromTheViewMenuF7AndTheFileMenu()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        QCOMPARE(f.TransmitList1->text(), QStringLiteral("&Transmit List"));
        QCOMPARE(f.TransmitList1->shortcut(), QKeySequence(Qt::Key_F7));
        QVERIFY(f.View1->actions().contains(f.TransmitList1));
        QCOMPARE(f.ReplayLog1->text(), QStringLiteral("&Replay Log..."));
        QVERIFY(f.F1->actions().contains(f.ReplayLog1));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::keyClick(&f, Qt::Key_F7);
        TTransmitWindow *w = f.TransmitWindow();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Transmit List"));
        QVERIFY(w->isWindow());
        QVERIFY(w->maximumWidth() > 2000); // resizable
        // Not connected: nothing may start.
        w->AddClick();
        QVERIFY(!w->findChild<QPushButton *>(QStringLiteral("StartButton"))->isEnabled());
        w->StartClick();
        QCOMPARE(boxes.texts(), QStringList{"The list runs only while connected in operation mode or the pair-connection test."});
        f.ReplayLog1->trigger();
        QVERIFY(f.ReplayDialog());
        QVERIFY(f.ReplayDialog()->isVisible());
        QVERIFY(!f.ReplayDialog()->isModal());
        QCOMPARE(f.ReplayDialog()->windowTitle(), QStringLiteral("Replay Log"));
    }

    void cellsFollowTheComposersRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<bool>("typed"); // through the cell's editor, as a user types it
        QTest::newRow("id not hex") << int(TTransmitTableModel::ColId) << "12G" << "ID (hex): '12G' is not a valid integer value" << false;
        QTest::newRow("id empty") << int(TTransmitTableModel::ColId) << "" << "ID (hex): '' is not a valid integer value" << false;
        QTest::newRow("id too wide") << int(TTransmitTableModel::ColId) << "1234" << "ID (hex): at most 3 hexadecimal digits for a standard frame" << false;
        QTest::newRow("dlc") << int(TTransmitTableModel::ColDlc) << "9" << "DLC: must be 0 to 8" << false;
        QTest::newRow("dlc text") << int(TTransmitTableModel::ColDlc) << "x" << "DLC: 'x' is not a valid integer value" << false;
        QTest::newRow("data") << int(TTransmitTableModel::ColData) << "112233" << "Data (hex): 3 bytes, more than the DLC 2" << false;
        QTest::newRow("period") << int(TTransmitTableModel::ColPeriod) << "100000" << "Period ms: must be 1 to 99999 ms, or 0 for on demand only" << false;
        QTest::newRow("counter") << int(TTransmitTableModel::ColCounter) << "12,8,1" << "Counter: bits 12 to 19 lie outside the 16 data bits of DLC 2" << false;
        QTest::newRow("counter text") << int(TTransmitTableModel::ColCounter) << "8" << "Counter: expected start bit, length and step, such as 8,4,1" << false;
        QTest::newRow("period typed as a fraction") << int(TTransmitTableModel::ColPeriod) << "1.5" << "Period ms: '1.5' is not a valid integer value" << true;
        QTest::newRow("period typed as letters") << int(TTransmitTableModel::ColPeriod) << "abc" << "Period ms: 'abc' is not a valid integer value" << true;
        QTest::newRow("dlc typed as letters") << int(TTransmitTableModel::ColDlc) << "x" << "DLC: 'x' is not a valid integer value" << true;
        QTest::newRow("id typed") << int(TTransmitTableModel::ColId) << "12G" << "ID (hex): '12G' is not a valid integer value" << true;
        QTest::newRow("period typed") << int(TTransmitTableModel::ColPeriod) << "250" << "" << true;
        QTest::newRow("good id") << int(TTransmitTableModel::ColId) << "7ff" << "" << false;
        QTest::newRow("good counter") << int(TTransmitTableModel::ColCounter) << "8, 4, 1" << "" << false;
    }
    void cellsFollowTheComposersRules()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        MessageBoxRecorder boxes;
        TTransmitWindow w([](const QByteArray &) { return true; });
        w.Runner()->SetRows({Row("123", 0, 0)});
        w.Model()->Reset();
        const TTransmitRow before = w.Runner()->Rows()[0];
        QFETCH(bool, typed);
        bool accepted = false;
        if (typed) {
            w.show();
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            const QModelIndex cell = w.Model()->index(0, column);
            w.Table()->setCurrentIndex(cell);
            w.Table()->edit(cell);
            auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(editor);
            // A plain text field: a spin box would drop what it cannot take without a word.
            QVERIFY(!qobject_cast<QAbstractSpinBox *>(editor->parentWidget()));
            editor->selectAll();
            QTest::keyClicks(editor, text);
            QCOMPARE(editor->text(), text);
            const QPointer<QLineEdit> open(editor);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!open); // committed and closed on the next turn of the event loop
            accepted = w.Runner()->Rows()[0] != before;
        } else {
            accepted = w.Model()->setData(w.Model()->index(0, column), text);
        }
        QCOMPARE(accepted, refusal.isEmpty());
        QCOMPARE(boxes.texts(), refusal.isEmpty() ? QStringList() : QStringList{refusal});
        if (!accepted)
            QCOMPARE(w.Runner()->Rows()[0], before);
        else
            QCOMPARE(w.Model()->data(w.Model()->index(0, column)).toString(), text.toUpper().remove(QLatin1Char(' ')));
    }

    // As the composer's MODE field does to its ID field: 8 digits when extended, the last 3 back.
    void extendedWidensTheIdentifier()
    {
        TTransmitWindow w([](const QByteArray &) { return true; });
        w.Runner()->SetRows({Row("7FF", 0, 0)});
        w.Model()->Reset();
        TTransmitTableModel *m = w.Model();
        QVERIFY(m->setData(m->index(0, TTransmitTableModel::ColExtended), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(w.Runner()->Rows()[0].Id, QStringLiteral("000007FF"));
        QVERIFY(m->setData(m->index(0, TTransmitTableModel::ColId), "12345678"));
        QVERIFY(m->setData(m->index(0, TTransmitTableModel::ColExtended), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(w.Runner()->Rows()[0].Id, QStringLiteral("678"));
        QVERIFY(m->setData(m->index(0, TTransmitTableModel::ColDlc), "1"));
        QCOMPARE(w.Runner()->Rows()[0].Data, QByteArray("\x11", 1)); // cut to the new length
    }

    void loadWarningAndStopWithTheConnection()
    {
        MessageBoxRecorder boxes;
        QList<QByteArray> lines;
        TTransmitWindow w([&lines](const QByteArray &l) { lines << l; return true; });
        QList<TTransmitRow> rows;
        for (int i = 0; i < 10; ++i)
            rows << Row(QString::number(0x100 + i, 16), 5, 0); // 10 x 10 bytes x 200/s
        w.Runner()->SetRows(rows);
        w.Model()->Reset();
        w.SetLink(true, 115200, false);
        QCOMPARE(w.LoadText(), QStringLiteral("Load: 20,000 of 11,520 bytes/s"));
        boxes.queueAnswer(TMsgAnswer::No);
        w.StartClick();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].type, TMsgType::Confirm);
        QVERIFY(boxes.boxes[0].text.contains(QStringLiteral("Load: 20,000 of 11,520 bytes/s, 174 %")));
        QVERIFY(!w.Runner()->Running());
        QVERIFY(lines.isEmpty());
        boxes.queueAnswer(TMsgAnswer::Yes);
        w.StartClick();
        QVERIFY(w.Runner()->Running());
        QTRY_VERIFY(lines.size() >= 20);
        // Disabling a row while running: it stops sending, the others go on.
        QVERIFY(w.Model()->setData(w.Model()->index(0, TTransmitTableModel::ColEnabled), Qt::Unchecked, Qt::CheckStateRole));
        const int64_t first = w.Runner()->Sent(0);
        const int64_t second = w.Runner()->Sent(1);
        QTRY_VERIFY(w.Runner()->Sent(1) > second + 2);
        QCOMPARE(w.Runner()->Sent(0), first);
        w.SetLink(false, 115200, false);
        QVERIFY(!w.Runner()->Running());
        QCOMPARE(w.Runner()->Rows().size(), 10);
        QCOMPARE(w.StatusText(), QStringLiteral("Stopped: the connection ended. The rows are kept."));
        // Connected again: the status says so (not the last connection's end), and a screen
        // reader reads it as shown.
        w.SetLink(true, 115200, false);
        QCOMPARE(w.StatusText(), QStringLiteral("Connected: Start runs every enabled row with a period."));
        auto *status = w.findChild<QLabel *>(QStringLiteral("StatusLabel"));
        QVERIFY(status->accessibleName().isEmpty());
        QCOMPARE(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Name), w.StatusText());
        // A new run counts "Sent" from nothing.
        QVERIFY(w.Runner()->Sent(1) > 0);
        boxes.queueAnswer(TMsgAnswer::Yes);
        w.StartClick();
        QCOMPARE(w.Model()->data(w.Model()->index(1, TTransmitTableModel::ColSent)).toString(), QStringLiteral("0"));
        w.SetLink(false, 115200, false);
        QCOMPARE(w.StatusText(), QStringLiteral("Stopped: the connection ended. The rows are kept."));
        w.SetLink(true, 115200, false);
        w.SetLink(false, 115200, false);
        QCOMPARE(w.StatusText(), TTransmitWindow::NotConnectedText());
    }

    // A row whose sends come later than its period is marked in its rate, and said in its tip.
    void rateCellMarksARowBehind()
    {
        int64_t now = 0;
        TTransmitRunner runner([&now] { return now; }, [](const QByteArray &) { return true; });
        TTransmitTableModel model(&runner);
        runner.SetRows({Row("1", 1, 0), Row("2", 10, 0)});
        runner.Start();
        for (int i = 0; i < 100; ++i) { // ticks every 10 ms: the 1 ms row passes nine periods each
            runner.Tick();
            now += 10000;
        }
        runner.SampleRates();
        const QModelIndex fast = model.index(0, TTransmitTableModel::ColRate);
        const QModelIndex onTime = model.index(1, TTransmitTableModel::ColRate);
        QCOMPARE(model.data(fast).toString(), QStringLiteral("100.0 behind"));
        QCOMPARE(model.data(fast, Qt::ForegroundRole).value<QColor>(), QColor(Qt::darkRed));
        QVERIFY(model.data(fast, Qt::ToolTipRole).toString().startsWith(QStringLiteral("Falls short of its period of 1 ms")));
        QCOMPARE(model.data(onTime).toString(), QStringLiteral("100.0"));
        QVERIFY(!model.data(onTime, Qt::ForegroundRole).isValid());
    }

    // Replay Log's progress moves through a gap and says what is left, rounded up; the longest
    // gap field shortens the pass; the dialog keeps its width while the text changes.
    void replayProgress_data()
    {
        QTest::addColumn<double>("maxGap");
        QTest::addColumn<int64_t>("nowMs");
        QTest::addColumn<QString>("progress");
        QTest::newRow("through a gap") << 0.0 << int64_t(2000) << "Played 0:02 of 0:04, 0:02 left; 1 sent";
        QTest::newRow("left rounds up") << 0.0 << int64_t(3500) << "Played 0:03 of 0:04, 0:01 left; 1 sent";
        QTest::newRow("gap cut to a second") << 1.0 << int64_t(500) << "Played 0:00 of 0:01, 0:01 left; 1 sent";
    }
    void replayProgress()
    {
        QFETCH(double, maxGap);
        QFETCH(int64_t, nowMs);
        QTemporaryDir dir;
        const QString drive = dir.filePath(QStringLiteral("gap.log"));
        QVERIFY(WriteFile(drive, "(100.000000) can0 321#AA\n(104.000000) can0 322#BB\n"));
        int64_t now = 0;
        QList<QByteArray> lines;
        TReplayDialog d([&lines](const QByteArray &l) { lines << l; return true; });
        d.Now = [&now] { return now; };
        d.SetLink(true, 115200, false);
        d.FileEdit()->setText(drive);
        d.MaxGapBox()->setValue(maxGap);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const int width = d.width();
        d.StartClick();
        QCOMPARE(lines, QList<QByteArray>{"t3211AA"});
        now = nowMs * 1000;
        QFETCH(QString, progress);
        QTRY_VERIFY2(d.ProgressText().startsWith(progress), qPrintable(d.ProgressText()));
        QCOMPARE(d.width(), width);
        d.StopClick();
    }

    // A list file: read whole or not at all; rows naming a database message need a database.
    void opensAndSavesLists()
    {
        QTemporaryDir dir;
        TTransmitWindow w([](const QByteArray &) { return true; });
        w.Runner()->SetRows({Row("123", 10, 0), Row("456", 0, 3)});
        w.Model()->Reset();
        QString error;
        const QString path = dir.filePath(QStringLiteral("list.json"));
        QVERIFY2(w.SaveList(path, &error), qPrintable(error));
        TTransmitWindow other([](const QByteArray &) { return true; });
        QVERIFY2(other.OpenList(path, &error), qPrintable(error));
        QCOMPARE(other.Runner()->Rows(), w.Runner()->Rows());
        QCOMPARE(other.Model()->rowCount(), 2);

        const QString named = dir.filePath(QStringLiteral("named.json"));
        QVERIFY(WriteFile(named, R"({"format": "k3316-transmit", "version": 1, "messages": [
            {"enabled": true, "message": "Heartbeat", "count": 0}]})"));
        TSignalDatabase none;
        other.SetDatabase(&none);
        QVERIFY(!other.OpenList(named, &error));
        QCOMPARE(error, QStringLiteral("The list was not opened:\nmessages[0].message: names a message of a database: "
                                       "load its DBC file with Database... in the Frame Monitor (F6)"));
        TSignalDatabase db;
        QCOMPARE(db.Load({m_settings.filePath(QStringLiteral("car.dbc"))}), QStringList());
        other.SetDatabase(&db);
        QVERIFY2(other.OpenList(named, &error), qPrintable(error));
        QCOMPARE(other.Runner()->Rows()[0].Id, QStringLiteral("123"));
        QCOMPARE(other.Model()->rowCount(), 1);
    }

    // Add from Database...: the row takes the message's identifier, format, DLC and cycle time,
    // the bytes the signal values make, and the counter signal's bits.
    void addsARowFromADatabaseMessage_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("values"); // signal=text
        QTest::addColumn<QString>("counter");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("counterCell");
        QTest::newRow("cycle time, counter") << "Heartbeat" << QStringList{"State=165", "Alive=3"} << "Alive" << "123"
                                             << "A503" << 100 << "8,4,1";
        QTest::newRow("extended, on demand") << "Speed" << QStringList{"Velocity=12.34", "Gear=5"} << "" << "00000246"
                                             << "D2045000" << 0 << "";
        QTest::newRow("no values") << "Speed" << QStringList{} << "" << "00000246" << "00000000" << 0 << "";
    }
    void addsARowFromADatabaseMessage()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, values);
        QFETCH(QString, counter);
        QFETCH(QString, id);
        QFETCH(QString, data);
        QFETCH(int, period);
        QFETCH(QString, counterCell);
        MessageBoxRecorder boxes;
        TMainForm f;
        QVERIFY(f.SignalDatabase()->Load({m_settings.filePath(QStringLiteral("car.dbc"))}).isEmpty());
        f.TransmitList1->trigger(); // the window reads the main window's databases
        TTransmitWindow *w = f.TransmitWindow();
        QHash<QString, double> typed;
        w->RunMessageDialog = [&](TSignalComposerDialog &d) {
            if (!d.SelectMessage(message))
                return false;
            for (const QString &v : values) {
                if (!d.SetValue(v.section('=', 0, 0), v.section('=', 1)))
                    return false;
                typed.insert(v.section('=', 0, 0), v.section('=', 1).toDouble());
            }
            const int at = d.CounterComboBox->findData(counter);
            d.CounterComboBox->setCurrentIndex(at);
            return at >= 0;
        };
        w->AddFromDatabaseClick();
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join('|')));
        QCOMPARE(w->Model()->rowCount(), 1);
        const TTransmitRow r = w->Runner()->Rows()[0];
        QCOMPARE(r.Name, message);
        QCOMPARE(r.Id, id);
        QCOMPARE(r.Extended, id.size() == 8);
        QCOMPARE(r.Dlc, int(data.size() / 2));
        QCOMPARE(TransmitRows::DataText(r.Data), data);
        QByteArray encoded;
        QString error;
        QVERIFY(EncodeSignals(*f.SignalDatabase()->Database().FindByName(message), typed, encoded, error));
        QCOMPARE(r.Data, encoded);
        QCOMPARE(r.PeriodMs, period);
        QCOMPARE(w->Model()->data(w->Model()->index(0, TTransmitTableModel::ColCounter)).toString(), counterCell);
        QCOMPARE(w->Table()->currentIndex().row(), 0);

        // Saved by name and values, it opens again alike; once the data is edited, by its fields.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("db.json"));
        QVERIFY2(w->SaveList(path, &error), qPrintable(error));
        QVERIFY2(w->OpenList(path, &error), qPrintable(error));
        QCOMPARE(w->Runner()->Rows()[0], r);
        if (!counter.isEmpty()) { // a new step keeps the signal; the bits are the database's
            QVERIFY(w->Model()->setData(w->Model()->index(0, TTransmitTableModel::ColCounter), QStringLiteral("8,4,2")));
            QCOMPARE(w->Runner()->Rows()[0].Counter->Signal, counter);
            QCOMPARE(w->Runner()->Rows()[0].Message, message);
        }
        QVERIFY(w->Model()->setData(w->Model()->index(0, TTransmitTableModel::ColData), QStringLiteral("01")));
        QVERIFY(w->Runner()->Rows()[0].Message.isEmpty());
        TTransmitWindow plain([](const QByteArray &) { return true; }); // no database
        QVERIFY2(w->SaveList(path, &error) && plain.OpenList(path, &error), qPrintable(error));
        QCOMPARE(plain.Runner()->Rows()[0].Data, QByteArray("\x01", 1));
        QCOMPARE(plain.Runner()->Rows()[0].Id, id);
    }

    void addFromDatabaseNeedsADatabase()
    {
        MessageBoxRecorder boxes;
        TSignalDatabase none;
        TTransmitWindow w([](const QByteArray &) { return true; });
        w.SetDatabase(&none);
        bool shown = false;
        w.RunMessageDialog = [&shown](TSignalComposerDialog &) { return shown = true; };
        w.AddFromDatabaseClick();
        QVERIFY(!shown);
        QCOMPARE(boxes.texts(), QStringList{"No CAN database is loaded. Load a DBC file with Database... in the Frame Monitor (F6)."});
        QCOMPARE(w.Model()->rowCount(), 0);
    }

    void everyControlIsReachableAndNamed()
    {
        TTransmitWindow w([](const QByteArray &) { return true; });
        QCOMPARE(w.Table()->accessibleName(), QStringLiteral("Transmit rows"));
        for (QPushButton *b : w.findChildren<QPushButton *>()) {
            QVERIFY2(b->focusPolicy() & Qt::TabFocus, qPrintable(b->objectName()));
            QVERIFY2(b->text().contains('&'), qPrintable(b->objectName()));
        }
        QVERIFY(w.Table()->focusPolicy() & Qt::TabFocus);
        QVERIFY(!w.Table()->tabKeyNavigation()); // Tab leaves the table
        for (int c = 0; c < TTransmitTableModel::ColumnCount; ++c)
            QVERIFY(!w.Model()->headerData(c, Qt::Horizontal).toString().isEmpty());

        auto labelledFields = [](QWidget *dialog, std::initializer_list<QWidget *> fields) {
            for (QWidget *field : fields) {
                bool labelled = false;
                for (QLabel *label : dialog->findChildren<QLabel *>())
                    labelled = labelled || label->buddy() == field;
                QVERIFY2(labelled, qPrintable(field->objectName()));
                QVERIFY(field->focusPolicy() & Qt::TabFocus);
            }
        };
        TReplayDialog d([](const QByteArray &) { return true; });
        labelledFields(&d, {d.FileEdit(), d.SpeedBox(), d.LoopBox(), d.IdsEdit(), d.MaxGapBox()});
        for (QWidget *field : std::initializer_list<QWidget *>{d.FileEdit(), d.SpeedBox(), d.LoopBox(), d.IdsEdit()})
            QVERIFY(!field->accessibleName().isEmpty());

        // Add from Database...: the composer's dialog with a counter choice, each field labelled.
        TSignalDatabase db;
        QVERIFY(db.Load({m_settings.filePath(QStringLiteral("car.dbc"))}).isEmpty());
        w.SetDatabase(&db);
        bool shown = false;
        w.RunMessageDialog = [&](TSignalComposerDialog &dialog) {
            shown = true;
            labelledFields(&dialog, {dialog.MessageComboBox, dialog.CounterComboBox, dialog.ValuesTable});
            dialog.show();
            dialog.activateWindow();
            [&] { QVERIFY(QTest::qWaitForWindowActive(&dialog)); }();
            dialog.MessageComboBox->setFocus();
            QTest::keyClick(dialog.MessageComboBox, Qt::Key_Down); // Heartbeat to Speed
            [&] {
                QVERIFY(dialog.Message());
                QCOMPARE(dialog.Message()->Name, QStringLiteral("Speed"));
                QCOMPARE(dialog.CounterComboBox->count(), 2); // none, Velocity: Gear is big-endian
            }();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            [&] { QCOMPARE(QApplication::focusWidget(), dialog.CounterComboBox); }();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            [&] { QCOMPARE(QApplication::focusWidget(), dialog.ValuesTable); }();
            return false; // cancelled
        };
        w.findChild<QPushButton *>(QStringLiteral("AddFromDatabaseButton"))->click();
        QVERIFY(shown);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(w.Model()->rowCount(), 0);
    }

    // Against the virtual module: a list run to its counts, then a log replayed, each line as sent.
    void runsAndReplaysThroughTheModule()
    {
        MessageBoxRecorder boxes;
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sim.log"));
        const QString drive = dir.filePath(QStringLiteral("drive.log"));
        QVERIFY(WriteFile(drive, "(100.000000) can0 321#AA\n(100.020000) can0 100##0112233\n(100.030000) can0 00000654#R2\n"));
        SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--checksum"),
                        QStringLiteral("--log"), log});
        QVERIFY(sim.isRunning());
        TMainForm f;
        Steps steps;
        TTransmitRow counted = Row("123", 10, 3);
        counted.Counter = TTransmitCounter{8, 4, 1};
        steps.then([&] {
                 f.TransmitList1->trigger();
                 TTransmitWindow *w = f.TransmitWindow();
                 w->Runner()->SetRows({counted, Row("456", 15, 2)});
                 w->Model()->Reset();
                 w->StartClick();
             })
            .waitUntil([&] { return !f.TransmitWindow()->Runner()->Running(); }, "the counts done")
            .then([&] {
                f.ReplayLog1->trigger();
                TReplayDialog *d = f.ReplayDialog();
                d->FileEdit()->setText(drive);
                d->SpeedBox()->setValue(2);
                d->StartClick();
            })
            .waitUntil([&] { return f.ReplayDialog()->Runner() && !f.ReplayDialog()->Runner()->Running(); }, "the replay done")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectInOperationMode(f, sim.path(), [&] { steps.start(); });
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join('|')));
        QTRY_COMPARE(ReceivedBySim(log, false).size(), 7);
        const QStringList got = ReceivedBySim(log, false);
        QCOMPARE(got.filter(QStringLiteral("t123")), (QStringList{"t123211AB21", "t123211AC22", "t123211AD23"}));
        QCOMPARE(got.filter(QStringLiteral("t456")), (QStringList{"t456211AB2A", "t456211AB2A"}));
        QCOMPARE(got.mid(5), (QStringList{"t3211AABD", "E00000654206"}));
        QVERIFY(f.ReplayDialog()->ProgressText().contains(QStringLiteral("2 sent, 1 skipped")));
        QVERIFY(!f.TransmitWindow()->findChild<QPushButton *>(QStringLiteral("StartButton"))->isEnabled());
    }

private:
    QTemporaryDir m_settings;
};

QTEST_MAIN(TestTransmitWindow)
#include "tst_transmitwindow.moc"
