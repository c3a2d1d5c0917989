#include "common/InputFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// The file system of anonymous pipes: a pipe reached through /dev/fd or /proc is one of these,
// a FIFO made with mkfifo lives on an ordinary file system.
constexpr long kPipeFsMagic = 0x50495045;
constexpr qint64 kChunk = 1 << 20;
constexpr qint64 kStreamBuffer = 1 << 16;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString shown(const QString &name)
{
    return name == QLatin1String("-") ? QStringLiteral("standard input") : name;
}

QString notRegular(const QString &name, const struct stat &st)
{
    const QString what = S_ISFIFO(st.st_mode)   ? QStringLiteral("a FIFO")
                         : S_ISDIR(st.st_mode)  ? QStringLiteral("a directory")
                         : S_ISCHR(st.st_mode)  ? QStringLiteral("a device")
                         : S_ISBLK(st.st_mode)  ? QStringLiteral("a block device")
                         : S_ISSOCK(st.st_mode) ? QStringLiteral("a socket")
                                                : QStringLiteral("not a regular file");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("%1 is a FIFO, not a regular file: give a file, or pipe it to standard input (-)").arg(name);
    return QStringLiteral("%1 is %2, not a regular file").arg(name, what);
}

struct TOpened {
    int fd = -1;
    bool owns = false;
    bool pipe = false;
    qint64 size = -1;
};

// Opens without waiting and examines what was opened; false with problem set when refused.
bool openInput(const QString &name, TOpened &out, QString &problem)
{
    struct stat st = {};
    if (name == QLatin1String("-")) {
        if (::fstat(STDIN_FILENO, &st) != 0) {
            problem = QStringLiteral("cannot read standard input: %1").arg(systemReason(errno));
            return false;
        }
        if (S_ISREG(st.st_mode)) {
            out = {STDIN_FILENO, false, false, qint64(st.st_size)};
            return true;
        }
        // The shell has already opened whatever FIFO or pipe it is: it has a writer.
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
            out = {STDIN_FILENO, false, true, -1};
            return true;
        }
        problem = ::isatty(STDIN_FILENO)
                      ? QStringLiteral("standard input is a terminal: give a file, or pipe it in")
                      : QStringLiteral("standard input is neither a file nor a pipe");
        return false;
    }
    if (name.isEmpty()) {
        problem = QStringLiteral("no file name given");
        return false;
    }
    // O_NONBLOCK: a FIFO would otherwise wait in open for a writer, a device for its line;
    // O_NOCTTY: a terminal must not become our controlling terminal.
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem = QStringLiteral("cannot read %1: %2").arg(name, systemReason(errno));
        return false;
    }
    if (::fstat(fd, &st) != 0) {
        problem = QStringLiteral("cannot read %1: %2").arg(name, systemReason(errno));
        ::close(fd);
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        out = {fd, true, false, qint64(st.st_size)};
        return true;
    }
    if (S_ISFIFO(st.st_mode)) {
        struct statfs fs = {};
        if (::fstatfs(fd, &fs) == 0 && long(fs.f_type) == kPipeFsMagic) {
            out = {fd, true, true, -1};
            return true;
        }
    }
    problem = ::isatty(fd) ? QStringLiteral("%1 is a terminal, not a regular file").arg(name) : notRegular(name, st);
    ::close(fd);
    return false;
}

// Waits until fd is readable or the hook is raised; false when raised.
bool waitReadable(int fd, const TInputCancel *cancel)
{
    for (;;) {
        if (cancel && cancel->Requested())
            return false;
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {cancel ? cancel->WakeDescriptor() : -1, POLLIN, 0}};
        const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1);
        if (n < 0 && errno != EINTR)
            return true; // let the read report it
        if (cancel && cancel->Requested())
            return false;
        if (n > 0 && fds[0].revents != 0)
            return true;
    }
}

QString interruptedText(const QString &name)
{
    return QStringLiteral("reading %1 interrupted").arg(shown(name));
}

QString tooLarge(const QString &name, TInputKind kind)
{
    return QStringLiteral("%1 is too large for %2 (more than %3 bytes)")
        .arg(shown(name), InputKindName(kind))
        .arg(InputLimit(kind));
}

} // namespace

TInputCancelFlag::TInputCancelFlag()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        m_pipe[0] = m_pipe[1] = -1;
}

TInputCancelFlag::~TInputCancelFlag()
{
    for (int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void TInputCancelFlag::Raise()
{
    m_raised = true;
    if (m_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_pipe[1], &byte, 1);
    }
}

bool TInputCancelFlag::Requested() const
{
    return m_raised;
}

qint64 InputLimit(TInputKind kind)
{
    switch (kind) {
    case TInputKind::Profile: return qint64(1) << 20;
    case TInputKind::TransmitList: return qint64(16) << 20;
    case TInputKind::Database: return qint64(256) << 20;
    case TInputKind::Log: break;
    }
    return std::numeric_limits<qint64>::max();
}

QString InputKindName(TInputKind kind)
{
    switch (kind) {
    case TInputKind::Profile: return QStringLiteral("a profile");
    case TInputKind::TransmitList: return QStringLiteral("a transmit list");
    case TInputKind::Database: return QStringLiteral("a CAN database");
    case TInputKind::Log: break;
    }
    return QStringLiteral("a log");
}

TInputResult ReadInputFile(const QString &name, TInputKind kind, QByteArray &bytes, QString &problem,
                           const TInputCancel *cancel)
{
    bytes.clear();
    const qint64 limit = InputLimit(kind);
    TInputStream stream;
    if (!stream.Open(name, cancel)) {
        problem = stream.Problem();
        return TInputResult::Refused;
    }
    if (stream.Size() > limit) {
        problem = tooLarge(name, kind);
        return TInputResult::Refused;
    }
    // One allocation for a regular file: its size and the byte that tells it grew.
    const qint64 expected = stream.Size() >= 0 ? stream.Size() + 1 : kChunk;
    bytes.resize(qsizetype(expected));
    qint64 have = 0;
    for (;;) {
        if (have == bytes.size())
            bytes.resize(qsizetype(qMin<qint64>(have * 2, limit + 1)));
        const qint64 n = stream.Read(bytes.data() + have, qMin<qint64>(bytes.size() - have, kChunk));
        if (n < 0) {
            bytes.clear();
            problem = stream.Problem();
            return stream.Interrupted() ? TInputResult::Interrupted : TInputResult::Refused;
        }
        if (n == 0)
            break;
        have += n;
        if (have > limit) {
            bytes.clear();
            problem = tooLarge(name, kind);
            return TInputResult::Refused;
        }
    }
    bytes.resize(qsizetype(have));
    return TInputResult::Read;
}

TInputStream::~TInputStream()
{
    Close();
}

bool TInputStream::Open(const QString &name, const TInputCancel *cancel)
{
    Close();
    m_name = name;
    m_cancel = cancel;
    m_problem.clear();
    m_interrupted = false;
    m_atEnd = false;
    m_position = 0;
    m_lines = 0;
    m_buffer.clear();
    m_bufferPos = 0;
    TOpened opened;
    if (!openInput(name, opened, m_problem))
        return false;
    m_fd = opened.fd;
    m_ownsFd = opened.owns;
    m_pipe = opened.pipe;
    m_size = opened.size;
    return true;
}

void TInputStream::Close()
{
    if (m_fd >= 0 && m_ownsFd)
        ::close(m_fd);
    m_fd = -1;
    m_ownsFd = false;
}

qint64 TInputStream::rawRead(char *data, qint64 max)
{
    if (m_atEnd || m_fd < 0 || max <= 0)
        return 0;
    for (;;) {
        if ((m_cancel && m_cancel->Requested()) || (m_pipe && !waitReadable(m_fd, m_cancel))) {
            m_interrupted = true;
            m_problem = interruptedText(m_name);
            return -1;
        }
        const ssize_t n = ::read(m_fd, data, size_t(max));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0) {
            m_problem = QStringLiteral("cannot read %1: %2").arg(shown(m_name), systemReason(errno));
            return -1;
        }
        if (n == 0)
            m_atEnd = true;
        return n;
    }
}

qint64 TInputStream::Read(char *data, qint64 max)
{
    // What ReadLine left buffered comes first.
    if (m_bufferPos < m_buffer.size()) {
        const qint64 n = qMin<qint64>(max, m_buffer.size() - m_bufferPos);
        std::memcpy(data, m_buffer.constData() + m_bufferPos, size_t(n));
        m_bufferPos += qsizetype(n);
        m_position += n;
        return n;
    }
    const qint64 n = rawRead(data, max);
    if (n > 0)
        m_position += n;
    return n;
}

bool TInputStream::fill()
{
    if (m_bufferPos > 0) {
        m_buffer.remove(0, m_bufferPos);
        m_bufferPos = 0;
    }
    const qsizetype have = m_buffer.size();
    m_buffer.resize(have + kStreamBuffer);
    const qint64 n = rawRead(m_buffer.data() + have, kStreamBuffer);
    m_buffer.resize(have + qMax<qint64>(n, 0));
    return n > 0;
}

bool TInputStream::ReadLine(QByteArray &line, qint64 maxLine)
{
    line.clear();
    qsizetype searchFrom = m_bufferPos;
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n', searchFrom);
        if ((lf >= 0 ? lf : m_buffer.size()) - m_bufferPos > maxLine) {
            m_problem = QStringLiteral("%1: line %2 is longer than %3 bytes").arg(shown(m_name)).arg(m_lines + 1).arg(maxLine);
            return false;
        }
        if (lf >= 0) {
            line = m_buffer.mid(m_bufferPos, lf - m_bufferPos);
            m_position += lf + 1 - m_bufferPos;
            m_bufferPos = lf + 1;
            ++m_lines;
            return true;
        }
        const qsizetype scanned = m_buffer.size() - m_bufferPos;
        if (!fill()) {
            if (m_interrupted || !m_problem.isEmpty())
                return false;
            if (m_bufferPos >= m_buffer.size())
                return false;
            line = m_buffer.mid(m_bufferPos);
            m_position += line.size();
            m_bufferPos = m_buffer.size();
            ++m_lines;
            return true;
        }
        searchFrom = m_bufferPos + scanned;
    }
}
