#pragma once
// The bytes of one log, read a block at a time from an input stream (a file or a pipe): lines for the text formats,
// runs of exact length for the binary ones. Only the current block and what is asked for are held,
// so memory does not grow with the log; a run longer than its limit is refused, never allocated.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

class TInputStream;

class TByteSource {
public:
    static constexpr qsizetype BlockBytes = 256 * 1024;
    static constexpr qsizetype LineLimit = 64 * 1024;

    // Reads `input`, which the owner keeps open while the source is used.
    explicit TByteSource(TInputStream *input) : m_input(input) {}
    // Reads bytes already in memory (tests, fuzzing).
    explicit TByteSource(QByteArray bytes) : m_buf(std::move(bytes)), m_eof(true) {}

    // Up to `n` bytes from the current position without taking them (fewer only at the end).
    QByteArrayView Peek(qsizetype n);
    // The next line without its LF or CR LF; false at the end. A line over LineLimit is an error.
    bool ReadLine(QByteArrayView &line);
    // Exactly `n` bytes (valid until the next call); false when the log ends first.
    bool Read(qsizetype n, QByteArrayView &out);
    bool Skip(qint64 n);
    bool AtEnd();
    // The bytes that can be taken without reading (a pipe's reader must not wait for more).
    qsizetype Buffered() const { return m_buf.size() - m_pos; }
    // Bytes taken so far: the offset of the next byte.
    qint64 Offset() const { return m_offset; }
    // Why the last call failed, beyond the log's end: the device's error or an over-long line.
    const QString &Error() const { return m_error; }

private:
    // Makes at least `n` bytes available from m_pos, reading as needed; false at the end.
    bool Fill(qsizetype n);

    TInputStream *m_input = nullptr;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    qint64 m_offset = 0;
    bool m_eof = false;
    QString m_error;
};
