#include "monitor/LineSplitter.h"

#include <cstring>

QByteArrayView TLineSplitter::TextOf(QByteArrayView raw, bool afterCr, bool terminated)
{
    qsizetype begin = 0;
    qsizetype end = raw.size();
    if (afterCr && end > 0 && raw[0] == '\n')
        begin = 1;
    if (terminated) {
        if (end - begin >= 2 && raw[end - 1] == '\n' && raw[end - 2] == '\r')
            end -= 2;
        else if (end > begin && raw[end - 1] == '\r')
            end -= 1;
        if (end > begin && raw[end - 1] == '\n')
            end -= 1;
    }
    return raw.sliced(begin, end - begin);
}

qsizetype TLineSplitter::FirstLineEnd(QByteArrayView bytes)
{
    const qsizetype cr = bytes.indexOf('\r');
    if (cr < 0)
        return -1;
    return cr + 1 < bytes.size() && bytes[cr + 1] == '\n' ? cr + 2 : cr + 1;
}

void TLineSplitter::Feed(QByteArrayView read, int64_t timeUs, const Sink &sink)
{
    const qsizetype n = read.size();
    if (n <= 0)
        return;
    const char *p = read.data();
    m_pendingTimeUs = timeUs;
    qsizetype from = 0;
    if (m_afterCr && m_pending.isEmpty() && p[0] == '\n') {
        // The line feed of the CR that ended the last read's line.
        m_pending.append('\n');
        m_pendingText = 1;
        from = 1;
    }
    m_afterCr = false;
    while (from < n) {
        const void *cr = std::memchr(p + from, '\r', size_t(n - from));
        if (!cr) {
            m_pending.append(p + from, n - from);
            m_afterCr = false;
            if (m_longestLine > 0 && m_pending.size() > m_longestLine) {
                ++m_cutLines;
                TLine line;
                line.timeUs = timeUs;
                line.raw = m_pending;
                line.text = PendingText();
                line.terminated = false;
                line.cut = true;
                sink(line);
                m_pending.resize(0);
                m_pendingText = 0;
            }
            return;
        }
        qsizetype end = static_cast<const char *>(cr) - p + 1;
        const bool lineFeed = end < n && p[end] == '\n';
        if (lineFeed)
            ++end;
        TLine line;
        line.timeUs = timeUs;
        if (m_pending.isEmpty()) {
            line.raw = QByteArrayView(p + from, end - from); // no copy for a line within one read
        } else {
            m_pending.append(p + from, end - from);
            line.raw = m_pending;
        }
        line.text = TextOf(line.raw, m_pendingText == 1, true);
        sink(line);
        m_pending.resize(0);
        m_pendingText = 0;
        from = end;
        m_afterCr = !lineFeed;
    }
}

void TLineSplitter::Finish(const Sink &sink)
{
    if (!HasPendingText())
        return;
    TLine line;
    line.raw = m_pending;
    line.text = PendingText();
    line.timeUs = m_pendingTimeUs;
    line.terminated = false;
    sink(line);
    m_pending.resize(0);
    m_pendingText = 0;
    m_afterCr = false;
}
