#pragma once
// A log opened in a Frame Monitor window of its own, with no module: the log is read a batch
// at a time from the event loop into the window's own frame store, with a progress bar and
// Cancel. The first batch is small, so the first rows show at once; later ones end after a few
// milliseconds, so the window stays usable whatever the reader's pace. Its times are the log's.
// A log longer than the history keeps its last rows, and the window's title says so.

#include "ui/framemonitor/FrameMonitor.h"

class TLogReader;
class QProgressDialog;

class TLogLoader : public QObject {
    Q_OBJECT

public:
    // Frames read per turn of the event loop, at most; the first turn reads fewer.
    static constexpr int BatchFrames = 20000;
    static constexpr int FirstBatchFrames = 1000;
    // A turn ends after this long even short of BatchFrames: input waits no longer than this.
    static constexpr int BatchMs = 15;

    TLogLoader(std::unique_ptr<TLogReader> reader, std::unique_ptr<TFrameStore> store, TFrameMonitor *window,
               const QString &fileName);
    ~TLogLoader() override;

    bool Loading() const { return m_loading; }
    uint64_t Frames() const { return m_frames; }
    // Frames the module cannot carry (CAN FD, error frames): not in the rows, counted.
    uint64_t LeftOut() const { return m_leftOut; }
    const QString &Problem() const { return m_problem; }
    // Reads the next batch; false once the log is read, cancelled or broken.
    bool ReadBatch();
    int Batches() const { return m_batches; }
    void Cancel();

signals:
    void Finished();

private:
    void Step();
    void Finish();

    std::unique_ptr<TLogReader> m_reader;
    std::unique_ptr<TFrameStore> m_store;
    TFrameMonitor *m_window;
    QString m_fileName;
    QProgressDialog *m_progress = nullptr;
    QByteArray m_line; // one module line and its CR, reused
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
