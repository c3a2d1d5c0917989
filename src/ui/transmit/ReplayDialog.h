#pragma once
// "Replay Log": plays a candump log through the main window's send path at a chosen speed (or as
// fast as the line carries it), looped, for chosen identifiers, with progress, pause and stop.
// Not modal: the receive list goes on showing what the module answers.

#include "transmit/ReplayRunner.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

class TReplayDialog : public QDialog {
    Q_OBJECT

public:
    TReplayDialog(TLineSender send, QWidget *parent = nullptr);
    ~TReplayDialog() override;

    // As the transmit list: plays only while lines may go out; a run stops when that ends.
    void SetLink(bool canSend, int32_t baud, bool withChecksum);

    // Tests replace the file dialog, and the clock the log plays by.
    std::function<QString()> ChooseFile;
    TMicroClock Now = SteadyClockUs;

    void BrowseClick();
    void StartClick();
    void PauseClick();
    void StopClick();

    QLineEdit *FileEdit() const { return m_file; }
    QDoubleSpinBox *SpeedBox() const { return m_speed; }
    QCheckBox *FastBox() const { return m_fast; }
    QSpinBox *LoopBox() const { return m_loops; }
    QLineEdit *IdsEdit() const { return m_ids; }
    QDoubleSpinBox *MaxGapBox() const { return m_maxGap; }
    QString ProgressText() const;
    const TReplayRunner *Runner() const { return m_runner.get(); }

private:
    void UpdateProgress();
    void UpdateButtons();
    void Finished(bool failed);

    TLineSender m_send;
    std::unique_ptr<TReplayRunner> m_runner;
    QLineEdit *m_file = nullptr;
    QPushButton *m_browse = nullptr;
    QDoubleSpinBox *m_speed = nullptr;
    QCheckBox *m_fast = nullptr;
    QSpinBox *m_loops = nullptr;
    QLineEdit *m_ids = nullptr;
    QDoubleSpinBox *m_maxGap = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_time = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_stop = nullptr;
    QTimer m_refresh;
    bool m_canSend = false;
    int32_t m_baud = 115200;
    bool m_withChecksum = false;
};
