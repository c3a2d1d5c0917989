#include "ui/FrameMonitor.h"

#include "common/SafeSave.h"
#include "monitor/FrameStore.h"
#include "ui/CopyableTableView.h"
#include "ui/Dialogs.h"
#include "ui/FrameTableModel.h"
#include "ui/IdSummaryModel.h"
#include "ui/WholePasteLineEdit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
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

const char *const formatFilters[] = {"candump log (*.log)", "CSV (*.csv)", "Raw stream (*.raw)"};
const TLogFormat formats[] = {TLogFormat::Candump, TLogFormat::Csv, TLogFormat::Raw};

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
    layout->addWidget(Views, 1);

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

TFrameMonitor::~TFrameMonitor()
{
    StopRecording();
}

void TFrameMonitor::StoreGrew()
{
    // A closed window catches up when it is shown again; rows the history dropped leave now.
    if (isVisible())
        m_frames->StoreGrew();
    else
        m_frames->TakeDrops();
}

void TFrameMonitor::HistoryChanged(int rows)
{
    m_store->SetCapacity(rows);
    m_frames->TakeDrops();
    UpdateCounts();
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

QByteArray TFrameMonitor::ExportBytes(TLogFormat format, uint64_t *leftOut) const
{
    QByteArray out = LogHeader(format);
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
        if (first >= 0)
            out.append(m_store->RawRows(first, m_frames->StoreRow(rows - 1) + 1));
    } else {
        out.reserve(out.size() + rows * (format == TLogFormat::Csv ? 80 : 40));
        for (int row = 0; row < rows; ++row) {
            const qsizetype storeRow = m_frames->StoreRow(row);
            if (storeRow < 0)
                continue;
            const TFrameRow frame = m_store->Row(storeRow);
            if (format == TLogFormat::Candump) {
                bad += IsBadFrame(frame.decoded) ? 1 : 0;
                AppendCandumpRecord(out, frame);
            } else {
                out += LogRecord(format, frame);
            }
        }
    }
    if (leftOut)
        *leftOut = bad;
    return out;
}

bool TFrameMonitor::SaveRowsAs(const QString &path, TLogFormat format, QString *error, uint64_t *leftOut) const
{
    return SaveFileAtomically(path, ExportBytes(format, leftOut), error);
}

bool TFrameMonitor::AskLogFile(const QString &title, const QString &objectName, QString &path, TLogFormat &format)
{
    QFileDialog dialog(this, title);
    dialog.setObjectName(objectName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const char *f : formatFilters)
        filters << QString::fromLatin1(f);
    dialog.setNameFilters(filters);
    // A name typed without an ending gets the chosen type's, before the dialog asks about
    // replacing an existing file of that name.
    dialog.setDefaultSuffix(QString::fromLatin1(LogFormatSuffix(formats[0])));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &filter) {
        const qsizetype at = std::max<qsizetype>(0, filters.indexOf(filter));
        dialog.setDefaultSuffix(QString::fromLatin1(LogFormatSuffix(formats[at])));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = dialog.selectedFiles().constFirst();
    // A typed ending picks the format; otherwise the file-type box does.
    if (!LogFormatForFileName(path, format))
        format = formats[std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter()))];
    return true;
}

void TFrameMonitor::SaveAsButtonClick()
{
    QString path;
    TLogFormat format = TLogFormat::Candump;
    if (!AskLogFile(QStringLiteral("Save As"), QStringLiteral("FrameMonitorSaveDialog"), path, format))
        return;
    QString error;
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
        text += QStringLiteral(" (%1 with a wrong checksum left out of the candump log)").arg(c.toString(qulonglong(m_recorder.LeftOut())));
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
