#pragma once
// A log opened in a Frame Monitor window of its own, with no module. A thread of its own reads
// the log and turns each frame into the module line that carries it; the window takes what it
// has at each turn of its event loop into its own frame store, so the first rows show at once,
// the window stays usable and Cancel works whatever the reader's pace (a pipe that stalls
// included). A pipe's format is told on that thread too, so the window shows at once while the
// writer is quiet. Its times are the log's. A log longer than the history keeps its last rows,
// and the window's title says so.

#include "logs/LogReader.h"
#include "ui/framemonitor/FrameMonitor.h"

#include <memory>
#include <thread>

class TInputCancelFlag;
class QProgressDialog;

class TLogLoader : public QObject {
    Q_OBJECT

public:
    // Frames the reading thread holds for the window at most: it waits for the window beyond.
    static constexpr int BatchFrames = 8192;

    // `reader` is the log opened; when null, the reading thread first tells `input`'s format.
    // `cancel` is the hook the input was opened with: it ends a wait on a pipe.
    TLogLoader(std::unique_ptr<TLogReader> reader, TLogInputPtr input,
               std::unique_ptr<TInputCancelFlag> cancel, std::unique_ptr<TFrameStore> store,
               TFrameMonitor *window, const QString &fileName);
    ~TLogLoader() override;

    bool Loading() const { return m_loading; }
    // Still waiting for a pipe's first bytes to tell its format (and for its first rows).
    bool Opening() const { return m_opening; }
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
    // The input is no log: the window closes and the problem shows in a message box.
    void Refuse();
    void DropProgress();

    std::unique_ptr<TInputCancelFlag> m_cancel; // outlives the reader that waits on it
    TLogInputPtr m_input;                       // until the reading thread makes it a reader
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
    bool m_opening = false;
};

// The name a log's window is titled by: the file's name, or the whole path when the name alone
// says nothing ("/dev/fd/63" from a shell's <(...), "/dev/stdin"), "standard input" for "-".
QString LogWindowName(const QString &path);

// Opens `path` in a new Frame Monitor window (shown, deleted on close) and starts loading it;
// null with `problem` set when the file is refused or is no log. A pipe's format is told once
// its bytes come: if it is no log, the window closes and says why in a message box.
TFrameMonitor *OpenLogWindow(const QString &path, QString &problem);
// The window's loader, or null for the live Frame Monitor.
TLogLoader *LogLoaderOf(TFrameMonitor *window);
// File > Open Log...: asks for a log and opens it (a refused file is reported in a message box).
void AskAndOpenLog(QWidget *parent);
// Logs dropped onto `window` open as File > Open Log... opens them.
void AcceptLogDrops(QWidget *window);
