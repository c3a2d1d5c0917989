#include "ui/transmit/ReplayDialog.h"

#include "logs/LogReader.h"
#include "monitor/CandumpLog.h"
#include "protocol/ModuleSession.h"
#include "transmit/TransmitRow.h"
#include "ui/dialogs/Dialogs.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

// "m:ss", whole seconds: what has played rounds down, what is left rounds up, so "0:00 left"
// is said only at the end.
QString Clock(int64_t us, bool roundUp = false)
{
    int64_t s = std::max<int64_t>(0, us / 1000000);
    if (roundUp && us > 0 && us % 1000000 != 0)
        ++s;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TReplayDialog::TReplayDialog(TLineSender send, QWidget *parent) : QDialog(parent), m_send(std::move(send))
{
    setObjectName(QStringLiteral("ReplayDialog"));
    setWindowTitle(QStringLiteral("Replay Log"));
    setFont(StandardFont());
    setModal(false);

    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("ReplayFileEdit"));
    m_browse = new QPushButton(QStringLiteral("&Browse..."), this);
    m_speed = new QDoubleSpinBox(this);
    m_speed->setObjectName(QStringLiteral("ReplaySpeedBox"));
    m_speed->setRange(TReplayClock::MinSpeed, TReplayClock::MaxSpeed);
    m_speed->setSingleStep(0.25);
    m_speed->setValue(1.0);
    m_speed->setSuffix(QStringLiteral("x"));
    m_fast = new QCheckBox(QStringLiteral("As &fast as the line allows"), this);
    m_loops = new QSpinBox(this);
    m_loops->setObjectName(QStringLiteral("ReplayLoopBox"));
    m_loops->setRange(0, 1000000);
    m_loops->setValue(1);
    m_loops->setSpecialValueText(QStringLiteral("until stopped"));
    m_ids = new QLineEdit(this);
    m_ids->setObjectName(QStringLiteral("ReplayIdsEdit"));
    m_ids->setPlaceholderText(QStringLiteral("all, or e.g. 100-1FF,7E8"));
    m_maxGap = new QDoubleSpinBox(this);
    m_maxGap->setObjectName(QStringLiteral("ReplayMaxGapBox"));
    m_maxGap->setRange(0, 86400);
    m_maxGap->setDecimals(3);
    m_maxGap->setSingleStep(1);
    m_maxGap->setSuffix(QStringLiteral(" s"));
    m_maxGap->setSpecialValueText(QStringLiteral("as logged"));
    m_maxGap->setToolTip(QStringLiteral("A longer gap between two frames plays as this long"));
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("ReplayTimeLabel"));
    // The text changes as the log plays: it wraps within the dialog instead of widening it.
    m_time->setWordWrap(true);
    m_time->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_time->setMinimumWidth(360);
    m_start = new QPushButton(QStringLiteral("&Start"), this);
    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_stop = new QPushButton(QStringLiteral("S&top"), this);
    auto *close = new QPushButton(QStringLiteral("&Close"), this);

    auto *form = new QFormLayout;
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(m_browse);
    // Labels with buddies name their fields for a screen reader and give them a mnemonic.
    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        buddy->setAccessibleName(QString(text).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
        return l;
    };
    form->addRow(label(QStringLiteral("&Log file:"), m_file), fileRow);
    form->addRow(label(QStringLiteral("Spee&d:"), m_speed), m_speed);
    form->addRow(QString(), m_fast);
    form->addRow(label(QStringLiteral("&Loops:"), m_loops), m_loops);
    form->addRow(label(QStringLiteral("&Identifiers:"), m_ids), m_ids);
    form->addRow(label(QStringLiteral("Longest &gap:"), m_maxGap), m_maxGap);
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    form->addRow(QStringLiteral("Progress:"), m_progress);
    form->addRow(QString(), m_time);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_start, m_pause, m_stop})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_browse, &QPushButton::clicked, this, &TReplayDialog::BrowseClick);
    connect(m_start, &QPushButton::clicked, this, &TReplayDialog::StartClick);
    connect(m_pause, &QPushButton::clicked, this, &TReplayDialog::PauseClick);
    connect(m_stop, &QPushButton::clicked, this, &TReplayDialog::StopClick);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(m_fast, &QCheckBox::toggled, m_speed, [this](bool fast) { m_speed->setEnabled(!fast); });
    m_refresh.setInterval(200);
    connect(&m_refresh, &QTimer::timeout, this, &TReplayDialog::UpdateProgress);
    ChooseFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Replay Log"), QString(),
                                            QStringLiteral("CAN logs (*.log *.asc *.blf *.trc *.pcap *.pcapng *.csv);;All files (*)"));
    };
    UpdateProgress();
    UpdateButtons();
}

TReplayDialog::~TReplayDialog() = default;

void TReplayDialog::SetLink(bool canSend, int32_t baud, bool withChecksum)
{
    m_canSend = canSend;
    m_baud = baud;
    m_withChecksum = withChecksum;
    if (!canSend && m_runner && m_runner->Running()) {
        m_runner->Stop();
        m_time->setText(QStringLiteral("Stopped: the connection ended."));
    }
    UpdateButtons();
}

void TReplayDialog::UpdateButtons()
{
    const bool running = m_runner && m_runner->Running();
    m_start->setEnabled(m_canSend && !running);
    m_pause->setEnabled(running);
    m_stop->setEnabled(running);
    for (QWidget *w : std::initializer_list<QWidget *>{m_file, m_browse, m_fast, m_loops, m_ids, m_maxGap})
        w->setEnabled(!running);
    m_speed->setEnabled(!running && !m_fast->isChecked());
}

void TReplayDialog::BrowseClick()
{
    const QString path = ChooseFile();
    if (!path.isEmpty())
        m_file->setText(path);
}

void TReplayDialog::StartClick()
{
    if (!m_canSend) {
        ShowMessageBox(TMsgType::Warning, QStringLiteral("A log plays only while connected in operation mode or "
                                                         "the pair-connection test."));
        return;
    }
    TReplayOptions o;
    QString error;
    if (!ParseIdRanges(m_ids->text(), o.Ids, &error)) {
        ShowMessageBox(TMsgType::Error, error);
        return;
    }
    // Read before it plays: the progress shows the log's length and the time left.
    QVector<TLogFrame> frames;
    const std::unique_ptr<TLogReader> reader = OpenLogReader(m_file->text(), error);
    TLogFrame frame;
    while (reader && reader->Next(frame))
        frames.append(frame);
    if (!reader || !reader->Problem().isEmpty()) {
        ShowMessageBox(TMsgType::Error, reader ? reader->Problem() : error);
        return;
    }
    o.Speed = m_speed->value();
    o.Fast = m_fast->isChecked();
    o.Loops = m_loops->value();
    o.MaxGapUs = std::llround(m_maxGap->value() * 1e6);
    o.LineBytesPerSecond = TransmitRows::LineCapacityBytesPerSecond(m_baud);
    o.WithChecksum = m_withChecksum;
    m_runner = std::make_unique<TReplayRunner>(frames, o, Now, m_send);
    connect(m_runner.get(), &TReplayRunner::Finished, this, &TReplayDialog::Finished);
    m_pause->setText(QStringLiteral("&Pause"));
    m_refresh.start();
    m_runner->Start();
    UpdateProgress();
    UpdateButtons();
}

void TReplayDialog::PauseClick()
{
    if (!m_runner || !m_runner->Running())
        return;
    if (m_runner->Clock().Paused()) {
        m_runner->Resume();
        m_pause->setText(QStringLiteral("&Pause"));
    } else {
        m_runner->Pause();
        m_pause->setText(QStringLiteral("&Resume"));
    }
    UpdateProgress();
}

void TReplayDialog::StopClick()
{
    if (m_runner)
        m_runner->Stop();
}

void TReplayDialog::Finished(bool failed)
{
    m_refresh.stop();
    UpdateProgress();
    UpdateButtons();
    // A write that found the device gone ended the connection: the main window says so.
    if (failed && m_canSend)
        ShowMessageBox(TMsgType::Error, ModuleTexts::SendFailed());
}

QString TReplayDialog::ProgressText() const
{
    return m_time->text();
}

void TReplayDialog::UpdateProgress()
{
    if (!m_runner) {
        m_time->setText(QStringLiteral("Choose a log: candump, ASC, BLF, TRC, pcap, pcapng or a Frame Monitor CSV."));
        return;
    }
    const TReplayClock &c = m_runner->Clock();
    const int64_t now = Now();
    const int64_t pass = std::max<int64_t>(1, c.PassUs());
    const int64_t played = c.PlayedUs(now);
    m_progress->setValue(int(std::llround(1000.0 * double(played) / double(pass))));
    const int64_t left = c.LeftUs(now);
    QString text = QStringLiteral("Played %1 of %2, %3 left; %4 sent, %5 skipped (CAN FD or error frames)")
                       .arg(Clock(played), Clock(pass, true),
                            left < 0 ? QStringLiteral("until stopped") : Clock(left, true))
                       .arg(c.Sent())
                       .arg(c.Skipped());
    if (c.Paused())
        text += QStringLiteral(" (paused)");
    else if (!m_runner->Running())
        text += c.Finished() ? QStringLiteral(" (done)") : QStringLiteral(" (stopped)");
    m_time->setText(text);
    m_progress->setAccessibleDescription(text);
}
