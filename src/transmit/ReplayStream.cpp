#include "transmit/ReplayStream.h"

#include <QTimer>

TReplayStream::TReplayStream(TReplaySource source, const TReplayOptions &options, TMicroClock clock,
                             TLineSender send, QObject *parent)
    : QObject(parent), m_source(std::move(source)), m_options(options), m_now(std::move(clock)), m_send(std::move(send))
{
    m_loops = options.Loops;
    m_options.Loops = 1; // each chunk once; the passes are the stream's
}

TReplayStream::~TReplayStream()
{
    delete m_runner;
}

void TReplayStream::Start()
{
    m_running = true;
    if (!StartChunk(false)) {
        m_running = false;
        emit Finished(false);
    }
}

void TReplayStream::Stop()
{
    if (!m_running)
        return;
    m_running = false;
    if (m_runner) {
        m_runner->disconnect(this);
        m_runner->Stop();
        Account();
    }
    emit Finished(false);
}

void TReplayStream::Account()
{
    const TReplayClock &c = m_runner->Clock();
    m_sent += c.Sent();
    m_sentThisPass += c.Sent();
    m_skipped += c.Skipped() - (m_carried && c.Skipped() > 0 ? 1 : 0);
    m_notChosen += c.NotChosen();
}

int64_t TReplayStream::Sent() const
{
    return m_sent + (m_running && m_runner ? m_runner->Clock().Sent() : 0);
}

int64_t TReplayStream::Skipped() const
{
    return m_skipped;
}

int64_t TReplayStream::NotChosen() const
{
    return m_notChosen;
}

int64_t TReplayStream::FramesInRun() const
{
    if (m_toSendPerPass < 0 || m_loops == 0)
        return -1;
    return m_toSendPerPass * m_loops;
}

bool TReplayStream::StartChunk(bool carryLast)
{
    QVector<TLogFrame> chunk;
    chunk.reserve(ChunkFrames + 1);
    if (carryLast && m_haveLast) {
        // Played as a frame the module cannot send: it keeps the gap and goes nowhere.
        TLogFrame marker = m_last;
        marker.Error = true;
        chunk.append(marker);
    }
    const qsizetype carried = chunk.size();
    TLogFrame f;
    while (chunk.size() < ChunkFrames + carried && m_source.next(f))
        chunk.append(std::move(f));
    if (chunk.size() == carried) {
        // The pass is over: another one if asked for, and only if this one sent anything (a log
        // of nothing to send would otherwise be read again and again).
        ++m_passes;
        const bool more = (m_loops == 0 || m_passes < m_loops) && m_sentThisPass > 0 && m_source.rewind
                          && m_source.rewind();
        m_sentThisPass = 0;
        if (!more)
            return false;
        m_haveLast = false;
        return StartChunk(false); // the new pass begins where the last frame was due
    }
    m_last = chunk.last();
    m_haveLast = true;
    m_carried = carried > 0;
    if (m_runner)
        m_runner->deleteLater();
    m_runner = new TReplayRunner(chunk, m_options, m_now, m_send);
    connect(m_runner, &TReplayRunner::Finished, this, &TReplayStream::ChunkFinished);
    connect(m_runner, &TReplayRunner::Waiting, this, [this](int64_t waitUs, int64_t frame) { emit Waiting(waitUs, m_sent + frame); });
    if (m_passes == 0) {
        m_toSendSoFar += m_runner->Clock().FramesPerPass();
        if (chunk.size() < ChunkFrames + carried) // the source ran dry: the whole log is known
            m_toSendPerPass = m_toSendSoFar;
    }
    m_runner->Start();
    return true;
}

void TReplayStream::ChunkFinished(bool failed)
{
    if (!m_running)
        return;
    Account();
    if (failed) {
        m_running = false;
        emit Finished(true);
        return;
    }
    // The next chunk starts from the event loop, not inside the finished runner's signal.
    QTimer::singleShot(0, this, [this] {
        if (!m_running || StartChunk(true))
            return;
        m_running = false;
        emit Finished(false);
    });
}
