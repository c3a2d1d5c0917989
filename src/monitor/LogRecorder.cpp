#include "monitor/LogRecorder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Past this the gathered lines go out at once, whatever the timer.
constexpr qsizetype FlushBytes = 256 * 1024;

} // namespace

bool TLogRecorder::Start(const QString &path, TLogFormat format, QString *error)
{
    Stop();
    m_path = path;
    m_format = format;
    m_error.clear();
    m_lines = 0;
    m_leftOut = 0;
    m_written = 0;
    m_buffer = LogHeader(format);
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_error = QStringLiteral("Cannot create file \"%1\". %2").arg(path, m_file.errorString());
        if (error)
            *error = m_error;
        return false;
    }
    if (!Flush()) {
        if (error)
            *error = m_error;
        return false;
    }
    return true;
}

void TLogRecorder::Add(const TFrameRow &row)
{
    if (!Recording())
        return;
    ++m_lines;
    if (m_format == TLogFormat::Candump) {
        if (IsBadFrame(row.decoded))
            ++m_leftOut;
        AppendCandumpRecord(m_buffer, row);
    } else {
        m_buffer += LogRecord(m_format, row);
    }
    if (m_buffer.size() >= FlushBytes)
        Flush();
}

bool TLogRecorder::Fail(const QString &reason)
{
    m_error = QStringLiteral("Cannot write \"%1\": %2. Recording stopped; the lines recorded before are kept.")
                  .arg(m_path, reason);
    // A record cut short is no record: the file ends with the last whole one.
    if (!m_file.isSequential())
        m_file.resize(m_written);
    m_file.close();
    m_buffer.clear();
    return false;
}

bool TLogRecorder::Flush()
{
    if (!Recording())
        return m_error.isEmpty();
    if (!m_buffer.isEmpty()) {
        const qint64 wrote = m_file.write(m_buffer);
        if (wrote != m_buffer.size())
            return Fail(m_file.errorString());
        m_written += wrote;
        m_buffer.clear();
        // On the disk, not only in the system's cache: a power cut loses no more.
        if (::fdatasync(m_file.handle()) != 0 && errno != EINVAL && errno != EROFS)
            return Fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return true;
}

void TLogRecorder::Stop()
{
    if (!Recording())
        return;
    Flush();
    m_file.close();
}
