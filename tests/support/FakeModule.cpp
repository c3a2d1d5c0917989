#include "support/FakeModule.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

FakeModule::FakeModule(QObject *parent) : QObject(parent)
{
    const int fd = m_pty.masterFd();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
}

FakeModule::~FakeModule() = default;

void FakeModule::send(const QByteArray &bytes)
{
    m_pty.write(bytes);
}

void FakeModule::unplug()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    m_pty.closeMaster();
}

void FakeModule::readMaster()
{
    char buffer[4096];
    const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
    if (n <= 0) {
        // With no slave open the master reports a hang-up until the program opens it again:
        // look again a little later instead of spinning.
        if (n < 0 && errno == EAGAIN)
            return;
        m_notifier->setEnabled(false);
        QTimer::singleShot(10, this, [this] {
            if (m_notifier)
                m_notifier->setEnabled(true);
        });
        return;
    }
    received.append(buffer, n);
    m_partial.append(buffer, n);
    qsizetype cr;
    while ((cr = m_partial.indexOf('\r')) >= 0) {
        const QByteArray line = m_partial.left(cr);
        m_partial.remove(0, cr + 1);
        lines.append(line);
        const QByteArray answer = reply ? reply(line) : QByteArray();
        if (answer.isEmpty())
            continue;
        if (replyDelayMs > 0)
            QTimer::singleShot(replyDelayMs, this, [this, answer] { send(answer); });
        else
            send(answer);
    }
}
