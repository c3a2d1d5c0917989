#pragma once
// A log opened in a Frame Monitor window of its own, with no module. A thread of its own reads
// the log and turns each frame into the module line that carries it; the window takes what it
// has at each turn of its event loop into its own frame store, so the first rows show at once,
// the window stays usable and Cancel works whatever the reader's pace (a pipe that stalls
// included). Its times are the log's. A log longer than the history keeps its last rows, and the
// window's title says so.

#include "ui/framemonitor/FrameMonitor.h"

#include <memory>
#include <thread>

class TInputCancelFlag;
class TLogReader;
class QProgressDialog;

class TLogLoader : public QObject {
    Q_OBJECT

public:
    // Frames the reading thread holds for the window at most: it waits for the window beyond.
    static constexpr int BatchFrames = 8192;

    // `cancel` is the hook `reader` was opened with: it ends a wait on a pipe.
    TLogLoader(std::unique_ptr<TLogReader> reader, std::unique_ptr<TInputCancelFlag> cancel,
               std::unique_ptr<TFrameStore> store, TFrameMonitor *window, const QString &fileName);
    ~TLogLoader() override;

    bool Loading() const { return m_loading; }
    // Frames the window has taken so far.
    uint64_t Frames() const { return m_frames; }
    // Frames the module cannot carry (CAN FD, error frames): not in the rows, counted.
    uint64_t LeftOut() const { return m_leftOut; }
    const QString &Problem() const { return m_problem; }
    // Turns of the event loop that took frames.
    int Batches() const { return m_batches; }
    void Cancel();

signals:
    void Finished();

private:
    struct TShared;
    // The reading thread.
    void Read();
    // The window's turn: the lines read so far go into the store.
    void TakeLines();
    void StopReading();
    void Finish();

    std::unique_ptr<TInputCancelFlag> m_cancel; // outlives the reader that waits on it
    std::unique_ptr<TLogReader> m_reader;       // used by the reading thread only
    std::unique_ptr<TFrameStore> m_store;
    std::unique_ptr<TShared> m_shared;
    std::thread m_thread;
    TFrameMonitor *m_window;
    QString m_fileName;
    QProgressDialog *m_progress = nullptr;
    qint64 m_totalBytes = -1;
    // The lines taken at a turn, kept for their capacity.
    QByteArray m_lines;
    std::vector<int64_t> m_times;
    std::vector<uint8_t> m_sizes;
    int m_batches = 0;
    uint64_t m_frames = 0;
    uint64_t m_leftOut = 0;
    QString m_problem;
    bool m_loading = true;
};

// Opens `path` in a new Frame Monitor window (shown, deleted on close) and starts loading it;
// null with `problem` set when the file is refused or is no log.
TFrameMonitor *OpenLogWindow(const QString &path, QString &problem);
// The window's loader, or null for the live Frame Monitor.
TLogLoader *LogLoaderOf(TFrameMonitor *window);
// File > Open Log...: asks for a log and opens it (a refused file is reported in a message box).
void AskAndOpenLog(QWidget *parent);
// Logs dropped onto `window` open as File > Open Log... opens them.
void AcceptLogDrops(QWidget *window);
