#include "cli/Interrupt.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
// Seen at once by a read that has no event loop running; the pipe wakes the loops.
volatile sig_atomic_t g_signal = 0;

void onSignal(int signal)
{
    if (g_signal == 0)
        g_signal = signal;
    const char byte = char(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TInterrupt::TInterrupt(QObject *parent) : QObject(parent)
{
    g_signal = 0;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        ssize_t n;
        while ((n = ::read(g_pipe[0], buffer, sizeof buffer)) > 0) {
            if (m_signal == 0)
                m_signal = buffer[0];
        }
        if (m_signal != 0)
            emit Raised();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int TInterrupt::signalNumber() const
{
    return m_signal != 0 ? m_signal : int(g_signal);
}

int TInterrupt::WakeDescriptor() const
{
    return g_pipe[0];
}

QString TInterrupt::Word() const
{
    return signalNumber() == SIGTERM ? QStringLiteral("terminated") : QStringLiteral("interrupted");
}

TInterrupt::~TInterrupt()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_signal = 0;
    delete m_notifier;
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
