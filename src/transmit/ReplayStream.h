#pragma once
// Plays a log that is read as it plays, so its length costs no memory: the frames come from a
// source a chunk at a time and each chunk is played by a TReplayRunner. A chunk begins with the
// last frame of the one before, not sent, so the gap between them is kept; another pass starts
// the source again where the last frame was due.

#include "transmit/ReplayRunner.h"

#include <QObject>

#include <functional>
#include <memory>

struct TReplaySource {
    // The next frame of the log; false at its end.
    std::function<bool(TLogFrame &)> next;
    // Starts the log again for another pass; false when it cannot (standard input, a problem).
    std::function<bool()> rewind;
};

class TReplayStream : public QObject {
    Q_OBJECT

public:
    static constexpr int ChunkFrames = 4096;

    TReplayStream(TReplaySource source, const TReplayOptions &options, TMicroClock clock, TLineSender send,
                  QObject *parent = nullptr);
    ~TReplayStream() override;

    void Start();
    void Stop();
    int64_t Sent() const;
    int64_t Skipped() const;   // CAN FD and error frames
    int64_t NotChosen() const;
    // Frames to send in the whole run, once the first pass has read the log to its end; -1 before
    // that, and for a run until stopped.
    int64_t FramesInRun() const;

signals:
    void Finished(bool failed);
    // As the runner's: nothing goes out for `waitUs`, `frame` (from 1) of the run is that far.
    void Waiting(int64_t waitUs, int64_t frame);

private:
    // Reads the next chunk and starts its runner; false when the log (and its passes) is done.
    bool StartChunk(bool carryLast);
    void ChunkFinished(bool failed);
    void Account();

    TReplaySource m_source;
    TReplayOptions m_options;
    TMicroClock m_now;
    TLineSender m_send;
    TReplayRunner *m_runner = nullptr;
    TLogFrame m_last;
    bool m_haveLast = false;
    bool m_carried = false; // the running chunk begins with a frame carried over, not sent
    int m_loops = 1;
    int m_passes = 0;
    int64_t m_sentThisPass = 0;
    int64_t m_sent = 0, m_skipped = 0, m_notChosen = 0;
    int64_t m_toSendSoFar = 0; // frames to send in the chunks of the first pass read so far
    int64_t m_toSendPerPass = -1;
    bool m_running = false;
};
