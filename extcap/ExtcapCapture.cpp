#include "extcap/ExtcapCapture.h"

#include "cli/Interrupt.h"
#include "cli/ModuleLink.h"
#include "monitor/LineSplitter.h"
#include "monitor/LogWriters.h"
#include "protocol/ModuleModes.h"
#include "protocol/ModuleSession.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int64_t nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "k3316-extcap: %s\n", message.toLocal8Bit().constData());
    return code;
}

// Writes all of `bytes`; false with errno set when the fifo refuses them.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

class TFd {
public:
    explicit TFd(int fd) : m_fd(fd) {}
    ~TFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

int RunExtcapCapture(const TExtcapOptions &o, TInterrupt *interrupt)
{
    QString port;
    QString problem;
    if (!ExtcapCapturePort(o, port, problem))
        return fail(2, problem);
    // A reader that goes away is an end of the capture, told by write's EPIPE, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    // Wireshark made the fifo and opens it for reading; a plain file is written too (tests, or
    // a capture by hand).
    const TFd fifo(::open(QFile::encodeName(o.Fifo).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fifo.Get() < 0)
        return fail(1, QStringLiteral("cannot open %1: %2").arg(o.Fifo, QString::fromLocal8Bit(std::strerror(errno))));

    // The write end of a fifo polls as an error once the reader has closed it: that ends the
    // capture even while the bus is quiet. (A plain file would poll readable for ever.)
    bool readerGone = false;
    struct stat st = {};
    std::unique_ptr<QSocketNotifier> gone;
    if (::fstat(fifo.Get(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        gone = std::make_unique<QSocketNotifier>(fifo.Get(), QSocketNotifier::Read);
        QObject::connect(gone.get(), &QSocketNotifier::activated, [&readerGone, &gone] {
            readerGone = true;
            gone->setEnabled(false);
        });
    }

    TModuleLink link(port, o.Baud, o.TimeoutMs, interrupt);
    if (!link.Open(problem))
        return fail(1, QStringLiteral("cannot open %1 (%2): %3").arg(port, link.Port().PortName(), problem));
    TModuleInfo info;
    if (!o.NoProbe) {
        const bool connected = link.Connect(info, problem);
        if (interrupt && interrupt->Requested())
            return 0;
        if (!connected)
            return fail(1, problem);
        if (info.Mode != ModuleModes::Operation)
            return fail(1, QStringLiteral("the module is in configuration mode; a capture needs operation mode"));
    }
    // The header only once the module answers: a fifo that ends before its header is a failed
    // capture to Wireshark (tshark exits non-zero), while a header alone reads as an empty one.
    TLogEncoder pcap(TLogFormat::Pcap);
    if (!writeAll(fifo.Get(), pcap.Header()))
        return errno == EPIPE ? 0 : fail(1, QStringLiteral("cannot write %1: %2").arg(o.Fifo, QString::fromLocal8Bit(std::strerror(errno))));

    QByteArray batch;
    const TLineSplitter::Sink take = [&](const TLine &line) {
        TFrameRow row;
        row.timeUs = line.timeUs;
        row.text = line.text;
        row.raw = line.raw;
        row.terminated = line.terminated;
        row.decoded = DecodeLine(line.text.data(), line.text.size());
        pcap.Append(batch, row);
    };
    TLineSplitter splitter;
    splitter.SetLongestLine(TLineSplitter::LongestModuleLine);
    // Each read's frames go out at once; the last read's too, however the capture ends.
    auto writeBatch = [&]() -> bool {
        if (batch.isEmpty())
            return true;
        const bool written = writeAll(fifo.Get(), batch);
        batch.clear();
        return written;
    };
    // What came after the probe's reply in the same read is the first of the stream.
    splitter.Feed(info.Leftover, nowUs(), take);
    while (!readerGone && !(interrupt && interrupt->Requested()) && !link.LineLost()) {
        if (!writeBatch()) {
            if (errno == EPIPE)
                break;
            return fail(1, QStringLiteral("cannot write %1: %2").arg(o.Fifo, QString::fromLocal8Bit(std::strerror(errno))));
        }
        splitter.Feed(link.WaitAndRead(), nowUs(), take);
    }
    // Stopped by Wireshark: what had reached the port by then is part of the capture.
    if (!readerGone && !link.LineLost() && link.Port().InCount() > 0)
        splitter.Feed(link.WaitAndRead(), nowUs(), take);
    if (!readerGone && !writeBatch() && errno != EPIPE)
        return fail(1, QStringLiteral("cannot write %1: %2").arg(o.Fifo, QString::fromLocal8Bit(std::strerror(errno))));
    if (splitter.CutLines() > 0)
        std::fprintf(stderr, "k3316-extcap: %s\n", CutLinesNote(splitter.CutLines()).toLocal8Bit().constData());
    if (link.LineLost())
        return fail(1, ModuleTexts::ConnectionLost(link.PortName()));
    return 0;
}
