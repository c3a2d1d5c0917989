#include "transmit/PreciseAlarm.h"

#include <QSocketNotifier>

#include <algorithm>

#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// A longest single wait: far deadlines are re-armed from the handler, which looks again.
constexpr int64_t MaxWaitUs = int64_t(86400) * 1000000;

} // namespace

TPreciseAlarm::TPreciseAlarm(QObject *parent) : QObject(parent)
{
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_fallback, &QTimer::timeout, this, &TPreciseAlarm::Fire);
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
        m_notifier->setEnabled(false);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            // Reading clears the descriptor's readiness; a short read changes nothing.
            [[maybe_unused]] const ssize_t n = ::read(m_fd, &expirations, sizeof expirations);
            Fire();
        });
    }
}

TPreciseAlarm::~TPreciseAlarm()
{
    delete m_notifier; // before its descriptor goes
    if (m_fd >= 0)
        ::close(m_fd);
}

void TPreciseAlarm::Start(int64_t waitUs)
{
    m_waitUs = std::clamp<int64_t>(waitUs, 0, MaxWaitUs);
    m_active = true;
    if (m_fd < 0 || m_waitUs == 0) {
        // Nothing to wait for: a zero timer gives the event loop its turn first.
        if (m_notifier)
            m_notifier->setEnabled(false);
        m_fallback.start(int((m_waitUs + 999) / 1000));
        return;
    }
    m_fallback.stop();
    itimerspec spec{};
    spec.it_value.tv_sec = time_t(m_waitUs / 1000000);
    spec.it_value.tv_nsec = long(m_waitUs % 1000000) * 1000;
    ::timerfd_settime(m_fd, 0, &spec, nullptr);
    m_notifier->setEnabled(true);
}

void TPreciseAlarm::Stop()
{
    m_active = false;
    m_fallback.stop();
    if (m_fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
        m_notifier->setEnabled(false);
    }
}

void TPreciseAlarm::Fire()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_notifier)
        m_notifier->setEnabled(false);
    emit Fired();
}
