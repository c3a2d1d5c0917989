#pragma once
// src/ui/plot: the Plot window and the recorder of the signals it shows.
// Uses the signals, dialogs and widgets rooms, monitor, dbc and Qt Charts.
//
// The "Plot" window: chosen signals over time, each unit on its own axis. It draws only what
// fits the pixels of the range in sight (the extremes of each pixel column), at most ten times
// a second, so a million points cost no more to show than a thousand. Live, it scrolls with the
// newest point; paused, zoomed or panned it holds still while points keep being recorded.
//
// Keys: Left/Right pan, + and - zoom, Home shows everything, End (or Pause again) goes live.
// Mouse: the wheel zooms around the pointer, dragging pans, the values under the pointer show below.

#include "ui/plot/SignalRecorder.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QListWidget;
class QPushButton;
class QValueAxis;
class TSignalDatabase;

class TPlotWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int RedrawIntervalMs = 100;
    // Older frames read per tick for a signal added late (about 50 ms of work).
    static constexpr qsizetype FillRowsPerTick = 25000;

    TPlotWindow(const TFrameStore *store, TSignalDatabase *database, QWidget *parent = nullptr);
    ~TPlotWindow() override;

    void AddSignal(const TDbcMessage &message, const TDbcSignal &signal);
    // The store gained lines: they are read with the next tick, shown or not.
    void StoreGrew();
    // Reads what the store gained, and every signal's history, now (before the store is cleared).
    void CatchUp();

    // The range in sight, in seconds since the first point.
    double ViewFrom() const { return m_to - m_span; }
    double ViewTo() const { return m_to; }
    bool Live() const { return !m_paused; }
    void SetView(double from, double to); // holds the plot still there
    void ZoomBy(double factor, double around);
    void PanBy(double fraction);
    void ShowAll();
    void GoLive();
    // Draws now what the range in sight holds.
    void Redraw();

    // What Save As writes.
    QByteArray CsvBytes() const;
    QByteArray PngBytes();
    bool SaveAs(const QString &path, QString *error);
    // The values at time `t` (the points nearest to it), as the line under the chart shows them.
    QString ValuesAt(double t) const;

    const TSignalRecorder &Recorder() const { return m_recorder; }
    QChart *Chart() const { return m_chart; }
    QLineSeries *Series(int index) const;
    uint64_t Redraws() const { return m_redraws; }
    uint64_t FramesDrawn() const { return m_framesDrawn; }

    QPushButton *PauseButton = nullptr;
    QPushButton *ShowAllButton = nullptr;
    QPushButton *RemoveButton = nullptr;
    QPushButton *ClearButton = nullptr;
    QPushButton *SaveAsButton = nullptr;
    QListWidget *SignalsList = nullptr;
    QChartView *ChartView = nullptr;
    QLabel *CursorLabel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class TChartView;
    void Build();
    void Tick();
    void Rebuild(); // series and axes again, after signals came or went
    void RemoveSelected();
    void ClearPoints();
    void SaveAsClick();
    void PauseToggled(bool paused);
    void ShowCursorValues(double t);
    int PlotWidth() const;

    TSignalDatabase *m_database;
    TSignalRecorder m_recorder;
    QChart *m_chart = nullptr;
    QValueAxis *m_timeAxis = nullptr;
    std::vector<QLineSeries *> m_series;   // parallel to the recorder's signals
    std::vector<QValueAxis *> m_valueAxes; // one per unit
    std::vector<int> m_axisOf;             // signal -> index into m_valueAxes
    QTimer m_tick;
    bool m_paused = false;
    bool m_dirty = true;
    double m_span = 10; // seconds in sight
    double m_to = 10;
    double m_cursorTime = -1; // under the pointer; -1: the newest values
    uint64_t m_redraws = 0;
    uint64_t m_framesDrawn = 0;
};
