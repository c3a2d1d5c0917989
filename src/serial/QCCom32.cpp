#include "serial/QCCom32.h"

#include "common/StrToInt.h"
#include "serial/PosixSerial.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <optional>

#include <algorithm>
#include <climits>

TQCCom32::TQCCom32(QObject *owner) : QObject(owner), m_portHandle(PosixSerial::InvalidHandle)
{
}

TQCCom32::~TQCCom32()
{
    Close();
}

void TQCCom32::setBaud(int32_t value)
{
    if (value == m_baud)
        return;
    m_baud = value;
    Reopen();
}

void TQCCom32::setEndOfResponse(const QString &value)
{
    m_endOfResponse = value;
    m_responseTerminator = ParseEndOfResponse(value);
}

void TQCCom32::setHandshaking(THandshake value)
{
    if (value == m_handshaking)
        return;
    m_handshaking = value;
    Reopen();
}

void TQCCom32::setPort(int32_t value)
{
    if (value == m_port)
        return;
    m_port = value;
    Reopen();
}

void TQCCom32::setDevicePath(const QString &value)
{
    if (value == m_devicePath)
        return;
    m_devicePath = value;
    Reopen();
}

void TQCCom32::Reopen()
{
    if (Opened()) {
        Close();
        Open();
    }
}

bool TQCCom32::Opened() const
{
    return m_portHandle != PosixSerial::InvalidHandle;
}

QString TQCCom32::PortName() const
{
    if (!m_devicePath.isEmpty())
        return m_devicePath;
    return QStringLiteral("/dev/ttyS") + QString::number(qint64(m_port) - 1);
}

QString TQCCom32::DisplayName() const
{
    if (!m_devicePath.isEmpty())
        return m_devicePath;
    return QStringLiteral("COM") + QString::number(m_port);
}

int32_t TQCCom32::InCount()
{
    if (!Opened())
        return 0;
    auto line = PosixSerial::TLineState::Up;
    // Right after a read that got bytes the line was up; a hang-up since then shows at the next
    // wait, which the descriptor ends at once. Saves a system call per line on a busy port.
    const int count = PosixSerial::QueuedBytes(m_portHandle, line, !m_readSinceWait);
    if (line == PosixSerial::TLineState::Lost) {
        LineLost();
        return 0;
    }
    return count;
}

bool TQCCom32::Open()
{
    if (Opened())
        Close();
    m_lineError.clear();
    m_lost = false;
    const QPointer<TQCCom32> self(this);
    for (;;) {
        m_portHandle = PosixSerial::OpenExclusive(QFile::encodeName(PortName()).constData());
        if (Opened() || !m_showErrors)
            break;
        const TPortAnswer answer =
            Report(prOpenError, QStringLiteral("Error opening ") + DisplayName() + QStringLiteral(": "));
        if (!self)
            return false;
        // A handler run while the box was up may have opened the port already.
        if (answer == paAbort || Opened())
            break;
    }
    if (!Opened())
        return false;
    const auto setup = PosixSerial::ApplyLineSettings(m_portHandle, m_baud, m_handshaking == hsHardware);
    if (setup == PosixSerial::TLineSetup::SpeedRefused) {
        // Holding the port at another speed than Baud says would garble every exchange unseen.
        Close();
        m_lineError = DisplayName() + QStringLiteral(" cannot run at ") + QString::number(m_baud) +
                      QStringLiteral(" baud.");
        if (m_showErrors)
            Report(prLineSettings, m_lineError);
        return false;
    }
    if (m_onInputWaiting)
        ArmNotifier();
    return true;
}

TPortAnswer TQCCom32::Report(TPortReport report, const QString &text)
{
    return OnReport ? OnReport(report, text) : paAbort;
}

void TQCCom32::Close()
{
    // The notifier must let go of the descriptor before it is closed.
    DropNotifier();
    PosixSerial::CloseHandle(m_portHandle);
    m_portHandle = PosixSerial::InvalidHandle;
}

bool TQCCom32::SendCommand(const QByteArray &text)
{
    m_lastWritten = 0;
    if (!Opened() && (m_lost || !Open()))
        return false;
    if (text.isEmpty())
        return true;
    auto line = PosixSerial::TLineState::Up;
    const std::size_t written =
        PosixSerial::WriteAll(m_portHandle, text.constData(), std::size_t(text.size()), m_writeStallMs, line);
    m_lastWritten = qsizetype(written);
    if (line == PosixSerial::TLineState::Lost)
        LineLost();
    return written == std::size_t(text.size());
}

QByteArray TQCCom32::ReadResponse()
{
    QByteArray reply;
    ReadResponse(reply);
    return reply;
}

void TQCCom32::ReadResponse(QByteArray &reply)
{
    reply.resize(0); // keeps its buffer: the receive loop reads into the same one every line
    if (m_inUse) {
        if (m_showErrors)
            Report(prPortInUse, QStringLiteral("Port is in use -- operation aborted"));
        return;
    }
    if (!Opened() && (m_lost || !Open()))
        return;
    m_inUse = true;

    if (m_responseTerminator.isEmpty()) {
        ReadWaitingInto(reply);
        EndReplyWait();
        return;
    }

    // Handlers run during the wait may close the port or even destroy this component.
    const QPointer<TQCCom32> self(this);
    uint32_t start = GetTickCount();
    bool found = false;
    qsizetype scanned = 0; // the terminator cannot start before this offset
    do {
        m_timedOut = false;
        do {
            ReadWaitingInto(reply);
            // Only the new bytes (and a terminator split across reads) need looking at, so a
            // flood without terminator stays linear.
            if (reply.indexOf(m_responseTerminator, scanned) >= 0) {
                found = true;
                break;
            }
            scanned = std::max<qsizetype>(0, reply.size() - m_responseTerminator.size() + 1);
            const uint32_t now = GetTickCount();
            int waitMs = 0;
            if (DeadlinePassed(start, m_responseTime, now)) {
                m_timedOut = true;
            } else {
                // Wake just after the deadline has passed.
                const uint64_t left = uint64_t(m_responseTime) - uint32_t(now - start) + 1;
                waitMs = int(std::min<uint64_t>(left, INT_MAX));
            }
            if (!WaitOnce(waitMs, m_allowEvents))
                return;
        } while (!m_timedOut);

        if (m_timedOut) {
            DoTimeout();
            if (!self)
                return;
            if (m_showErrors) {
                const TPortAnswer answer = Report(prTimeout, QStringLiteral("Timeout waiting for response."));
                if (!self)
                    return;
                if (answer == paRetry) {
                    m_timedOut = false;
                    start = GetTickCount();
                }
            }
        }
    } while (!found && !m_timedOut);
    EndReplyWait();
}

void TQCCom32::EndReplyWait()
{
    m_inUse = false;
    // A modal window over the wait may have switched the notifier off; the listener reads again.
    if (m_onInputWaiting)
        ArmNotifier();
}

void TQCCom32::setOnInputWaiting(std::function<void()> handler)
{
    m_onInputWaiting = std::move(handler);
    if (m_onInputWaiting)
        ArmNotifier();
}

void TQCCom32::DoTimeout()
{
    if (OnTimeout)
        OnTimeout(this);
}

void TQCCom32::WaitForInputOrEvents()
{
    // Right after a read that emptied the queue, asking again would only tell 0: a byte that
    // came since wakes the wait at once anyway.
    if (!m_queueEmptied && InCount() > 0)
        return;
    WaitOnce(-1, true);
}

uint32_t TQCCom32::GetTickCount()
{
    return PosixSerial::TickCount();
}

bool TQCCom32::DeadlinePassed(uint32_t start, uint32_t interval, uint32_t now)
{
    // Elapsed time rather than "now > start + interval", which goes wrong when the tick wraps.
    return uint32_t(now - start) > interval;
}

QByteArray TQCCom32::ParseEndOfResponse(const QString &text)
{
    QByteArray terminator;
    QString number;
    bool inNumber = false;
    const auto appendNumber = [&]() {
        int32_t code = 0;
        if (!TryStrToInt(number, code))
            return false;
        terminator.append(char(uint8_t(code & 0xFF)));
        number.clear();
        return true;
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('#')) {
            if (inNumber && !appendNumber())
                return text.toLatin1();
            inNumber = true;
        } else if (inNumber) {
            number.append(c);
        } else {
            terminator.append(c.unicode() <= 0xFF ? char(c.unicode()) : '?');
        }
    }
    if (!number.isEmpty() && !appendNumber())
        return text.toLatin1();
    return terminator;
}

void TQCCom32::ReadWaitingInto(QByteArray &reply)
{
    // Straight into the reply, without asking the driver first how much waits: a read that
    // returns less than it had room for took everything, so a busy port costs one system call
    // per line. Only a read that fills its room asks for the rest.
    m_queueEmptied = false;
    qsizetype room = ReadRoom;
    for (;;) {
        const qsizetype before = reply.size();
        reply.resize(before + room);
        auto line = PosixSerial::TLineState::Up;
        const std::size_t got =
            PosixSerial::ReadQueued(m_portHandle, reply.data() + before, std::size_t(room), line);
        reply.resize(before + qsizetype(got));
        if (got > 0)
            m_readSinceWait = true;
        if (line == PosixSerial::TLineState::Lost) {
            LineLost();
            return;
        }
        if (qsizetype(got) < room) {
            m_queueEmptied = true;
            return;
        }
        const int more = InCount();
        if (more <= 0)
            return;
        room = more;
    }
}

void TQCCom32::LineLost()
{
    if (!Opened())
        return;
    // A hung-up descriptor stays readable for ever: stop watching it before anything else.
    Close();
    m_lost = true;
    QTimer::singleShot(0, this, [this] {
        if (OnLineLost)
            OnLineLost(this);
    });
}

bool TQCCom32::WaitOnce(int timeoutMs, bool processEvents)
{
    m_readSinceWait = false;
    m_queueEmptied = false;
    if (processEvents && QAbstractEventDispatcher::instance()) {
        if (timeoutMs == 0) {
            const QPointer<TQCCom32> self(this);
            QCoreApplication::processEvents();
            return bool(self);
        }
        // A timer only when there is a deadline: the receive loop waits once per line without one.
        std::optional<QTimer> deadline;
        if (timeoutMs > 0) {
            deadline.emplace();
            deadline->setSingleShot(true);
            deadline->setTimerType(Qt::PreciseTimer);
            deadline->start(timeoutMs);
        }
        ++m_waitSerial;
        ArmNotifier();
        const QPointer<TQCCom32> self(this);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        // The notifier stays on for the next wait: switching it costs the event loop a wake-up
        // of its own, twice per line on a busy port.
        return bool(self);
    }

    if (timeoutMs == 0 || (timeoutMs < 0 && !Opened()))
        return true;
    if (PosixSerial::WaitReadable(m_portHandle, timeoutMs) == PosixSerial::TWaitResult::HungUp)
        LineLost();
    return true;
}

void TQCCom32::ArmNotifier()
{
    if (!Opened())
        return;
    if (!m_notifier) {
        auto *notifier = new QSocketNotifier(qintptr(m_portHandle), QSocketNotifier::Read, this);
        // With a listener and no reply wait, the listener reads here, in whatever loop runs.
        // Otherwise it only wakes the waiting loop, which reads. A second firing within the same
        // wait means nobody reads (a modal window runs its own loop over ours): without
        // switching it off it would fire without end.
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            if (m_onInputWaiting && !m_inUse) {
                const auto listener = m_onInputWaiting; // it may replace itself
                listener();
                return;
            }
            if (m_wokenSerial == m_waitSerial)
                notifier->setEnabled(false);
            m_wokenSerial = m_waitSerial;
        });
        m_notifier = notifier;
    }
    m_notifier->setEnabled(true);
}

void TQCCom32::DropNotifier()
{
    if (m_notifier) {
        // Later: a loss found by a read in the listener closes the port under the notifier's
        // own signal.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
    }
    m_notifier = nullptr;
}
