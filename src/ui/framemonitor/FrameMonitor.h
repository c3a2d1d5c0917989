#pragma once
// src/ui/framemonitor: the Frame Monitor window, its table and summary models, the signals pane.
// Uses the plot, signals, dialogs and widgets rooms, monitor and dbc.
//
// The "Frame Monitor" window: every line the receive loop read, one per row with its time and
// decoded fields, or one row per identifier; its own pause and clear, filters, live counts,
// copy, Save As in the standard log formats, the length of the history, and Record to file. It
// views the frame store, which the receive loop fills whether the window is open or not.

#include "monitor/FrameFilter.h"
#include "monitor/LogRecorder.h"
#include "monitor/LogWriters.h"
#include "ui/widgets/WholePasteLineEdit.h"

#include <QByteArray>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QSplitter;
class TCopyableTableView;
struct TDbcMessage;
struct TDbcSignal;
class TFrameStore;
class TPlotWindow;
class TSignalDatabase;
class TSignalsPane;
class TFrameTableModel;
class TIdSummaryModel;
class TTransfersModel;

class TFrameMonitor : public QWidget {
    Q_OBJECT

public:
    explicit TFrameMonitor(TFrameStore *store, QWidget *parent = nullptr);
    ~TFrameMonitor() override;

    // The receive loop added to the store.
    void StoreGrew();

    // What Save As writes in `format`: the complete rows shown, after the filter. `leftOut`
    // counts the frames the format has no place for (a wrong checksum in a candump log).
    QByteArray ExportBytes(TLogFormat format, uint64_t *leftOut = nullptr) const;
    // Writes them safely to `path`; false with the message to report.
    bool SaveRowsAs(const QString &path, TLogFormat format, QString *error, uint64_t *leftOut = nullptr) const;
    // Record to file: from now on every line the store takes is appended to `path`.
    bool StartRecording(const QString &path, TLogFormat format, QString *error);
    void StopRecording();
    const TLogRecorder &Recorder() const { return m_recorder; }
    // Takes the filter fields now rather than after typing pauses; false when the identifier
    // list is not one (the message is shown in the window, the earlier filter stays).
    bool ApplyFilter();
    // Figures for the counts line, recomputed now.
    void UpdateCounts();

    // The CAN databases the window names and decodes frames with (by default its own, empty);
    // the files remembered from the last run are loaded into it.
    void SetDatabase(TSignalDatabase *database);
    TSignalDatabase *Database() const { return m_database; }
    // Loads DBC files; false when one did not load (its message is shown).
    bool LoadDatabaseFiles(const QStringList &paths);
    // The rows shown as CSV of their decoded signals: one row per signal.
    QByteArray ExportSignalsCsv() const;
    // The plot window, made and shown with the signals given; null until first asked for.
    TPlotWindow *Plot() const { return m_plot; }
    void PlotSignals(const TDbcMessage *message, const QList<const TDbcSignal *> &chosen);
    TSignalsPane *Signals() const { return SignalsPane; }

    TFrameTableModel *Frames() const { return m_frames; }
    TTransfersModel *Transfers() const { return m_transfers; }
    TIdSummaryModel *Summary() const { return m_summary; }

    QPushButton *PauseButton = nullptr;
    QPushButton *ClearButton = nullptr;
    QPushButton *SaveAsButton = nullptr;
    QPushButton *RecordButton = nullptr;
    QComboBox *ViewComboBox = nullptr;
    QSpinBox *HistorySpinBox = nullptr;
    TWholePasteLineEdit *IdEdit = nullptr;
    QComboBox *KindComboBox = nullptr;
    QLineEdit *TextEdit = nullptr;
    QLabel *CountsLabel = nullptr;
    QLabel *FilterErrorLabel = nullptr;
    QLabel *RecordLabel = nullptr;
    QStackedWidget *Views = nullptr;
    TCopyableTableView *FramesView = nullptr;
    TCopyableTableView *SummaryView = nullptr;
    QPushButton *DatabaseButton = nullptr;
    QLabel *DatabaseLabel = nullptr;
    QSplitter *ViewsSplitter = nullptr;
    TSignalsPane *SignalsPane = nullptr;
    QComboBox *ProtocolComboBox = nullptr;
    QLineEdit *IsoTpPairsEdit = nullptr;
    TCopyableTableView *TransfersView = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Shown and not minimised: only then is the table worth updating.
    bool InSight() const;
    void CatchUp();
    void Build();
    void SizeColumns();
    void PauseButtonToggled(bool paused);
    void ClearButtonClick();
    void SaveAsButtonClick();
    void RecordButtonClick();
    void HistoryChanged(int rows);
    void FlushRecording();
    void ShowRecordState();
    // `signalsChosen` given: the CSV of decoded signals is offered too, while a database is loaded.
    bool AskLogFile(const QString &title, const QString &objectName, QString &path, TLogFormat &format,
                    bool *signalsChosen = nullptr);
    void FollowNewRows();
    void BuildDatabaseControls(QHBoxLayout *buttons);
    void DatabaseChanged();
    void ChooseDatabaseFiles();
    void UpdateSignalsPane();
    void PlaceMessageColumns();
    // Protocols above CAN (FrameMonitorProtocols.cpp).
    void BuildProtocolControls(QHBoxLayout *row);
    void BuildTransfersView();
    void ProtocolChanged();
    // What the text filter also searches while a protocol is chosen: each frame's Decoded cell.
    TFrameFilter::TFrameText DecodedTextOfRows() const;

    TFrameStore *m_store;
    TFrameTableModel *m_frames;
    TIdSummaryModel *m_summary;
    TTransfersModel *m_transfers = nullptr;
    QString m_isoTpPairsText; // the pairs the protocol was last chosen with
    TSignalDatabase *m_database = nullptr;
    TPlotWindow *m_plot = nullptr;
    QTimer m_filterTimer;
    QTimer m_rateTimer;
    QTimer m_flushTimer;
    TLogRecorder m_recorder;
    bool m_following = true; // the view was at its end when rows came
    uint64_t m_rateFrames = 0;
    uint64_t m_rateBytes = 0;
    qint64 m_rateAtMs = 0;
    double m_framesPerSecond = 0;
    double m_bytesPerSecond = 0;
};
