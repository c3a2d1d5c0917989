#pragma once
// src/monitor: the frame stream: line splitting, decoding, filters, the history, the log writers.
// Uses common and Qt Core; no widgets, so the command-line tools write logs through it too.
//
// Every line the receive loop read, split by the one line splitter, in one compact store: the
// bytes once (in blocks of about a megabyte, no line split between two), plus a small record per line (where it ends, when it came, its decoded identifier,
// kind and length). A line that spans several reads is joined; a line still waiting for its CR
// is pending until a later read completes it. The rows' bytes, concatenated, are exactly the
// bytes read since the last Clear, but for the pending line.
//
// The history is bounded: past Capacity() rows the oldest go, a chunk at a time. Rows are
// numbered from 0 for the oldest kept; FirstNumber() counts the rows dropped before it since the
// store was made, so Number = FirstNumber() + row names a line for as long as it is kept.

#include "monitor/FrameDecoder.h"
#include "monitor/LineSplitter.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

// One line's record as the store hands it out (it keeps it packed into 16 bytes).
struct TFrameRecord {
    uint64_t end = 0;  // stream offset just past the line's last byte
    int64_t timeUs = 0; // microseconds since the epoch, of the read that completed the line
    uint32_t id = 0;
    TFrameKind kind = TFrameKind::Other;
    uint8_t dlc = 0;
    TChecksum checksum = TChecksum::None;
    bool terminated = true; // false: the line was ended without its CR (a new connection began)
};

// One line as the log writers and the views take it.
struct TFrameRow {
    int64_t timeUs = 0;
    QByteArrayView text; // the line without its end
    QByteArrayView raw;  // the line as read, its end included; null when only the text is known
    bool terminated = true;
    TDecodedLine decoded;
};

class TFrameStore {
public:
    static constexpr qsizetype DefaultCapacity = 5000000;
    static constexpr qsizetype MinimumCapacity = 1000; // the least the window offers

    // One read, as it came, at `timeUs` (microseconds since the epoch).
    void Append(const char *data, qsizetype size, int64_t timeUs);
    void Append(const QByteArray &read, int64_t timeUs) { Append(read.constData(), read.size(), timeUs); }
    // Ends a pending line as it stands, without a CR: bytes of a new connection are not joined to
    // what the last one left half-sent.
    void EndPendingLine();
    // Drops every row; a pending line is kept so the line it belongs to stays whole.
    void Clear();

    // Rows kept at most (1 or more); lowering it drops the oldest rows now.
    void SetCapacity(qsizetype rows);
    qsizetype Capacity() const { return m_capacity; }
    // Rows dropped to keep within the capacity since the last Clear.
    uint64_t Dropped() const { return m_dropped; }
    // The number of row 0 among every row the store ever held (Clear and drops both move it).
    uint64_t FirstNumber() const { return m_firstNumber; }

    // Told of every line as it is stored, before any row is dropped for it: for recording.
    void SetLineObserver(std::function<void(const TFrameRow &)> observer) { m_observer = std::move(observer); }

    qsizetype Count() const { return qsizetype(m_records.size()); }
    TFrameRecord Record(qsizetype row) const;
    // The line's bytes without its end, and with it.
    QByteArrayView Text(qsizetype row) const;
    QByteArrayView Raw(qsizetype row) const;
    TFrameRow Row(qsizetype row) const;
    // The bytes of rows [first, end), appended to `out`.
    void AppendRawRows(QByteArray &out, qsizetype first, qsizetype end) const;

    bool HasPending() const { return m_splitter.HasPendingText(); }
    QByteArrayView PendingText() const { return m_splitter.PendingText(); }
    QByteArrayView PendingRaw() const { return m_splitter.PendingRaw(); }
    int64_t PendingTimeUs() const { return m_splitter.PendingTimeUs(); }
    // Every row's bytes, the pending line not included.
    QByteArray AllBytes() const
    {
        QByteArray out;
        AppendRawRows(out, 0, Count());
        return out;
    }

    // Running totals since the store was made (Clear keeps them): for rates.
    uint64_t TotalBytes() const { return m_totalBytes; }
    uint64_t TotalLines() const { return m_totalLines; }
    uint64_t TotalFrames() const { return m_totalFrames; } // lines that are CAN frames

private:
    // A million lines take 16 MB of records: the end offset (40 bits), the decoded fields, the
    // identifier (29 bits) and the time (49 bits, microseconds around the first line's time).
    struct Packed {
        uint64_t a; // end | kind << 40 | checksum << 43 | terminated << 45 | dlc << 46 | time high 14 bits << 50
        uint64_t b; // id | time low 35 bits << 29
    };
    static constexpr uint64_t EndBits = 40;
    void AddLine(const TLine &line);
    void DropOldest(qsizetype rows);
    uint64_t End(qsizetype row) const { return m_records[size_t(row)].a & ((uint64_t(1) << EndBits) - 1); }
    uint64_t Begin(qsizetype row) const { return row == 0 ? m_bytesBase : End(row - 1); }
    bool AfterCr(qsizetype row) const;
    // The block holding the byte at stream offset `offset`.
    const std::string &BlockAt(uint64_t offset, uint64_t &blockBase) const;

    // Dropping the oldest rows frees whole blocks: no byte is ever moved.
    struct Block {
        uint64_t base = 0; // stream offset of its first byte
        std::string bytes;
    };
    TLineSplitter m_splitter;
    std::deque<Block> m_blocks;
    uint64_t m_bytesBase = 0;  // stream offset of row 0's first byte
    uint64_t m_bytesEnd = 0;   // stream offset past the last row
    bool m_firstAfterCr = true; // the byte before row 0 was a CR (or there was none)
    std::deque<Packed> m_records; // grows in blocks: no copy of a million records at once
    qsizetype m_capacity = DefaultCapacity;
    uint64_t m_dropped = 0;
    uint64_t m_firstNumber = 0;
    std::function<void(const TFrameRow &)> m_observer;
    int64_t m_timeBaseUs = 0;
    bool m_hasTimeBase = false;
    uint64_t m_totalBytes = 0;
    uint64_t m_totalLines = 0;
    uint64_t m_totalFrames = 0;
};
