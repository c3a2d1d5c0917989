#include "monitor/FrameStore.h"

#include <algorithm>

namespace {

constexpr int TimeBits = 49;
constexpr int64_t TimeBias = int64_t(1) << (TimeBits - 1); // about 8.9 years either side of the base
constexpr uint64_t TimeLowBits = 35;

} // namespace

void TFrameStore::Append(const char *data, qsizetype size, int64_t timeUs)
{
    if (size <= 0)
        return;
    m_totalBytes += uint64_t(size);
    m_splitter.Feed(QByteArrayView(data, size), timeUs, [this](const TLine &line) { AddLine(line); });
}

void TFrameStore::EndPendingLine()
{
    m_splitter.Finish([this](const TLine &line) { AddLine(line); });
}

void TFrameStore::AddLine(const TLine &line)
{
    if (!m_hasTimeBase) {
        m_timeBaseUs = line.timeUs;
        m_hasTimeBase = true;
    }
    // A clock set years away is held at the edge rather than wrapped.
    const int64_t offset = std::clamp<int64_t>(line.timeUs - m_timeBaseUs, -TimeBias, TimeBias - 1) + TimeBias;
    const auto time = uint64_t(offset);
    const TDecodedLine d = DecodeLine(line.text.data(), line.text.size());
    m_bytes.append(line.raw.data(), size_t(line.raw.size()));
    const uint64_t end = m_bytesBase + m_bytes.size();
    Packed p;
    p.a = end | uint64_t(d.kind) << 40 | uint64_t(d.checksum) << 43 | uint64_t(line.terminated) << 45
        | uint64_t(d.dlc) << 46 | (time >> TimeLowBits) << 50;
    p.b = uint64_t(d.id) | (time & ((uint64_t(1) << TimeLowBits) - 1)) << 29;
    m_records.push_back(p);
    ++m_totalLines;
    if (IsCanFrame(d.kind))
        ++m_totalFrames;
    if (m_observer) {
        TFrameRow row;
        row.timeUs = line.timeUs;
        row.text = line.text;
        row.raw = line.raw;
        row.terminated = line.terminated;
        row.decoded = d;
        m_observer(row);
    }
    if (Count() > m_capacity) {
        // A chunk at a time: the bytes move once per chunk, not once per line.
        DropOldest(std::max<qsizetype>(Count() - m_capacity, m_capacity / 32));
    }
}

void TFrameStore::DropOldest(qsizetype rows)
{
    rows = std::min(rows, Count());
    if (rows <= 0)
        return;
    const uint64_t newBase = End(rows - 1);
    const size_t bytes = size_t(newBase - m_bytesBase);
    m_firstAfterCr = bytes > 0 ? m_bytes[bytes - 1] == '\r' : m_firstAfterCr;
    m_bytes.erase(0, bytes);
    m_bytesBase = newBase;
    m_records.erase(m_records.begin(), m_records.begin() + rows);
    m_firstNumber += uint64_t(rows);
    m_dropped += uint64_t(rows);
}

void TFrameStore::SetCapacity(qsizetype rows)
{
    m_capacity = std::max(rows, MinimumCapacity);
    if (Count() > m_capacity)
        DropOldest(Count() - m_capacity);
}

void TFrameStore::Clear()
{
    if (!m_bytes.empty())
        m_firstAfterCr = m_bytes.back() == '\r';
    m_bytesBase += m_bytes.size();
    std::string().swap(m_bytes);
    m_firstNumber += uint64_t(Count());
    m_dropped = 0;
    std::deque<Packed>().swap(m_records);
}

bool TFrameStore::AfterCr(qsizetype row) const
{
    const uint64_t begin = Begin(row);
    return begin == m_bytesBase ? m_firstAfterCr : m_bytes[size_t(begin - m_bytesBase - 1)] == '\r';
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
    return QByteArrayView(m_bytes.data() + (begin - m_bytesBase), qsizetype(End(row) - begin));
}

QByteArrayView TFrameStore::RawRows(qsizetype first, qsizetype end) const
{
    if (first >= end)
        return QByteArrayView();
    const uint64_t begin = Begin(first);
    return QByteArrayView(m_bytes.data() + (begin - m_bytesBase), qsizetype(End(end - 1) - begin));
}

QByteArrayView TFrameStore::Text(qsizetype row) const
{
    return TLineSplitter::TextOf(Raw(row), AfterCr(row), (m_records[size_t(row)].a >> 45) & 1);
}

TFrameRow TFrameStore::Row(qsizetype row) const
{
    const TFrameRecord r = Record(row);
    TFrameRow out;
    out.timeUs = r.timeUs;
    out.raw = Raw(row);
    out.text = Text(row);
    out.terminated = r.terminated;
    out.decoded = DecodeLine(out.text.data(), out.text.size());
    return out;
}
