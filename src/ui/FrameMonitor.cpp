#include "ui/FrameMonitor.h"

#include "common/SafeSave.h"
#include "monitor/FrameStore.h"
#include "ui/CopyableTableView.h"
#include "ui/Dialogs.h"
#include "ui/FrameTableModel.h"
#include "ui/IdSummaryModel.h"

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
    buttons->addStretch(1);
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
    layout->addWidget(Views, 1);

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
    dialog.setNameFilters(filters);
    // A name typed without an ending gets the chosen type's, before the dialog asks about
    // replacing an existing file of that name.
    dialog.setDefaultSuffix(QString::fromLatin1(LogFormatSuffix(formats[0])));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &filter) {
        const qsizetype at = std::max<qsizetype>(0, filters.indexOf(filter));
        dialog.setDefaultSuffix(QString::fromLatin1(LogFormatSuffix(formats[at])));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    TLogFormat format = TLogFormat::Candump;
    // A typed ending picks the format; otherwise the file-type box does.
    if (!LogFormatForFileName(path, format))
        format = formats[std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter()))];
    QString error;
    if (!SaveRowsAs(path, format, &error))
        ShowErrorReport(error);
}
