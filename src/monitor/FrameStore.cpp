#include "monitor/FrameStore.h"

#include <algorithm>
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

namespace {

constexpr int TimeBits = 49;
constexpr int64_t TimeBias = int64_t(1) << (TimeBits - 1); // about 8.9 years either side of the base
constexpr uint64_t TimeLowBits = 35;

} // namespace

void TFrameStore::AddRecord(uint64_t end, int64_t timeUs, bool terminated)
{
    if (!m_hasTimeBase) {
        m_timeBaseUs = timeUs;
        m_hasTimeBase = true;
    }
    // A clock set years away is held at the edge rather than wrapped.
    const int64_t offset = std::clamp<int64_t>(timeUs - m_timeBaseUs, -TimeBias, TimeBias - 1) + TimeBias;
    const auto time = uint64_t(offset);
    const size_t textEnd = terminated ? end - 1 : end;
    const TDecodedLine d = DecodeLine(m_bytes.data() + m_pendingBegin, qsizetype(textEnd - m_pendingBegin));
    Packed p;
    p.a = end | uint64_t(d.kind) << 40 | uint64_t(d.checksum) << 43 | uint64_t(terminated) << 45 | uint64_t(d.dlc) << 46
        | (time >> TimeLowBits) << 50;
    p.b = uint64_t(d.id) | (time & ((uint64_t(1) << TimeLowBits) - 1)) << 29;
    m_records.push_back(p);
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
    std::deque<Packed>().swap(m_records);
}

TFrameRecord TFrameStore::Record(qsizetype row) const
{
    const Packed &p = m_records[size_t(row)];
    TFrameRecord r;
    r.end = p.a & ((uint64_t(1) << EndBits) - 1);
    r.kind = TFrameKind((p.a >> 40) & 7);
    r.checksum = TChecksum((p.a >> 43) & 3);
    r.terminated = (p.a >> 45) & 1;
    r.dlc = uint8_t((p.a >> 46) & 15);
    r.id = uint32_t(p.b & 0x1FFFFFFF);
    const uint64_t time = (p.a >> 50) << TimeLowBits | p.b >> 29;
    r.timeUs = m_timeBaseUs + (int64_t(time) - TimeBias);
    return r;
}

QByteArrayView TFrameStore::Raw(qsizetype row) const
{
    const uint64_t begin = Begin(row);
    return QByteArrayView(m_bytes.data() + begin, qsizetype(End(row) - begin));
}

QByteArrayView TFrameStore::Text(qsizetype row) const
{
    const QByteArrayView raw = Raw(row);
    return (m_records[size_t(row)].a >> 45) & 1 ? raw.chopped(1) : raw;
}

QByteArrayView TFrameStore::PendingText() const
{
    return QByteArrayView(m_bytes.data() + m_pendingBegin, qsizetype(m_bytes.size() - m_pendingBegin));
}

TFrameRow TFrameStore::Row(qsizetype row) const
{
    const TFrameRecord r = Record(row);
    TFrameRow out;
    out.timeUs = r.timeUs;
    out.text = Text(row);
    out.terminated = r.terminated;
    out.decoded = DecodeLine(out.text.data(), out.text.size());
    return out;
}
