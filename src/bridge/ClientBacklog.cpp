#include "bridge/ClientBacklog.h"

#include "bridge/SocketcandProtocol.h"

TClientBacklog::TVerdict TClientBacklog::Offer(int64_t queued, int64_t size, int64_t nowMs)
{
    if (m_behindSinceMs < 0 && queued + size <= m_limit)
        return TVerdict::Send;
    // Behind: nothing more is queued until the report has gone out, so frames are not sent on
    // either side of a gap the client has not yet been told about.
    if (m_behindSinceMs < 0)
        m_behindSinceMs = nowMs;
    ++m_missed;
    ++m_missedTotal;
    return Overdue(nowMs) ? TVerdict::Disconnect : TVerdict::Drop;
}

QByteArray TClientBacklog::TakeReport(int64_t queued)
{
    if (m_behindSinceMs < 0 || queued > m_limit / 2)
        return QByteArray();
    const uint64_t missed = m_missed;
    m_missed = 0;
    m_behindSinceMs = -1;
    return Socketcand::FormatError(QByteArray::number(qulonglong(missed)) +
                                   " frames missed: this client read slower than the bus sent");
}
