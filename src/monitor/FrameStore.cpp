#include "monitor/FrameStore.h"

#include <cstring>

void TFrameStore::Append(const char *data, qsizetype size, int64_t timeUs)
{
    if (size <= 0)
        return;
    m_totalBytes += uint64_t(size);
    const size_t start = m_bytes.size();
    m_bytes.append(data, size_t(size));
    m_pendingTimeUs = timeUs;
    const char *base = m_bytes.data();
    size_t from = start;
    while (from < m_bytes.size()) {
        const void *cr = std::memchr(base + from, '\r', m_bytes.size() - from);
        if (!cr)
            break;
        const size_t end = size_t(static_cast<const char *>(cr) - base) + 1;
        AddRecord(end, timeUs, true);
        from = end;
    }
}

void TFrameStore::EndPendingLine()
{
    if (HasPending())
        AddRecord(m_bytes.size(), m_pendingTimeUs, false);
}

void TFrameStore::AddRecord(uint64_t end, int64_t timeUs, bool terminated)
{
    TFrameRecord r;
    r.end = end;
    r.timeUs = timeUs;
    r.terminated = terminated;
    const size_t textEnd = terminated ? end - 1 : end;
    const TDecodedLine d = DecodeLine(m_bytes.data() + m_pendingBegin, qsizetype(textEnd - m_pendingBegin));
    r.kind = d.kind;
    r.id = d.id;
    r.dlc = d.dlc;
    r.checksum = d.checksum;
    m_records.push_back(r);
    m_pendingBegin = end;
    ++m_totalLines;
    if (IsCanFrame(d.kind))
        ++m_totalFrames;
}

void TFrameStore::Clear()
{
    m_bytes.erase(0, m_pendingBegin);
    m_bytes.shrink_to_fit();
    m_pendingBegin = 0;
    std::deque<TFrameRecord>().swap(m_records);
}

QByteArrayView TFrameStore::Raw(qsizetype row) const
{
    const uint64_t begin = Begin(row);
    return QByteArrayView(m_bytes.data() + begin, qsizetype(m_records[size_t(row)].end - begin));
}

QByteArrayView TFrameStore::Text(qsizetype row) const
{
    const QByteArrayView raw = Raw(row);
    return m_records[size_t(row)].terminated ? raw.chopped(1) : raw;
}

QByteArrayView TFrameStore::PendingText() const
{
    return QByteArrayView(m_bytes.data() + m_pendingBegin, qsizetype(m_bytes.size() - m_pendingBegin));
}

TFrameRow TFrameStore::Row(qsizetype row) const
{
    TFrameRow out;
    out.timeUs = m_records[size_t(row)].timeUs;
    out.text = Text(row);
    out.terminated = m_records[size_t(row)].terminated;
    out.decoded = DecodeLine(out.text.data(), out.text.size());
    return out;
}
