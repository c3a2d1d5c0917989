// Renders the main window and the dialogs in their typical states to PNG files.
// Usage: k3316-screenshots OUTPUT_DIR

#include "support/ConfiguredForm.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/dialogs/ManualWindow.h"
#include "ui/widgets/CopyableTableView.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/main/MainUnit.h"
#include "ui/main/ReceiveModel.h"
#include "ui/main/SettingsDlg.h"
#include "transmit/TransmitList.h"
#include "ui/plot/PlotWindow.h"
#include "ui/transmit/ReplayDialog.h"
#include "ui/signals/SignalComposer.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/framemonitor/SignalsPane.h"
#include "ui/transmit/TransmitTableModel.h"
#include "ui/transmit/TransmitWindow.h"
#include "ui/widgets/WholePasteLineEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QTableView>
#include <QLineEdit>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cmath>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

namespace {

QString g_out;

bool g_smallest = false;

void save(QWidget *w, const QString &name)
{
    const QString path = QDir(g_out).filePath(name + QStringLiteral(".png"));
    w->grab().save(path);
    std::printf("%s\n", qPrintable(path));
    // K3316_SCREENSHOTS_SMALLEST: each window that can be resized once more at the smallest size
    // it allows, to find clipped text.
    if (!g_smallest || !w->isWindow() || w->minimumSize() == w->maximumSize() || qobject_cast<QMenu *>(w))
        return;
    const QSize shown = w->size();
    w->resize(w->minimumSizeHint().expandedTo(w->minimumSize()));
    QApplication::processEvents();
    const QString smallest = QDir(g_out).filePath(name + QStringLiteral("-smallest.png"));
    w->grab().save(smallest);
    std::printf("%s\n", qPrintable(smallest));
    w->resize(shown);
    QApplication::processEvents();
}

// 2.0B at 250K with pair connection: every control of the Settings page has something to show.
const QByteArray kShownP1 = "!P" "1" "5" "0" "00000123" "1FFFFFFF" "00000456" "1" "1" "1" "1" "\r";

// A database for the pictures: the identifiers of the traffic above, named.
const char kDbc[] = R"(VERSION ""
BU_: ECU
BO_ 291 EngineData: 8 ECU
 SG_ EngineSpeed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Vector__XXX
 SG_ CoolantTemp : 16|8@1+ (1,-40) [-40|215] "degC" Vector__XXX
 SG_ Gear : 24|4@1+ (1,0) [0|8] "" Vector__XXX
 SG_ Throttle : 32|8@1+ (0.4,0) [0|100] "%" Vector__XXX
BO_ 2024 DiagResponse: 8 ECU
 SG_ Length : 0|8@1+ (1,0) [0|7] "" Vector__XXX
CM_ SG_ 291 EngineSpeed "Crankshaft speed";
VAL_ 291 Gear 0 "neutral" 1 "first" 2 "second" 3 "third" ;
)";

// An EngineData frame with these values.
QByteArray engineFrame(double rpm, int temp, int gear, double throttle)
{
    const int raw = int(rpm / 0.25);
    const int thr = int(throttle / 0.4);
    const char bytes[8] = {char(raw & 0xFF), char(raw >> 8), char(temp + 40), char(gear), char(thr), 0, 0, 0};
    return "t1238" + QByteArray(bytes, 8).toHex().toUpper() + "\r";
}

// A diagnostic conversation read as ISO-TP and UDS: the Decoded column, then the Transfers view.
void shootProtocols(TMainForm &form)
{
    TFrameMonitor *monitor = form.FrameMonitorWindow();
    TFrameStore *store = form.FrameStore();
    store->EndPendingLine();
    store->Clear();
    monitor->Frames()->StoreCleared();
    monitor->ProtocolComboBox->setCurrentIndex(1);
    const char *const lines[] = {"t7E080322F190AAAAAAAA", "t7E88101462F190575657", "t7E083000000000000000",
                                 "t7E88215A5A5A314A5A58", "t7E882257303030303031", "t7E080319028FAAAAAAAA",
                                 "t7E88037F1978AAAAAAAA", "t7E88075902FF03010009",
                                 "t7DF802010CAAAAAAAAAA", "t7E880441 0C1AF8AAAAAA"};
    int64_t t = QDateTime::currentMSecsSinceEpoch() * 1000;
    for (const char *line : lines) {
        QByteArray text(line);
        text.replace(' ', "");
        store->Append(text + "\r", t += 4000);
    }
    monitor->StoreGrew();
    QTest::qWait(300);
    monitor->resize(1040, 420);
    monitor->ViewComboBox->setCurrentIndex(0);
    monitor->FramesView->scrollToBottom();
    save(monitor, QStringLiteral("frame-monitor-protocol"));
    monitor->ViewComboBox->setCurrentIndex(2);
    save(monitor, QStringLiteral("frame-monitor-transfers"));
    monitor->ViewComboBox->setCurrentIndex(0);
    monitor->ProtocolComboBox->setCurrentIndex(0);
}

void shootSignals(TMainForm &form)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("engine.dbc"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(kDbc) < 0)
        return;
    f.close();
    TFrameMonitor *monitor = form.FrameMonitorWindow();
    monitor->ApplyFilter();
    monitor->IdEdit->clear();
    monitor->KindComboBox->setCurrentIndex(0);
    monitor->ApplyFilter();
    monitor->LoadDatabaseFiles({path});
    TFrameStore *store = form.FrameStore();
    const int64_t t0 = QDateTime::currentMSecsSinceEpoch() * 1000 + 1000000; // after the traffic above
    for (int i = 0; i < 2000; ++i) {
        const double t = i * 0.01;
        store->Append(engineFrame(2000 + 1500 * std::sin(t / 3) + 40 * std::sin(t * 7), 80 + i / 200, 1 + (i / 500) % 3,
                                  50 + 45 * std::sin(t / 2)), t0 + i * 10000);
    }
    monitor->StoreGrew();
    QTest::qWait(300);
    monitor->resize(1040, 560);
    const int last = monitor->Frames()->rowCount() - 1;
    monitor->FramesView->selectRow(last);
    monitor->FramesView->scrollToBottom();
    monitor->UpdateCounts();
    save(monitor, QStringLiteral("frame-monitor-database"));
    monitor->ViewComboBox->setCurrentIndex(1);
    monitor->SummaryView->selectRow(2); // EngineData
    save(monitor, QStringLiteral("frame-monitor-database-by-identifier"));
    monitor->ViewComboBox->setCurrentIndex(0);
    monitor->FramesView->selectRow(last);
    TSignalsPane *pane = monitor->Signals();
    pane->SignalsView->selectRow(0);
    pane->SignalsView->selectionModel()->select(pane->Model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    pane->PlotButton->click();
    TPlotWindow *plot = monitor->Plot();
    plot->CatchUp();
    plot->ShowAll();
    QTest::qWait(200);
    save(plot, QStringLiteral("plot"));
    TSignalComposerDialog composer(form.SignalDatabase()->Database(), &form);
    composer.SelectMessage(QStringLiteral("EngineData"));
    composer.SetValue(QStringLiteral("EngineSpeed"), QStringLiteral("1830"));
    composer.SetValue(QStringLiteral("Gear"), QStringLiteral("third"));
    composer.show();
    save(&composer, QStringLiteral("compose-from-database"));
    form.TransmitList1->trigger();
    TTransmitWindow *list = form.TransmitWindow();
    list->RunMessageDialog = [](TSignalComposerDialog &dialog) {
        dialog.SelectMessage(QStringLiteral("EngineData"));
        dialog.SetValue(QStringLiteral("EngineSpeed"), QStringLiteral("1830"));
        dialog.SetValue(QStringLiteral("Gear"), QStringLiteral("third"));
        dialog.CounterComboBox->setCurrentIndex(dialog.CounterComboBox->findData(QStringLiteral("Gear")));
        dialog.show();
        save(&dialog, QStringLiteral("transmit-add-from-database"));
        return true;
    };
    list->AddFromDatabaseClick();
    save(list, QStringLiteral("transmit-list-database"));
    list->Runner()->SetRows({});
    list->Model()->Reset();
    list->close();
    form.SignalDatabase()->RemoveAll();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setFont(StandardFont()); // as the program starts
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    g_smallest = qEnvironmentVariableIsSet("K3316_SCREENSHOTS_SMALLEST");
    QDir().mkpath(g_out);
    MessageBoxRecorder boxes; // no box may block a screenshot run
    QTemporaryDir settings; // the database loaded for the pictures is not remembered for the user
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    TMainForm form;
    form.show();
    save(&form, QStringLiteral("main-not-connected"));
    form.PageControl1->setCurrentIndex(0);
    save(&form, QStringLiteral("main-settings-not-connected"));

    form.PageControl1->setCurrentIndex(1);
    {
        TSettingsForm dialog(&form);
        dialog.show();
        save(&dialog, QStringLiteral("settings-dialog"));
    }

    FakeModule module;
    module.reply = ModuleScript::Configuration().with("#P1", kShownP1);
    {
        TSettingsForm dialog(&form); // with the path of the demo module that `make run` starts
        dialog.PortComboBox->setEditText(QStringLiteral("/tmp/ttyK3316-demo"));
        dialog.show();
        save(&dialog, QStringLiteral("settings-dialog-path"));
    }
    AnswerSettingsDialog({module.path()});
    form.ConnectToolButtonClick(nullptr);
    save(&form, QStringLiteral("main-configuration"));
    form.F1->popup(form.mapToGlobal(QPoint(0, 0)));
    save(form.F1, QStringLiteral("file-menu"));
    form.F1->hide();
    {
        TAboutInfo info{form.UtilityVersion, form.FirmwareVersion, form.Connected, form.ModuleMode};
        TAboutBoxForm about(&form, info);
        about.show();
        save(&about, QStringLiteral("about"));
    }
    ShowManual(&form);
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("ManualWindow") && w->isVisible()) {
            save(w, QStringLiteral("manual"));
            w->close();
        }
    form.DisconnectToolButtonClick(nullptr);

    module.reply = ModuleScript::Operation();
    Steps steps;
    WaitForOperationMode(steps, form)
        .then([&] { form.SendEdit->setText(QStringLiteral("t123211AB")); });
    // Traffic from the bus, one line at a time as a node would send it.
    const char *const traffic[] = {"t123211AB", "t7FF0", "e1234567884A5FF00112233", "T2A03", "t0013C0FFEE",
                                   "e0000ABCD2BEEF", "t10080102030405060708", "E1FFFFFFF0", "t5551AA"};
    for (const char *line : traffic)
        steps.then([&module, line] { module.send(QByteArray(line) + "\r"); }).pause(30);
    steps.waitUntil([&] { return form.ReceiveItems()->rowCount() >= 9; }, QStringLiteral("lines shown"))
        .then([&] {
            save(&form, QStringLiteral("main-operation"));
            form.FrameMonitor1->trigger();
            // Several lines in one read, one across two reads, a reply and one still coming.
            module.send("t1230\rt12381122334455667788\r?\rt7E");
        })
        .pause(30)
        .then([&module] { module.send("83010203\rt1230\re18DAF1103021003\rt12"); })
        .waitUntil([&] { return form.FrameMonitorWindow()->Frames()->rowCount() >= 16; }, QStringLiteral("monitor rows"))
        .then([&] {
            TFrameMonitor *monitor = form.FrameMonitorWindow();
            monitor->resize(1040, 420);
            monitor->FramesView->selectRow(9);
            monitor->UpdateCounts();
            save(monitor, QStringLiteral("frame-monitor"));
            monitor->ViewComboBox->setCurrentIndex(1);
            save(monitor, QStringLiteral("frame-monitor-by-identifier"));
            monitor->ViewComboBox->setCurrentIndex(0);
            monitor->KindComboBox->setCurrentIndex(2);
            monitor->IdEdit->setText(QStringLiteral("100-1FF, 7E8"));
            monitor->ApplyFilter();
            monitor->UpdateCounts();
            save(monitor, QStringLiteral("frame-monitor-filtered"));
            monitor->KindComboBox->setCurrentIndex(0);
            monitor->IdEdit->clear();
            monitor->ApplyFilter();
            shootProtocols(form);
            shootSignals(form);
            monitor->close();

            form.TransmitList1->trigger();
            TTransmitWindow *list = form.TransmitWindow();
            QList<TTransmitRow> rows;
            QStringList problems;
            TransmitLists::ParseTransmitList(R"({"format": "k3316-transmit", "version": 1, "messages": [
                {"enabled": true, "name": "Heartbeat", "id": "123", "extended": false, "remote": false, "dlc": 2, "data": "11AB", "period_ms": 100, "count": 0, "counter": {"start_bit": 8, "length": 4, "step": 1}},
                {"enabled": true, "name": "Speed", "id": "18FEF100", "extended": true, "remote": false, "dlc": 8, "data": "00FF3C0000000000", "period_ms": 10, "count": 0},
                {"enabled": false, "name": "Diagnostics", "id": "7E0", "extended": false, "remote": false, "dlc": 8, "data": "0201000000000000", "period_ms": 0, "count": 0},
                {"enabled": true, "name": "Request", "id": "7FF", "extended": false, "remote": true, "dlc": 0, "data": "", "period_ms": 500, "count": 20}]})",
                                             rows, problems);
            list->Runner()->SetRows(rows);
            list->Model()->Reset();
            list->StartClick();
        })
        .pause(1300)
        .then([&] {
            TTransmitWindow *list = form.TransmitWindow();
            list->Table()->selectRow(1);
            save(list, QStringLiteral("transmit-list"));
            list->StopClick();
            list->close();
            QFile log(QDir(g_out).filePath(QStringLiteral("replay-example.log")));
            log.open(QIODevice::WriteOnly);
            for (int i = 0; i < 3000; ++i)
                log.write(QStringLiteral("(%1.%2) can0 %3#1122\n").arg(1765280000 + i / 100).arg((i % 100) * 10000, 6, 10, QLatin1Char('0')).arg(0x100 + i % 16, 3, 16, QLatin1Char('0')).toLatin1());
            log.close();
            form.ReplayLog1->trigger();
            TReplayDialog *replay = form.ReplayDialog();
            replay->FileEdit()->setText(log.fileName());
            replay->IdsEdit()->setText(QStringLiteral("100-10F"));
            replay->SpeedBox()->setValue(2);
            replay->StartClick();
        })
        .pause(2500)
        .then([&] {
            TReplayDialog *replay = form.ReplayDialog();
            replay->PauseClick();
            replay->resize(560, replay->sizeHint().height());
            save(replay, QStringLiteral("replay-log"));
            replay->StopClick();
            QFile::remove(QDir(g_out).filePath(QStringLiteral("replay-example.log")));
            form.DisconnectToolButtonClick(nullptr);
        });
    ConnectWithSteps(form, {module.path()}, steps);
    return steps.failure.isEmpty() ? 0 : 1;
}
