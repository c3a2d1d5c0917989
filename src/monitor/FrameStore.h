#pragma once
// Every byte the receive loop read, split into module lines at CR, in one compact store: the
// bytes once, plus a small record per line (where it ends, when it came, its decoded identifier,
// kind and length). A line that spans several reads is joined; a line still waiting for its CR
// is pending until a later read completes it. The rows' bytes, concatenated, are exactly the
// bytes read since the last Clear (plus the pending line the Clear kept).

#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <deque>
#include <string>

// One line's record as the store hands it out (it keeps it packed into 16 bytes).
struct TFrameRecord {
    uint64_t end = 0;  // offset just past the line's last byte (its CR when it has one)
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
    QByteArrayView text; // the line without its CR
    bool terminated = true;
    TDecodedLine decoded;
};

class TFrameStore {
public:
    // One read, as it came, at `timeUs` (microseconds since the epoch).
    void Append(const char *data, qsizetype size, int64_t timeUs);
    void Append(const QByteArray &read, int64_t timeUs) { Append(read.constData(), read.size(), timeUs); }
    // Ends a pending line as it stands, without a CR: bytes of a new connection are not joined to
    // what the last one left half-sent.
    void EndPendingLine();
    // Drops every row; a pending line is kept so the line it belongs to stays whole.
    void Clear();

    qsizetype Count() const { return qsizetype(m_records.size()); }
    TFrameRecord Record(qsizetype row) const;
    // The line's bytes without its CR, and with it.
    QByteArrayView Text(qsizetype row) const;
    QByteArrayView Raw(qsizetype row) const;
    TFrameRow Row(qsizetype row) const;

    bool HasPending() const { return m_bytes.size() > m_pendingBegin; }
    QByteArrayView PendingText() const;
    int64_t PendingTimeUs() const { return m_pendingTimeUs; }
    // Everything read since the last Clear, pending bytes included.
    QByteArrayView AllBytes() const { return QByteArrayView(m_bytes.data(), qsizetype(m_bytes.size())); }

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
    void AddRecord(uint64_t end, int64_t timeUs, bool terminated);
    uint64_t End(qsizetype row) const { return m_records[size_t(row)].a & ((uint64_t(1) << EndBits) - 1); }
    uint64_t Begin(qsizetype row) const { return row == 0 ? 0 : End(row - 1); }

    std::string m_bytes;
    std::deque<Packed> m_records; // grows in blocks: no copy of a million records at once
    int64_t m_timeBaseUs = 0;
    bool m_hasTimeBase = false;
    size_t m_pendingBegin = 0;
    int64_t m_pendingTimeUs = 0;
    uint64_t m_totalBytes = 0;
    uint64_t m_totalLines = 0;
    uint64_t m_totalFrames = 0;
};
