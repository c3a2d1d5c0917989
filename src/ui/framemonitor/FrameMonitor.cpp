#include "ui/framemonitor/FrameMonitor.h"

#include "common/SafeSave.h"
#include "dbc/SignalCodec.h"
#include "dbc/SignalCsv.h"
#include "monitor/FrameStore.h"
#include "ui/widgets/CopyableTableView.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/framemonitor/IdSummaryModel.h"
#include "ui/framemonitor/LogWindow.h"
#include "ui/plot/PlotWindow.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/signals/SignalText.h"
#include "ui/framemonitor/SignalsPane.h"
#include "ui/framemonitor/TransfersModel.h"
#include "ui/widgets/WholePasteLineEdit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
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
#include <QSpinBox>
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

const char *const formatFilters[] = {"candump log (*.log)", "CSV (*.csv)",         "Raw stream (*.raw)",
                                     "pcap (*.pcap)",       "Vector ASC (*.asc)", "PEAK TRC 2.1 (*.trc)",
                                     "pcapng (*.pcapng)",   "Vector BLF (*.blf)"};
const TLogFormat formats[] = {TLogFormat::Candump, TLogFormat::Csv, TLogFormat::Raw,    TLogFormat::Pcap,
                              TLogFormat::Asc,     TLogFormat::Trc, TLogFormat::Pcapng, TLogFormat::Blf};
const char *const signalsFilter = "CSV of the decoded signals (*.csv)";

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// A plain QWidget reaches a screen reader as a "filler"; this one is a window with its title.
class TWindowAccessible : public QAccessibleWidget {
public:
    explicit TWindowAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::Window) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return widget()->windowTitle();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *frameMonitorAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("TFrameMonitor") && object && object->isWidgetType())
        return new TWindowAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

TFrameMonitor::TFrameMonitor(TFrameStore *store, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(store), m_frames(new TFrameTableModel(store, this)),
      m_summary(new TIdSummaryModel(store, m_frames, this))
{
    static const bool accessibleAsWindow = [] {
        QAccessible::installFactory(frameMonitorAccessible);
        return true;
    }();
    Q_UNUSED(accessibleAsWindow);
    setObjectName(QStringLiteral("FrameMonitor"));
    setWindowTitle(QStringLiteral("Frame Monitor"));
    Build();
    m_flushTimer.setInterval(TLogRecorder::FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &TFrameMonitor::FlushRecording);
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
    RecordButton = new QPushButton(QStringLiteral("&Record..."), this);
    RecordButton->setObjectName(QStringLiteral("RecordButton"));
    RecordButton->setToolTip(QStringLiteral("Append every line to a log file as it comes"));
    ViewComboBox = new QComboBox(this);
    ViewComboBox->setObjectName(QStringLiteral("ViewComboBox"));
    ViewComboBox->addItems({QStringLiteral("Every line"), QStringLiteral("By identifier")});
    buttons->addWidget(PauseButton);
    buttons->addWidget(ClearButton);
    buttons->addWidget(SaveAsButton);
    buttons->addWidget(RecordButton);
    auto *openLogButton = new QPushButton(QStringLiteral("&Open Log..."), this);
    openLogButton->setObjectName(QStringLiteral("OpenLogButton"));
    openLogButton->setToolTip(QStringLiteral("Open a recorded log (candump, ASC, BLF, TRC, pcap, pcapng, CSV) in a window of its own"));
    connect(openLogButton, &QPushButton::clicked, this, [this] { AskAndOpenLog(this); });
    buttons->addWidget(openLogButton);
    AcceptLogDrops(this);
    buttons->addSpacing(16);
    buttons->addWidget(buddyLabel(QStringLiteral("&View:"), ViewComboBox, this));
    buttons->addWidget(ViewComboBox);
    buttons->addStretch(1);
    HistorySpinBox = new QSpinBox(this);
    HistorySpinBox->setObjectName(QStringLiteral("HistorySpinBox"));
    HistorySpinBox->setRange(int(TFrameStore::MinimumCapacity), 50000000);
    HistorySpinBox->setSingleStep(100000);
    HistorySpinBox->setGroupSeparatorShown(true);
    HistorySpinBox->setSuffix(QStringLiteral(" lines"));
    HistorySpinBox->setValue(int(m_store->Capacity()));
    // Taken when typing ends, not at each digit: "5" on the way to "500000" must drop nothing.
    HistorySpinBox->setKeyboardTracking(false);
    HistorySpinBox->setToolTip(QStringLiteral("Lines kept; past this the oldest go first"));
    buttons->addWidget(buddyLabel(QStringLiteral("&History:"), HistorySpinBox, this));
    buttons->addWidget(HistorySpinBox);
    BuildDatabaseControls(buttons);
    layout->addLayout(buttons);

    auto *filters = new QHBoxLayout;
    IdEdit = new TWholePasteLineEdit(this);
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
    BuildProtocolControls(filters);
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
    BuildTransfersView();
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
    RecordLabel = new QLabel(this);
    RecordLabel->setObjectName(QStringLiteral("RecordLabel"));
    RecordLabel->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    RecordLabel->setWordWrap(true);
    RecordLabel->hide();
    layout->addWidget(CountsLabel);
    layout->addWidget(RecordLabel);
    SizeColumns();

    connect(PauseButton, &QPushButton::toggled, this, &TFrameMonitor::PauseButtonToggled);
    connect(ClearButton, &QPushButton::clicked, this, &TFrameMonitor::ClearButtonClick);
    connect(SaveAsButton, &QPushButton::clicked, this, &TFrameMonitor::SaveAsButtonClick);
    connect(RecordButton, &QPushButton::clicked, this, &TFrameMonitor::RecordButtonClick);
    connect(HistorySpinBox, &QSpinBox::valueChanged, this, &TFrameMonitor::HistoryChanged);
    connect(IdEdit, &TWholePasteLineEdit::Refused, this, [this](const QString &message) {
        FilterErrorLabel->setText(message + QStringLiteral(" The filter is unchanged."));
        FilterErrorLabel->show();
    });
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
    for (const QString &warning : m_database->LastWarnings())
        text += QStringLiteral("\nWarning: ") + warning;
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
    else if (!m_database->LastWarnings().isEmpty())
        ShowMessageBox(TMsgType::Warning, m_database->LastWarnings().join(QLatin1Char('\n')));
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
            storeRow = m_summary->LastStoreRow(m_summary->Entries()[size_t(current.row())]);
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
        if (storeRow < 0)
            continue;
        const TFrameRow frame = m_store->Row(storeRow);
        out += SignalCsvRecords(frame.timeUs, frame.decoded, db);
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

bool TFrameMonitor::InSight() const
{
    return isVisible() && !isMinimized();
}

TFrameMonitor::~TFrameMonitor()
{
    StopRecording();
}

void TFrameMonitor::StoreGrew()
{
    if (m_plot)
        m_plot->StoreGrew(); // the plot records while either window is closed
    // A closed or minimised window catches up when it is shown again; rows the history dropped
    // leave now.
    if (InSight())
        m_frames->StoreGrew();
    else
        m_frames->TakeDrops();
    m_transfers->Follow(); // whatever is in sight: a transfer spans frames
}

void TFrameMonitor::HistoryChanged(int rows)
{
    m_store->SetCapacity(rows);
    m_frames->TakeDrops();
    UpdateCounts();
}

void TFrameMonitor::CatchUp()
{
    m_frames->SetInSight(true);
    m_rateAtMs = 0;
    UpdateCounts();
    m_rateTimer.start();
}

void TFrameMonitor::FollowNewRows()
{
    if (m_following)
        FramesView->scrollToBottom();
    // The counts line due before the next batch goes with this one: one repaint, not two.
    if (m_rateTimer.isActive() && m_rateTimer.remainingTime() < TFrameTableModel::ShowIntervalMs) {
        UpdateCounts();
        m_rateTimer.start();
    }
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
    filter.SetDecodedText(DecodedTextOfRows());
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
    m_transfers->StoreCleared();
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
    CountsLabel->setText(QStringLiteral("Rows: %1 shown of %2   Dropped (oldest, history full): %3   Frames: %4/s   "
                                        "Bytes: %5/s%6")
                             .arg(c.toString(qlonglong(m_frames->ShownStoreRows())),
                                  c.toString(qlonglong(m_store->Count())), c.toString(qulonglong(m_store->Dropped())),
                                  c.toString(m_framesPerSecond, 'f', 0), c.toString(m_bytesPerSecond, 'f', 0),
                                  m_frames->Paused() ? QStringLiteral("   (paused)") : QString()));
    ShowRecordState();
}

void TFrameMonitor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!isMinimized())
        CatchUp();
}

void TFrameMonitor::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Nothing of the window wakes the program while it is closed.
    m_rateTimer.stop();
    m_frames->SetInSight(false);
}

void TFrameMonitor::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isVisible())
        return;
    if (isMinimized()) {
        m_rateTimer.stop(); // as while closed: the rows wait in the store
        m_frames->SetInSight(false);
    } else {
        CatchUp();
    }
}

QByteArray TFrameMonitor::ExportBytes(TLogFormat format, uint64_t *leftOut) const
{
    QByteArray out;
    uint64_t bad = 0;
    // Complete rows only: a line still waiting for its CR is not in any export.
    const int rows = int(m_frames->ShownStoreRows());
    if (format == TLogFormat::Raw && !m_frames->Filter().PassesAll()) {
        for (int row = 0; row < rows; ++row)
            if (const qsizetype storeRow = m_frames->StoreRow(row); storeRow >= 0)
                out.append(m_store->Raw(storeRow));
    } else if (format == TLogFormat::Raw) {
        // The stream as read, in one piece: the rows shown are consecutive rows of the store.
        qsizetype first = -1;
        for (int row = 0; row < rows && first < 0; ++row)
            first = m_frames->StoreRow(row);
        if (first >= 0) {
            const qsizetype last = m_frames->StoreRow(rows - 1);
            m_store->AppendRawRows(out, first, last + 1);
            // The LF of a CR LF end comes as the first byte of the next line: it is still the
            // last line's.
            const QByteArrayView next = last + 1 < m_store->Count() ? m_store->Raw(last + 1) : m_store->PendingRaw();
            if (out.endsWith('\r') && next.startsWith('\n'))
                out.append('\n');
        }
    } else {
        // ASC and TRC count from the first row saved.
        int64_t startUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        for (int row = 0; row < rows; ++row) {
            if (const qsizetype storeRow = m_frames->StoreRow(row); storeRow >= 0) {
                startUs = m_store->Record(storeRow).timeUs;
                break;
            }
        }
        TLogEncoder encoder(format, startUs);
        out = encoder.Header();
        out.reserve(out.size() + rows * (format == TLogFormat::Csv ? 80 : 40));
        for (int row = 0; row < rows; ++row) {
            if (const qsizetype storeRow = m_frames->StoreRow(row); storeRow >= 0)
                encoder.Append(out, m_store->Row(storeRow));
        }
        out += encoder.Footer();
        bad = encoder.LeftOut();
    }
    if (leftOut)
        *leftOut = bad;
    return out;
}

bool TFrameMonitor::SaveRowsAs(const QString &path, TLogFormat format, QString *error, uint64_t *leftOut) const
{
    return SaveFileAtomically(path, ExportBytes(format, leftOut), error);
}

bool TFrameMonitor::AskLogFile(const QString &title, const QString &objectName, QString &path, TLogFormat &format,
                               bool *signalsChosen)
{
    QFileDialog dialog(this, title);
    dialog.setObjectName(objectName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const char *f : formatFilters)
        filters << QString::fromLatin1(f);
    // Only a saved table can hold decoded signals; a recording is of lines.
    if (signalsChosen && !m_database->IsEmpty())
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
        return false;
    path = dialog.selectedFiles().constFirst();
    if (signalsChosen)
        *signalsChosen = dialog.selectedNameFilter() == QString::fromLatin1(signalsFilter);
    // A typed ending picks the format; otherwise the file-type box does.
    if (!LogFormatForFileName(path, format))
        format = formats[std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter()))];
    return true;
}

void TFrameMonitor::SaveAsButtonClick()
{
    QString path;
    TLogFormat format = TLogFormat::Candump;
    bool signalsChosen = false;
    if (!AskLogFile(QStringLiteral("Save As"), QStringLiteral("FrameMonitorSaveDialog"), path, format, &signalsChosen))
        return;
    QString error;
    if (signalsChosen) {
        if (!SaveFileAtomically(path, ExportSignalsCsv(), &error))
            ShowErrorReport(error);
        return;
    }
    uint64_t leftOut = 0;
    if (!SaveRowsAs(path, format, &error, &leftOut))
        ShowErrorReport(error);
    else if (leftOut > 0)
        ShowMessageBox(TMsgType::Information,
                       QStringLiteral("Saved to \"%1\". %2 frame(s) with a wrong checksum were left out: a candump log "
                                      "has no place to mark them (CSV and raw keep them).")
                           .arg(path)
                           .arg(leftOut));
}

bool TFrameMonitor::StartRecording(const QString &path, TLogFormat format, QString *error)
{
    StopRecording();
    if (!m_recorder.Start(path, format, error)) {
        ShowRecordState();
        return false;
    }
    m_store->SetLineObserver([this](const TFrameRow &row) { m_recorder.Add(row); });
    m_flushTimer.start();
    RecordButton->setText(QStringLiteral("Stop &Recording"));
    ShowRecordState();
    return true;
}

void TFrameMonitor::StopRecording()
{
    m_flushTimer.stop();
    m_store->SetLineObserver(nullptr);
    m_recorder.Stop();
    if (RecordButton)
        RecordButton->setText(QStringLiteral("&Record..."));
    ShowRecordState();
}

void TFrameMonitor::FlushRecording()
{
    if (m_recorder.Flush()) {
        ShowRecordState();
        return;
    }
    // The disk refused: nothing more is recorded, and the user hears why.
    StopRecording();
    ShowMessageBox(TMsgType::Error, m_recorder.Error());
}

void TFrameMonitor::ShowRecordState()
{
    if (!RecordLabel)
        return;
    if (!m_recorder.Recording() && m_recorder.Error().isEmpty() && m_recorder.Path().isEmpty()) {
        RecordLabel->hide();
        return;
    }
    const QLocale c = QLocale::c();
    QString text;
    if (m_recorder.Recording())
        text = QStringLiteral("Recording to \"%1\": %2 lines").arg(m_recorder.Path(), c.toString(qulonglong(m_recorder.Lines())));
    else if (!m_recorder.Error().isEmpty())
        text = m_recorder.Error();
    else
        text = QStringLiteral("Recorded to \"%1\": %2 lines").arg(m_recorder.Path(), c.toString(qulonglong(m_recorder.Lines())));
    if (m_recorder.LeftOut() > 0)
        text += QStringLiteral(" (%1 with a wrong checksum left out of the %2 log)")
                    .arg(c.toString(qulonglong(m_recorder.LeftOut())),
                         QLatin1String(m_recorder.Format() == TLogFormat::Candump ? "candump"
                                                                                  : LogFormatSuffix(m_recorder.Format())));
    RecordLabel->setText(text);
    RecordLabel->show();
}

void TFrameMonitor::RecordButtonClick()
{
    if (m_recorder.Recording()) {
        StopRecording();
        return;
    }
    QString path;
    TLogFormat format = TLogFormat::Candump;
    if (!AskLogFile(QStringLiteral("Record to File"), QStringLiteral("FrameMonitorRecordDialog"), path, format))
        return;
    QString error;
    if (!StartRecording(path, format, &error))
        ShowErrorReport(error);
}
