#include "monitor/LogRecorder.h"

#include <QDateTime>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Past this the gathered lines go out at once, whatever the timer.
constexpr qsizetype FlushBytes = 256 * 1024;

} // namespace

bool TLogRecorder::Start(const QString &path, TLogFormat format, QString *error, int64_t startUs)
{
    Stop();
    m_path = path;
    m_format = format;
    m_error.clear();
    m_lines = 0;
    m_written = 0;
    if (startUs == 0)
        startUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    m_encoder = TLogEncoder(format, startUs);
    m_buffer = m_encoder.Header();
    m_recordEnds.assign(1, m_buffer.size());
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
    m_encoder.Append(m_buffer, row);
    m_recordEnds.push_back(m_buffer.size());
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
    m_recordEnds.clear();
    return false;
}

int TLogRecorder::WriteBuffer()
{
    const int fd = m_file.handle();
    const char *p = m_buffer.constData();
    const qsizetype size = m_buffer.size();
    qsizetype done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, std::size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n == 0 ? ENOSPC : errno; // a write that takes nothing is a full disk
            break;
        }
        done += n;
    }
    if (error == 0) {
        m_written += done;
    } else {
        // The file keeps every whole record that reached it; one cut short is dropped.
        const auto whole = std::upper_bound(m_recordEnds.begin(), m_recordEnds.end(), done);
        m_written += whole == m_recordEnds.begin() ? 0 : *(whole - 1);
    }
    m_buffer.clear();
    m_recordEnds.clear();
    return error;
}

bool TLogRecorder::Flush()
{
    if (!Recording())
        return m_error.isEmpty();
    if (!m_buffer.isEmpty()) {
        if (const int error = WriteBuffer())
            return Fail(QString::fromLocal8Bit(std::strerror(error)));
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
    m_buffer += m_encoder.Footer();
    m_recordEnds.push_back(m_buffer.size());
    Flush();
    m_file.close();
}
