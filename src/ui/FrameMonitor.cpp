#include "ui/FrameMonitor.h"

#include "common/SafeSave.h"
#include "monitor/FrameStore.h"
#include "ui/CopyableTableView.h"
#include "ui/Dialogs.h"
#include "ui/FrameTableModel.h"
#include "ui/IdSummaryModel.h"
#include "ui/PlotWindow.h"
#include "ui/SignalDatabase.h"
#include "ui/SignalText.h"
#include "ui/SignalsPane.h"
#include "dbc/SignalCodec.h"
#include "monitor/SignalCsv.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QSplitter>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

struct KindChoice {
    const char *text;
    uint32_t mask;
};

constexpr uint32_t bit(TFrameKind kind)
{
    return 1u << unsigned(kind);
}

const KindChoice kindChoices[] = {
    {"All kinds", TFrameFilter::AllKinds},
    {"CAN frames (t, T, e, E)", bit(TFrameKind::StandardData) | bit(TFrameKind::StandardRemote)
                                    | bit(TFrameKind::ExtendedData) | bit(TFrameKind::ExtendedRemote)},
    {"t: standard data", bit(TFrameKind::StandardData)},
    {"T: standard remote", bit(TFrameKind::StandardRemote)},
    {"e: extended data", bit(TFrameKind::ExtendedData)},
    {"E: extended remote", bit(TFrameKind::ExtendedRemote)},
    {"reply (! or ?)", bit(TFrameKind::Reply)},
    {"other", bit(TFrameKind::Other)},
};

const char *const formatFilters[] = {"candump log (*.log)", "CSV (*.csv)", "Raw stream (*.raw)"};
const char *const signalsFilter = "CSV of the decoded signals (*.csv)";
const TLogFormat formats[] = {TLogFormat::Candump, TLogFormat::Csv, TLogFormat::Raw};

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TFrameMonitor::TFrameMonitor(TFrameStore *store, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(store), m_frames(new TFrameTableModel(store, this)),
      m_summary(new TIdSummaryModel(store, m_frames, this))
{
    setObjectName(QStringLiteral("FrameMonitor"));
    setWindowTitle(QStringLiteral("Frame Monitor"));
    Build();
    m_filterTimer.setSingleShot(true);
    m_filterTimer.setInterval(250);
    connect(&m_filterTimer, &QTimer::timeout, this, [this] { ApplyFilter(); });
    m_rateTimer.setInterval(500); // the counts line, live but not per batch
    connect(&m_rateTimer, &QTimer::timeout, this, &TFrameMonitor::UpdateCounts);
    connect(m_frames, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = FramesView->verticalScrollBar();
        m_following = bar->value() >= bar->maximum();
    });
    connect(m_frames, &TFrameTableModel::RowsShown, this, &TFrameMonitor::FollowNewRows);
    // Its own, empty, until the owner shares one: the remembered files are loaded once, there.
    m_database = new TSignalDatabase(this);
    connect(m_database, &TSignalDatabase::Changed, this, &TFrameMonitor::DatabaseChanged);
    DatabaseChanged();
    m_frames->StoreGrew();
    resize(1040, 520);
}

void TFrameMonitor::Build()
{
    auto *layout = new QVBoxLayout(this);

    auto *buttons = new QHBoxLayout;
    PauseButton = new QPushButton(QStringLiteral("&Pause"), this);
    PauseButton->setObjectName(QStringLiteral("PauseButton"));
    PauseButton->setCheckable(true);
    PauseButton->setToolTip(QStringLiteral("Hold the rows shown; every line is still recorded"));
    ClearButton = new QPushButton(QStringLiteral("&Clear"), this);
    ClearButton->setObjectName(QStringLiteral("ClearButton"));
    SaveAsButton = new QPushButton(QStringLiteral("Save &As..."), this);
    SaveAsButton->setObjectName(QStringLiteral("SaveAsButton"));
    ViewComboBox = new QComboBox(this);
    ViewComboBox->setObjectName(QStringLiteral("ViewComboBox"));
    ViewComboBox->addItems({QStringLiteral("Every line"), QStringLiteral("By identifier")});
    buttons->addWidget(PauseButton);
    buttons->addWidget(ClearButton);
    buttons->addWidget(SaveAsButton);
    buttons->addSpacing(16);
    buttons->addWidget(buddyLabel(QStringLiteral("&View:"), ViewComboBox, this));
    buttons->addWidget(ViewComboBox);
    BuildDatabaseControls(buttons);
    layout->addLayout(buttons);

    auto *filters = new QHBoxLayout;
    IdEdit = new QLineEdit(this);
    IdEdit->setObjectName(QStringLiteral("IdEdit"));
    IdEdit->setPlaceholderText(QStringLiteral("all, or e.g. 100-1FF, 7E8"));
    KindComboBox = new QComboBox(this);
    KindComboBox->setObjectName(QStringLiteral("KindComboBox"));
    for (const KindChoice &k : kindChoices)
        KindComboBox->addItem(QString::fromLatin1(k.text), k.mask);
    TextEdit = new QLineEdit(this);
    TextEdit->setObjectName(QStringLiteral("TextEdit"));
    TextEdit->setPlaceholderText(QStringLiteral("text in the line"));
    filters->addWidget(buddyLabel(QStringLiteral("&Identifiers:"), IdEdit, this));
    filters->addWidget(IdEdit, 2);
    filters->addWidget(buddyLabel(QStringLiteral("&Kind:"), KindComboBox, this));
    filters->addWidget(KindComboBox, 1);
    filters->addWidget(buddyLabel(QStringLiteral("&Text:"), TextEdit, this));
    filters->addWidget(TextEdit, 2);
    layout->addLayout(filters);

    FilterErrorLabel = new QLabel(this);
    FilterErrorLabel->setObjectName(QStringLiteral("FilterErrorLabel"));
    FilterErrorLabel->setStyleSheet(QStringLiteral("color: #B00000"));
    FilterErrorLabel->setWordWrap(true);
    FilterErrorLabel->hide();
    layout->addWidget(FilterErrorLabel);

    Views = new QStackedWidget(this);
    FramesView = new TCopyableTableView(Views);
    FramesView->setObjectName(QStringLiteral("FramesView"));
    FramesView->setAccessibleName(QStringLiteral("Lines"));
    FramesView->setModel(m_frames);
    SummaryView = new TCopyableTableView(Views);
    SummaryView->setObjectName(QStringLiteral("SummaryView"));
    SummaryView->setAccessibleName(QStringLiteral("Identifiers"));
    SummaryView->setModel(m_summary);
    Views->addWidget(FramesView);
    Views->addWidget(SummaryView);
    // The signals of the row selected, under the table, once a database is loaded.
    ViewsSplitter = new QSplitter(Qt::Vertical, this);
    ViewsSplitter->setObjectName(QStringLiteral("ViewsSplitter"));
    ViewsSplitter->setChildrenCollapsible(false);
    SignalsPane = new TSignalsPane(ViewsSplitter);
    ViewsSplitter->addWidget(Views);
    ViewsSplitter->addWidget(SignalsPane);
    ViewsSplitter->setStretchFactor(0, 3);
    ViewsSplitter->setStretchFactor(1, 1);
    SignalsPane->hide();
    layout->addWidget(ViewsSplitter, 1);

    CountsLabel = new QLabel(this);
    CountsLabel->setObjectName(QStringLiteral("CountsLabel"));
    CountsLabel->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    layout->addWidget(CountsLabel);
    SizeColumns();

    connect(PauseButton, &QPushButton::toggled, this, &TFrameMonitor::PauseButtonToggled);
    connect(ClearButton, &QPushButton::clicked, this, &TFrameMonitor::ClearButtonClick);
    connect(SaveAsButton, &QPushButton::clicked, this, &TFrameMonitor::SaveAsButtonClick);
    connect(ViewComboBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_summary->SetActive(index == 1);
        Views->setCurrentIndex(index);
    });
    connect(IdEdit, &QLineEdit::textChanged, &m_filterTimer, qOverload<>(&QTimer::start));
    connect(TextEdit, &QLineEdit::textChanged, &m_filterTimer, qOverload<>(&QTimer::start));
    connect(IdEdit, &QLineEdit::returnPressed, this, &TFrameMonitor::ApplyFilter);
    connect(TextEdit, &QLineEdit::returnPressed, this, &TFrameMonitor::ApplyFilter);
    connect(KindComboBox, &QComboBox::currentIndexChanged, this, &TFrameMonitor::ApplyFilter);

    connect(ViewComboBox, &QComboBox::currentIndexChanged, this, &TFrameMonitor::UpdateSignalsPane);
    connect(FramesView->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TFrameMonitor::UpdateSignalsPane);
    connect(SummaryView->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TFrameMonitor::UpdateSignalsPane);
    connect(m_frames, &QAbstractItemModel::modelReset, this, &TFrameMonitor::UpdateSignalsPane);
    connect(m_summary, &QAbstractItemModel::modelReset, this, &TFrameMonitor::UpdateSignalsPane);
    // The latest frame of the identifier selected changes as frames come.
    connect(m_summary, &QAbstractItemModel::dataChanged, this, [this] {
        if (SignalsPane->isVisible() && Views->currentWidget() == SummaryView)
            UpdateSignalsPane();
    });
    connect(SignalsPane, &TSignalsPane::PlotRequested, this, &TFrameMonitor::PlotSignals);
}

void TFrameMonitor::BuildDatabaseControls(QHBoxLayout *buttons)
{
    DatabaseButton = new QPushButton(QStringLiteral("&Database..."), this);
    DatabaseButton->setObjectName(QStringLiteral("DatabaseButton"));
    DatabaseButton->setToolTip(QStringLiteral("Load or remove the DBC files that name messages and signals"));
    auto *menu = new QMenu(DatabaseButton);
    menu->setObjectName(QStringLiteral("DatabaseMenu"));
    DatabaseButton->setMenu(menu);
    // Filled when opened: one Remove entry per file loaded.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        menu->addAction(QStringLiteral("&Load DBC Files..."), this, &TFrameMonitor::ChooseDatabaseFiles);
        const QStringList files = m_database->Files();
        if (!files.isEmpty())
            menu->addSeparator();
        for (const QString &path : files) {
            QAction *remove = menu->addAction(QStringLiteral("Remove %1").arg(QFileInfo(path).fileName()));
            remove->setToolTip(path);
            connect(remove, &QAction::triggered, this, [this, path] { m_database->Remove(path); });
        }
        if (files.size() > 1)
            menu->addAction(QStringLiteral("Remove &All"), m_database, &TSignalDatabase::RemoveAll);
    });
    DatabaseLabel = new QLabel(this);
    DatabaseLabel->setObjectName(QStringLiteral("DatabaseLabel"));
    DatabaseLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    DatabaseLabel->setWordWrap(true);
    buttons->addSpacing(16);
    buttons->addWidget(DatabaseButton);
    buttons->addWidget(DatabaseLabel, 1);
}

void TFrameMonitor::SetDatabase(TSignalDatabase *database)
{
    if (m_database)
        disconnect(m_database, nullptr, this, nullptr);
    if (m_database && m_database->parent() == this && database != m_database)
        m_database->deleteLater();
    m_database = database;
    connect(m_database, &TSignalDatabase::Changed, this, &TFrameMonitor::DatabaseChanged);
    m_database->Restore();
    DatabaseChanged();
}

void TFrameMonitor::DatabaseChanged()
{
    const TDbcDatabase *db = &m_database->Database();
    m_frames->SetDatabase(db);
    m_summary->SetDatabase(db);
    SignalsPane->SetDatabase(db);
    PlaceMessageColumns();
    QStringList names;
    for (const QString &path : m_database->Files())
        names << QFileInfo(path).fileName();
    QString text = names.isEmpty() ? QStringLiteral("Database: none") : QStringLiteral("Database: ") + names.join(QStringLiteral(", "));
    for (const QString &error : m_database->LastErrors())
        text += QStringLiteral("\nNot loaded: ") + error;
    DatabaseLabel->setText(text);
    DatabaseLabel->setToolTip(m_database->Files().join(QLatin1Char('\n')));
    SignalsPane->setVisible(!m_database->IsEmpty());
    if (!TextEdit->text().isEmpty())
        ApplyFilter(); // names may match now, or no longer
    UpdateSignalsPane();
}

void TFrameMonitor::PlaceMessageColumns()
{
    // The message's name reads best beside the identifier; the models add it last.
    QHeaderView *frames = FramesView->horizontalHeader();
    if (m_frames->Named() && frames->visualIndex(TFrameTableModel::ColMessage) != TFrameTableModel::ColId + 1) {
        frames->moveSection(frames->visualIndex(TFrameTableModel::ColMessage), TFrameTableModel::ColId + 1);
        frames->resizeSection(TFrameTableModel::ColMessage, FramesView->fontMetrics().horizontalAdvance(QStringLiteral("EngineStatusMessage")) + 16);
    }
    QHeaderView *summary = SummaryView->horizontalHeader();
    if (m_summary->Named() && summary->visualIndex(TIdSummaryModel::ColMessage) != TIdSummaryModel::ColId + 1) {
        summary->moveSection(summary->visualIndex(TIdSummaryModel::ColMessage), TIdSummaryModel::ColId + 1);
        summary->resizeSection(TIdSummaryModel::ColMessage, SummaryView->fontMetrics().horizontalAdvance(QStringLiteral("EngineStatusMessage")) + 16);
    }
}

void TFrameMonitor::ChooseDatabaseFiles()
{
    QFileDialog dialog(this, QStringLiteral("Load DBC Files"));
    dialog.setObjectName(QStringLiteral("DatabaseOpenDialog"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({QStringLiteral("CAN databases (*.dbc *.DBC)"), QStringLiteral("All files (*)")});
    if (dialog.exec() == QDialog::Accepted)
        LoadDatabaseFiles(dialog.selectedFiles());
}

bool TFrameMonitor::LoadDatabaseFiles(const QStringList &paths)
{
    const QStringList errors = m_database->Load(paths);
    if (!errors.isEmpty())
        ShowMessageBox(TMsgType::Error, errors.join(QLatin1Char('\n')));
    return errors.isEmpty();
}

void TFrameMonitor::UpdateSignalsPane()
{
    if (m_database->IsEmpty()) {
        SignalsPane->ShowFrame(nullptr); // nothing kept of a database that is gone
        return;
    }
    qsizetype storeRow = -1;
    if (Views->currentWidget() == SummaryView) {
        const QModelIndex current = SummaryView->currentIndex();
        if (current.isValid() && size_t(current.row()) < m_summary->Entries().size())
            storeRow = m_summary->Entries()[size_t(current.row())].lastRow;
    } else {
        const QModelIndex current = FramesView->currentIndex();
        if (current.isValid())
            storeRow = m_frames->StoreRow(current.row());
    }
    if (storeRow < 0 || storeRow >= m_store->Count()) {
        SignalsPane->ShowFrame(nullptr);
        return;
    }
    const TFrameRow row = m_store->Row(storeRow);
    SignalsPane->ShowFrame(&row.decoded);
}

void TFrameMonitor::PlotSignals(const TDbcMessage *message, const QList<const TDbcSignal *> &chosen)
{
    if (!m_plot)
        m_plot = new TPlotWindow(m_store, m_database, this);
    for (const TDbcSignal *s : chosen)
        m_plot->AddSignal(*message, *s);
    m_plot->show();
    m_plot->raise();
    m_plot->activateWindow();
}

QByteArray TFrameMonitor::ExportSignalsCsv() const
{
    QByteArray out = SignalCsvHeader();
    const TDbcDatabase &db = m_database->Database();
    const qsizetype rows = m_frames->ShownStoreRows();
    for (qsizetype row = 0; row < rows; ++row) {
        const qsizetype storeRow = m_frames->StoreRow(int(row));
        const TFrameRecord r = m_store->Record(storeRow);
        if (!IsCanFrame(r.kind) || IsRemote(r.kind))
            continue;
        const TDbcMessage *m = db.Find(r.id, IsExtended(r.kind));
        if (!m)
            continue;
        const TFrameRow frame = m_store->Row(storeRow);
        for (const TDecodedSignal &d : DecodeSignals(*m, frame.decoded.data, frame.decoded.dlc))
            if (d.Present)
                AppendSignalCsvRecord(out, frame.timeUs, m->Name, d.Signal->Name, d.Value, d.Signal->Unit);
    }
    return out;
}

void TFrameMonitor::SizeColumns()
{
    const QFontMetrics fm = FramesView->fontMetrics();
    auto width = [&](const char *sample) { return fm.horizontalAdvance(QString::fromLatin1(sample)) + 16; };
    const char *const frameSamples[] = {"1000000", "00:00:00.000", "Since previous", "other (no CR)", "1FFFFFFF",
                                        "DLC", "00 00 00 00 00 00 00 00", "3A wrong (5C)"};
    for (int c = 0; c < int(std::size(frameSamples)); ++c)
        FramesView->horizontalHeader()->resizeSection(c, width(frameSamples[c]));
    const char *const summarySamples[] = {"extended", "1FFFFFFF", "10000000", "DLC", "00 00 00 00 00 00 00 00",
                                          "Mean period (s)"};
    for (int c = 0; c < int(std::size(summarySamples)); ++c)
        SummaryView->horizontalHeader()->resizeSection(c, width(summarySamples[c]));
}

void TFrameMonitor::StoreGrew()
{
    if (m_plot)
        m_plot->StoreGrew(); // the plot records while either window is closed
    // A closed window catches up when it is shown again.
    if (isVisible())
        m_frames->StoreGrew();
}

void TFrameMonitor::FollowNewRows()
{
    if (m_following)
        FramesView->scrollToBottom();
}

bool TFrameMonitor::ApplyFilter()
{
    m_filterTimer.stop();
    TFrameFilter filter;
    QString error;
    if (!filter.SetIdentifiers(IdEdit->text(), &error)) {
        FilterErrorLabel->setText(error);
        FilterErrorLabel->show();
        return false;
    }
    FilterErrorLabel->hide();
    filter.SetKinds(KindComboBox->currentData().toUInt());
    filter.SetText(TextEdit->text());
    filter.SetNamedIdentifiers(IdsNamedLike(m_database->Database(), TextEdit->text()));
    m_frames->SetFilter(filter);
    FramesView->scrollToBottom();
    UpdateCounts();
    return true;
}

void TFrameMonitor::PauseButtonToggled(bool paused)
{
    m_frames->SetPaused(paused);
}

void TFrameMonitor::ClearButtonClick()
{
    if (m_plot)
        m_plot->CatchUp(); // the plot keeps its history
    m_store->Clear();
    m_frames->StoreCleared();
    UpdateCounts();
}

void TFrameMonitor::UpdateCounts()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_rateAtMs > 0 && now - m_rateAtMs >= 500) {
        const double seconds = double(now - m_rateAtMs) / 1000.0;
        m_framesPerSecond = double(m_store->TotalFrames() - m_rateFrames) / seconds;
        m_bytesPerSecond = double(m_store->TotalBytes() - m_rateBytes) / seconds;
    }
    if (m_rateAtMs == 0 || now - m_rateAtMs >= 500) {
        m_rateAtMs = now;
        m_rateFrames = m_store->TotalFrames();
        m_rateBytes = m_store->TotalBytes();
    }
    const QLocale c = QLocale::c();
    CountsLabel->setText(QStringLiteral("Rows: %1 shown of %2   Frames: %3/s   Bytes: %4/s%5")
                             .arg(c.toString(qlonglong(m_frames->ShownStoreRows())),
                                  c.toString(qlonglong(m_store->Count())), c.toString(m_framesPerSecond, 'f', 0),
                                  c.toString(m_bytesPerSecond, 'f', 0),
                                  m_frames->Paused() ? QStringLiteral("   (paused)") : QString()));
}

void TFrameMonitor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_frames->StoreGrew();
    m_rateAtMs = 0;
    UpdateCounts();
    m_rateTimer.start();
}

void TFrameMonitor::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_rateTimer.stop(); // nothing of the window wakes the program while it is closed
}

QByteArray TFrameMonitor::ExportBytes(TLogFormat format) const
{
    QByteArray out = LogHeader(format);
    const qsizetype rows = m_frames->ShownStoreRows();
    const bool pending = m_frames->rowCount() > rows;
    const bool unfiltered = m_frames->Filter().PassesAll();
    if (format == TLogFormat::Raw && unfiltered) {
        // The stream as read, in one piece.
        out.append(m_store->RawRows(0, rows));
        if (pending)
            out.append(m_store->PendingRaw());
        return out;
    }
    out.reserve(out.size() + rows * (format == TLogFormat::Csv ? 80 : 40));
    for (qsizetype row = 0; row < rows; ++row) {
        const TFrameRow frame = m_store->Row(m_frames->StoreRow(int(row)));
        if (format == TLogFormat::Candump)
            AppendCandumpRecord(out, frame);
        else
            out += LogRecord(format, frame);
    }
    return out;
}

bool TFrameMonitor::SaveRowsAs(const QString &path, TLogFormat format, QString *error) const
{
    return SaveFileAtomically(path, ExportBytes(format), error);
}

void TFrameMonitor::SaveAsButtonClick()
{
    QFileDialog dialog(this, QStringLiteral("Save As"));
    dialog.setObjectName(QStringLiteral("FrameMonitorSaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const char *f : formatFilters)
        filters << QString::fromLatin1(f);
    if (!m_database->IsEmpty())
        filters << QString::fromLatin1(signalsFilter);
    dialog.setNameFilters(filters);
    // A name typed without an ending gets the chosen type's, before the dialog asks about
    // replacing an existing file of that name.
    dialog.setDefaultSuffix(QString::fromLatin1(LogFormatSuffix(formats[0])));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &filter) {
        const qsizetype at = std::max<qsizetype>(0, filters.indexOf(filter));
        dialog.setDefaultSuffix(at < qsizetype(std::size(formats)) ? QString::fromLatin1(LogFormatSuffix(formats[at]))
                                                                  : QStringLiteral("csv"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString error;
    if (dialog.selectedNameFilter() == QString::fromLatin1(signalsFilter)) {
        if (!SaveFileAtomically(path, ExportSignalsCsv(), &error))
            ShowErrorReport(error);
        return;
    }
    TLogFormat format = TLogFormat::Candump;
    // A typed ending picks the format; otherwise the file-type box does.
    if (!LogFormatForFileName(path, format))
        format = formats[std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter()))];
    if (!SaveRowsAs(path, format, &error))
        ShowErrorReport(error);
}
