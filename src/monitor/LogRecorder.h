#pragma once
// Record to file: every line is appended to a log file as it comes, through the format's
// writer. Lines are gathered in memory and handed to the system, and then to the disk, at least
// every FlushIntervalMs (the owner's timer calls Flush), so a crash or a power cut loses at most
// that much. A write the system refuses (a full disk) stops the recording with a message naming
// the file and the system's reason; the file keeps every whole record written before.

#include "monitor/LogWriters.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

class TLogRecorder {
public:
    static constexpr int FlushIntervalMs = 500;

    // Creates (or empties) `path` and writes the format's header; false with the message.
    // `startUs`: when the recording began (ASC and TRC count from it); 0: now.
    bool Start(const QString &path, TLogFormat format, QString *error, int64_t startUs = 0);
    void Add(const TFrameRow &row);
    // Hands what was gathered to the file and the disk. False when the recording stopped (now
    // or before); Error() then says why.
    bool Flush();
    // Writes the format's end (ASC's), flushes and closes; nothing more is recorded.
    void Stop();

    bool Recording() const { return m_file.isOpen(); }
    QString Path() const { return m_path; }
    TLogFormat Format() const { return m_format; }
    QString Error() const { return m_error; }
    uint64_t Lines() const { return m_lines; }
    uint64_t LeftOut() const { return m_encoder.LeftOut(); } // frames with a wrong checksum the format has no place for

private:
    bool Fail(const QString &reason);
    // Writes the buffer and empties it; 0, or the system's error number (the file's end then
    // marks the last whole record that reached it).
    int WriteBuffer();

    QFile m_file;
    QString m_path;
    TLogFormat m_format = TLogFormat::Candump;
    TLogEncoder m_encoder{TLogFormat::Candump};
    QByteArray m_buffer;
    std::vector<qsizetype> m_recordEnds; // where each record in m_buffer ends, in order
    qint64 m_written = 0; // bytes of whole records in the file
    uint64_t m_lines = 0;
    QString m_error;
};
