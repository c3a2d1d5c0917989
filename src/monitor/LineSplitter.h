#pragma once
// Splits the module's byte stream, read by read, into its lines: a line ends at a carriage
// return, and a line feed right before or right after that CR belongs to the line end (a module
// set to end its lines with CR LF or LF CR). Every byte belongs to exactly one line's raw bytes,
// so the raw lines joined are the stream as read; the line's text leaves its end out. A line
// completed by a CR is handed on at once: a line feed that comes with the next read is the first
// raw byte of the next line, and left out of its text.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <functional>

struct TLine {
    QByteArrayView raw;  // every byte of the line, its end included
    QByteArrayView text; // without the line end
    int64_t timeUs = 0;  // of the read that completed the line
    bool terminated = true; // false: ended without its CR (a new connection began, or cut)
    bool cut = false;       // handed on unfinished: longer than the longest line allowed
};

class TLineSplitter {
public:
    using Sink = std::function<void(const TLine &)>;

    // The longest line the module sends is a 29-bit data frame with eight bytes, a checksum and
    // CR LF (30 bytes); settings replies are shorter. This leaves room to spare.
    static constexpr qsizetype LongestModuleLine = 64;

    // A pending line that grows past `bytes` without its CR (a wrong baud rate gives a stream
    // with none) is handed on as it stands, unterminated and marked cut, and counted: memory
    // stays bounded whatever arrives. 0, the default, sets no limit.
    void SetLongestLine(qsizetype bytes) { m_longestLine = bytes; }
    uint64_t CutLines() const { return m_cutLines; }

    // One read, as it came, at `timeUs`; `sink` gets each line it completes, in order. The
    // views it gets are valid during the call only.
    void Feed(QByteArrayView read, int64_t timeUs, const Sink &sink);
    // Hands on the pending line as it stands, without its CR, when it has any text: bytes of a
    // new connection are not joined to what the last one left half-sent.
    void Finish(const Sink &sink);

    // The bytes of the line still waiting for its CR, and its text so far.
    QByteArrayView PendingRaw() const { return m_pending; }
    QByteArrayView PendingText() const { return QByteArrayView(m_pending).sliced(m_pendingText); }
    bool HasPendingText() const { return m_pending.size() > m_pendingText; }
    int64_t PendingTimeUs() const { return m_pendingTimeUs; }

    // The text of a raw line: without a leading LF when the line began right after a CR, and
    // without its CR and a LF beside it when `terminated`.
    static QByteArrayView TextOf(QByteArrayView raw, bool afterCr, bool terminated);
    // Where the first line of `bytes` ends (past its CR and a LF beside it), or -1: what follows
    // a reply in the same read.
    static qsizetype FirstLineEnd(QByteArrayView bytes);

private:
    QByteArray m_pending;
    qsizetype m_pendingText = 0; // 1 when the pending bytes begin with a LF that ends the last line
    int64_t m_pendingTimeUs = 0;
    bool m_afterCr = true;       // the last byte seen was a CR (or the stream is new)
    qsizetype m_longestLine = 0;
    uint64_t m_cutLines = 0;
};
