#pragma once
// The one way every input file is opened: profiles, transmit lists, databases and logs, in the
// window and the command-line tools alike.
//
// A regular file is read; "-" is standard input when it is a regular file or a pipe; a pipe
// reached through a path (/dev/stdin, /dev/fd/N, a shell's <(...)) is read too. A named FIFO,
// a device, a terminal, a socket file or a directory is refused by name before anything is read:
// the path is opened without waiting (a FIFO would block in open) and the opened descriptor is
// examined, so there is no window between the check and the read. Whole reads stop at the
// kind's limit; streams never hold more than their buffer. Waiting on a pipe ends when the
// cancel hook is raised.

#include <QByteArray>
#include <QString>

#include <atomic>

// Cancellation seen by a read that waits. Requested() must be cheap and safe to call at any
// time; WakeDescriptor(), when not -1, becomes readable once a request is made, so a read that
// waits on a pipe wakes up at once instead of at the pipe's next byte.
class TInputCancel {
public:
    virtual ~TInputCancel() = default;
    virtual bool Requested() const = 0;
    virtual int WakeDescriptor() const { return -1; }
};

// A cancel hook raised by hand (a Cancel button, a test).
class TInputCancelFlag : public TInputCancel {
public:
    TInputCancelFlag();
    ~TInputCancelFlag() override;
    TInputCancelFlag(const TInputCancelFlag &) = delete;
    TInputCancelFlag &operator=(const TInputCancelFlag &) = delete;

    void Raise();
    bool Requested() const override;
    int WakeDescriptor() const override { return m_pipe[0]; }

private:
    int m_pipe[2] = {-1, -1};
    std::atomic<bool> m_raised{false}; // raised from another thread than the read's
};

enum class TInputKind { Profile, TransmitList, Database, Log };

// The most bytes a whole read of this kind takes (logs are streamed: no limit).
qint64 InputLimit(TInputKind kind);
// "a profile", "a transmit list", ...: for messages.
QString InputKindName(TInputKind kind);

enum class TInputResult { Read, Refused, Interrupted };

// Reads the named input whole. On Refused or Interrupted, problem says why, naming the input
// ("interrupted" or "terminated" comes from the hook's owner; here it is "interrupted").
TInputResult ReadInputFile(const QString &name, TInputKind kind, QByteArray &bytes, QString &problem,
                           const TInputCancel *cancel = nullptr);

// A sequential reader of a regular file or a pipe, for inputs read as they come (logs). Memory
// stays at its buffer whatever the input's length.
class TInputStream {
public:
    TInputStream() = default;
    ~TInputStream();
    TInputStream(const TInputStream &) = delete;
    TInputStream &operator=(const TInputStream &) = delete;

    // Opens as ReadInputFile does; false with Problem() set when refused.
    bool Open(const QString &name, const TInputCancel *cancel = nullptr);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Up to max bytes; 0 only at the end of the input; -1 on a failure or an interrupt
    // (Problem(), Interrupted()). Waits on a pipe until bytes come, the writer closes or the
    // cancel hook is raised.
    qint64 Read(char *data, qint64 max);
    // The next line without its line feed (a carriage return before it is kept); the last line
    // needs no line feed. False at the end, on a failure, an interrupt, or a line longer than
    // maxLine (a problem naming the line).
    bool ReadLine(QByteArray &line, qint64 maxLine = 1 << 20);

    bool AtEnd() const { return m_atEnd && m_bufferPos >= m_buffer.size(); }
    bool Interrupted() const { return m_interrupted; }
    const QString &Problem() const { return m_problem; }
    // Bytes handed out so far, and the input's size (-1 for a pipe): for progress.
    qint64 Position() const { return m_position; }
    qint64 Size() const { return m_size; }
    bool IsPipe() const { return m_pipe; }
    const QString &Name() const { return m_name; }
    // Lines returned by ReadLine so far.
    qint64 LineNumber() const { return m_lines; }

private:
    qint64 rawRead(char *data, qint64 max);
    bool fill();

    int m_fd = -1;
    bool m_ownsFd = false;
    bool m_pipe = false;
    bool m_atEnd = false;
    bool m_interrupted = false;
    qint64 m_size = -1;
    qint64 m_position = 0;
    qint64 m_lines = 0;
    QString m_name;
    QString m_problem;
    QByteArray m_buffer;
    qsizetype m_bufferPos = 0;
    const TInputCancel *m_cancel = nullptr;
};
