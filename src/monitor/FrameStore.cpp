#include "monitor/FrameStore.h"

#include <algorithm>

namespace {

constexpr int TimeBits = 49;
constexpr int64_t TimeBias = int64_t(1) << (TimeBits - 1); // about 8.9 years either side of the base
constexpr uint64_t TimeLowBits = 35;
constexpr size_t BlockBytes = size_t(1) << 20;

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
    const auto size = size_t(line.raw.size());
    if (m_blocks.empty() || (m_blocks.back().bytes.size() + size > BlockBytes && !m_blocks.back().bytes.empty())) {
        Block block;
        block.base = m_bytesEnd;
        block.bytes.reserve(std::max(BlockBytes, size));
        m_blocks.push_back(std::move(block));
    }
    m_blocks.back().bytes.append(line.raw.data(), size);
    m_bytesEnd += size;
    const uint64_t end = m_bytesEnd;
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

const std::string &TFrameStore::BlockAt(uint64_t offset, uint64_t &blockBase) const
{
    // The last block whose base is at or before the offset.
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), offset,
                               [](uint64_t o, const Block &b) { return o < b.base; });
    --it;
    blockBase = it->base;
    return it->bytes;
}

void TFrameStore::DropOldest(qsizetype rows)
{
    rows = std::min(rows, Count());
    if (rows <= 0)
        return;
    const uint64_t newBase = End(rows - 1);
    uint64_t blockBase = 0;
    const std::string &last = BlockAt(newBase - 1, blockBase);
    m_firstAfterCr = last[size_t(newBase - 1 - blockBase)] == '\r';
    while (m_blocks.size() > 1 && m_blocks[1].base <= newBase)
        m_blocks.pop_front();
    if (newBase == m_bytesEnd)
        m_blocks.clear();
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
    if (!m_blocks.empty() && !m_blocks.back().bytes.empty())
        m_firstAfterCr = m_blocks.back().bytes.back() == '\r';
    m_bytesBase = m_bytesEnd;
    std::deque<Block>().swap(m_blocks);
    m_firstNumber += uint64_t(Count());
    m_dropped = 0;
    std::deque<Packed>().swap(m_records);
}

bool TFrameStore::AfterCr(qsizetype row) const
{
    const uint64_t begin = Begin(row);
    if (begin == m_bytesBase)
        return m_firstAfterCr;
    uint64_t blockBase = 0;
    const std::string &block = BlockAt(begin - 1, blockBase);
    return block[size_t(begin - 1 - blockBase)] == '\r';
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
    uint64_t blockBase = 0;
    const std::string &block = BlockAt(begin, blockBase);
    return QByteArrayView(block.data() + (begin - blockBase), qsizetype(End(row) - begin));
}

void TFrameStore::AppendRawRows(QByteArray &out, qsizetype first, qsizetype end) const
{
    if (first >= end)
        return;
    uint64_t from = Begin(first);
    const uint64_t to = End(end - 1);
    out.reserve(out.size() + qsizetype(to - from));
    while (from < to) {
        uint64_t blockBase = 0;
        const std::string &block = BlockAt(from, blockBase);
        const uint64_t blockEnd = std::min<uint64_t>(to, blockBase + block.size());
        out.append(block.data() + (from - blockBase), qsizetype(blockEnd - from));
        from = blockEnd;
    }
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
