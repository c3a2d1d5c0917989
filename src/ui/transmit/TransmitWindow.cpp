#include "ui/transmit/TransmitWindow.h"

#include "common/InputFile.h"
#include "common/SafeSave.h"
#include "protocol/ModuleSession.h"
#include "transmit/TransmitDbc.h"
#include "transmit/TransmitList.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/signals/SignalComposer.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/transmit/TransmitTableModel.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

TTransmitWindow::TTransmitWindow(TLineSender send, QWidget *parent)
    : QWidget(parent, Qt::Window), m_runner(SteadyClockUs, std::move(send))
{
    setObjectName(QStringLiteral("TransmitWindow"));
    setWindowTitle(QStringLiteral("Transmit List"));
    setFont(StandardFont());
    resize(820, 320);

    m_model = new TTransmitTableModel(&m_runner, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("TransmitTable"));
    m_table->setAccessibleName(QStringLiteral("Transmit rows"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->setTabKeyNavigation(false); // Tab leaves the table for the buttons
    m_table->verticalHeader()->setDefaultSectionSize(20);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // Each column as wide as the widest value it can hold (or its title), before any row is there.
    const char *const widest[TTransmitTableModel::ColumnCount] = {
        "", "Heartbeat 00", "1FFFFFFF", "", "", "8", "FFFFFFFFFFFFFFFF", "1000000", "1000000", "56,8,255",
        "1000000", "10000.0"};
    const QFontMetrics metrics(m_table->font());
    for (int c = 0; c < TTransmitTableModel::ColumnCount; ++c)
        m_table->setColumnWidth(c, std::max(m_table->horizontalHeader()->sectionSizeHint(c),
                                            metrics.horizontalAdvance(QLatin1String(widest[c])) + 12));

    auto button = [this](const char *name, const QString &text, const QString &tip, void (TTransmitWindow::*slot)()) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_add = button("AddButton", QStringLiteral("&Add"), QStringLiteral("Add a row"), &TTransmitWindow::AddClick);
    m_addFromDatabase = button("AddFromDatabaseButton", QStringLiteral("Add from Data&base..."),
                               QStringLiteral("Add a row for a message of the loaded CAN databases, its data from "
                                              "signal values"),
                               &TTransmitWindow::AddFromDatabaseClick);
    m_duplicate = button("DuplicateButton", QStringLiteral("&Duplicate"), QStringLiteral("Copy the selected row below it"),
                         &TTransmitWindow::DuplicateClick);
    m_remove = button("RemoveButton", QStringLiteral("&Remove"), QStringLiteral("Remove the selected row"),
                      &TTransmitWindow::RemoveClick);
    m_send = button("SendRowButton", QStringLiteral("Se&nd"), QStringLiteral("Send the selected row once, now"),
                    &TTransmitWindow::SendRowClick);
    m_start = button("StartButton", QStringLiteral("&Start"), QStringLiteral("Run every enabled row"),
                     &TTransmitWindow::StartClick);
    m_stop = button("StopButton", QStringLiteral("S&top"), QStringLiteral("Stop the run; the rows stay"),
                    &TTransmitWindow::StopClick);
    m_open = button("OpenButton", QStringLiteral("&Open..."), QStringLiteral("Open a transmit list (JSON)"),
                    &TTransmitWindow::OpenClick);
    m_save = button("SaveButton", QStringLiteral("Sa&ve As..."), QStringLiteral("Save the list as JSON"),
                    &TTransmitWindow::SaveClick);

    m_load = new QLabel(this);
    m_load->setObjectName(QStringLiteral("LoadLabel"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    // A screen reader reads the label's own text: an accessible name would hide it for good.

    auto *rowButtons = new QHBoxLayout;
    for (QPushButton *b : {m_add, m_addFromDatabase, m_duplicate, m_remove, m_send})
        rowButtons->addWidget(b);
    rowButtons->addStretch();
    for (QPushButton *b : {m_open, m_save})
        rowButtons->addWidget(b);
    auto *runRow = new QHBoxLayout;
    runRow->addWidget(m_start);
    runRow->addWidget(m_stop);
    runRow->addWidget(m_load, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(rowButtons);
    layout->addLayout(runRow);
    layout->addWidget(m_status);

    connect(m_model, &TTransmitTableModel::Refused, this,
            [](const QString &message) { ShowMessageBox(TMsgType::Error, message); });
    connect(m_model, &QAbstractItemModel::dataChanged, this, &TTransmitWindow::UpdateLoad);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TTransmitWindow::UpdateLoad);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TTransmitWindow::UpdateLoad);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TTransmitWindow::UpdateLoad);
    connect(&m_runner, &TTransmitRunner::RunningChanged, this, [this](bool running) {
        if (running) {
            m_ticks = 0;
            m_runner.SampleRates();
            m_refresh.start();
            m_model->CountsChanged(); // a run counts from nothing
        } else {
            m_refresh.stop();
            m_model->CountsChanged();
        }
        UpdateButtons();
    });
    connect(&m_runner, &TTransmitRunner::SendFailed, this, [this](int row) {
        // A write that found the device gone ended the connection: the main window says so.
        if (!m_canSend)
            return;
        SetStatus(QStringLiteral("Stopped: row %1 did not go out").arg(row + 1));
        ShowMessageBox(TMsgType::Error, ModuleTexts::SendFailed());
    });
    // Figures refresh twice a second while a run goes on, and not at all otherwise.
    m_refresh.setInterval(500);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (++m_ticks % 2 == 0)
            m_runner.SampleRates();
        m_model->CountsChanged();
    });
    ChooseFile = [this](bool save) {
        const QString filter = QStringLiteral("Transmit lists (*.json);;All files (*)");
        return save ? QFileDialog::getSaveFileName(this, QStringLiteral("Save Transmit List"), QString(), filter)
                    : QFileDialog::getOpenFileName(this, QStringLiteral("Open Transmit List"), QString(), filter);
    };
    RunMessageDialog = [](TSignalComposerDialog &dialog) { return dialog.exec() == QDialog::Accepted; };
    UpdateLoad();
    UpdateButtons();
    SetStatus(NotConnectedText());
}

QString TTransmitWindow::NotConnectedText()
{
    return QStringLiteral("Runs while connected in operation mode or the pair-connection test.");
}

void TTransmitWindow::SetLink(bool canSend, int32_t baud, bool withChecksum)
{
    const bool wasRunning = m_runner.Running();
    const bool couldSend = m_canSend;
    m_canSend = canSend;
    m_baud = baud;
    m_withChecksum = withChecksum;
    if (!canSend && wasRunning) {
        m_runner.Stop();
        SetStatus(QStringLiteral("Stopped: the connection ended. The rows are kept."));
    } else if (canSend && !couldSend) {
        // What was said about the last connection is over.
        SetStatus(QStringLiteral("Connected: Start runs every enabled row with a period."));
    } else if (!canSend && couldSend) {
        SetStatus(NotConnectedText());
    }
    UpdateLoad();
    UpdateButtons();
}

int TTransmitWindow::CurrentRow() const
{
    const QModelIndex i = m_table->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TTransmitWindow::UpdateButtons()
{
    const bool rows = m_model->rowCount() > 0;
    m_duplicate->setEnabled(rows);
    m_remove->setEnabled(rows);
    m_send->setEnabled(rows && m_canSend);
    m_start->setEnabled(rows && m_canSend && !m_runner.Running());
    m_stop->setEnabled(m_runner.Running());
    m_open->setEnabled(!m_runner.Running());
}

void TTransmitWindow::UpdateLoad()
{
    m_load->setText(LoadText());
    m_load->setAccessibleName(m_load->text());
    UpdateButtons();
}

QString TTransmitWindow::LoadText() const
{
    return TransmitRows::LoadText(TransmitRows::LoadBytesPerSecond(m_runner.Rows(), m_withChecksum),
                                  TransmitRows::LineCapacityBytesPerSecond(m_baud));
}

QString TTransmitWindow::StatusText() const
{
    return m_status->text();
}

void TTransmitWindow::SetStatus(const QString &text)
{
    m_status->setText(text);
    // Said to a screen reader as it changes, not only when the label is visited.
    QAccessibleEvent changed(m_status, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void TTransmitWindow::AddClick()
{
    m_model->AddRow();
    m_table->setCurrentIndex(m_model->index(m_model->rowCount() - 1, TTransmitTableModel::ColId));
}

const TDbcDatabase *TTransmitWindow::LoadedDatabase() const
{
    if (!m_database)
        return nullptr;
    m_database->Restore(); // the files of the last run, when the Frame Monitor has not loaded them yet
    return m_database->IsEmpty() ? nullptr : &m_database->Database();
}

void TTransmitWindow::AddFromDatabaseClick()
{
    const TDbcDatabase *database = LoadedDatabase();
    if (!database) {
        ShowMessageBox(TMsgType::Information, QStringLiteral("No CAN database is loaded. ") + TSignalDatabase::HowToLoad());
        return;
    }
    TSignalComposerDialog dialog(*database, this);
    dialog.setWindowTitle(QStringLiteral("Add from Database"));
    dialog.OfferCounterSignal();
    dialog.Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Add Row"));
    if (!RunMessageDialog(dialog) || !dialog.Message())
        return;
    TTransmitRow row;
    row.Name = dialog.Message()->Name;
    row.Message = dialog.Message()->Name;
    row.Signals = dialog.Values();
    row.Data = dialog.Data();
    row.PeriodMs = -1; // the message's GenMsgCycleTime, or on demand
    if (const QString counter = dialog.CounterSignal(); !counter.isEmpty()) {
        row.Counter = TTransmitCounter();
        row.Counter->Signal = counter;
    }
    // The same filling as a list file's row gets, so a saved row opens again alike.
    QList<TTransmitRow> rows{row};
    QStringList problems;
    if (!TransmitDbc::ResolveRows(rows, database, problems)) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("The row was not added:\n") + problems.join(QLatin1Char('\n')));
        return;
    }
    m_model->AddRow(rows[0]);
    m_table->setCurrentIndex(m_model->index(m_model->rowCount() - 1, TTransmitTableModel::ColData));
}

void TTransmitWindow::DuplicateClick()
{
    const int row = CurrentRow();
    if (row < 0)
        return;
    m_model->DuplicateRow(row);
    m_table->setCurrentIndex(m_model->index(row + 1, TTransmitTableModel::ColId));
}

void TTransmitWindow::RemoveClick()
{
    const int row = CurrentRow();
    if (row < 0)
        return;
    m_model->RemoveRow(row);
    if (m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(std::min(row, m_model->rowCount() - 1), TTransmitTableModel::ColId));
}

void TTransmitWindow::SendRowClick()
{
    const int row = CurrentRow();
    if (row < 0 || !m_canSend)
        return;
    if (m_runner.SendNow(row))
        m_model->CountsChanged();
}

void TTransmitWindow::StartClick()
{
    if (!m_canSend) {
        ShowMessageBox(TMsgType::Warning, QStringLiteral("The list runs only while connected in operation mode or "
                                                         "the pair-connection test."));
        return;
    }
    const double load = TransmitRows::LoadBytesPerSecond(m_runner.Rows(), m_withChecksum);
    const double capacity = TransmitRows::LineCapacityBytesPerSecond(m_baud);
    if (load > capacity &&
        ShowMessageBox(TMsgType::Confirm,
                       QStringLiteral("The enabled rows ask for more than the line carries (%1, %2 %).\r\n"
                                      "Rows will fall behind their periods. Start anyway ?")
                           .arg(TransmitRows::LoadText(load, capacity))
                           .arg(qRound(100 * load / capacity)),
                       TMsgButtons::YesNo) != TMsgAnswer::Yes)
        return;
    m_runner.Start();
    SetStatus(m_runner.Running() ? QStringLiteral("Running.")
                                 : QStringLiteral("Nothing to run: no enabled row has a period."));
}

void TTransmitWindow::StopClick()
{
    m_runner.Stop();
    SetStatus(QStringLiteral("Stopped."));
}

bool TTransmitWindow::OpenList(const QString &path, QString *error)
{
    QByteArray json;
    QString problem;
    if (ReadInputFile(path, TInputKind::TransmitList, json, problem) != TInputResult::Read) {
        *error = QStringLiteral("Cannot open the list: %1").arg(problem);
        return false;
    }
    QList<TTransmitRow> rows;
    QStringList problems;
    if (!TransmitLists::ParseTransmitList(json, rows, problems) ||
        !TransmitDbc::ResolveRows(rows, LoadedDatabase(), problems,
                                   QStringLiteral("load its DBC file with Database... in the Frame Monitor (F6)"))) {
        *error = QStringLiteral("The list was not opened:\n") + problems.join(QLatin1Char('\n'));
        return false;
    }
    m_runner.SetRows(rows);
    m_model->Reset();
    return true;
}

bool TTransmitWindow::SaveList(const QString &path, QString *error)
{
    QString problem;
    if (!SaveFileAtomically(path, TransmitLists::WriteTransmitList(m_runner.Rows()), &problem)) {
        *error = problem;
        return false;
    }
    return true;
}

void TTransmitWindow::OpenClick()
{
    const QString path = ChooseFile(false);
    QString error;
    if (!path.isEmpty() && !OpenList(path, &error))
        ShowMessageBox(TMsgType::Error, error);
}

void TTransmitWindow::SaveClick()
{
    const QString path = ChooseFile(true);
    QString error;
    if (!path.isEmpty() && !SaveList(path, &error))
        ShowMessageBox(TMsgType::Error, error);
}
