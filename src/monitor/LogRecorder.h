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

class TLogRecorder {
public:
    static constexpr int FlushIntervalMs = 500;

    // Creates (or empties) `path` and writes the format's header; false with the message.
    bool Start(const QString &path, TLogFormat format, QString *error);
    void Add(const TFrameRow &row);
    // Hands what was gathered to the file and the disk. False when the recording stopped (now
    // or before); Error() then says why.
    bool Flush();
    // Flushes and closes; nothing more is recorded.
    void Stop();

    bool Recording() const { return m_file.isOpen(); }
    QString Path() const { return m_path; }
    TLogFormat Format() const { return m_format; }
    QString Error() const { return m_error; }
    uint64_t Lines() const { return m_lines; }
    uint64_t LeftOut() const { return m_leftOut; } // frames candump has no place for

private:
    bool Fail(const QString &reason);

    QFile m_file;
    QString m_path;
    TLogFormat m_format = TLogFormat::Candump;
    QByteArray m_buffer;
    qint64 m_written = 0; // bytes of whole records in the file
    uint64_t m_lines = 0;
    uint64_t m_leftOut = 0;
    QString m_error;
};
