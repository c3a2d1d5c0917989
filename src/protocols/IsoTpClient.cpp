#include "protocols/IsoTpClient.h"

#include <cstring>

namespace {

// STmin as a pause in microseconds; reserved values count as the longest, 127 ms.
int64_t separationUs(uint8_t st)
{
    if (st <= 0x7F)
        return int64_t(st) * 1000;
    if (st >= 0xF1 && st <= 0xF9)
        return int64_t(st - 0xF0) * 100;
    return 127000;
}

} // namespace

TIsoTpClient::TIsoTpClient(const TIsoTpClientOptions &options) : m_options(options)
{
}

TBusFrame TIsoTpClient::Frame(uint32_t id, const QByteArray &bytes, int64_t dueUs) const
{
    TBusFrame f;
    f.Id = id;
    f.Extended = m_options.Extended;
    f.Dlc = 8;
    std::memset(f.Data, m_options.Padding, 8);
    std::memcpy(f.Data, bytes.constData(), size_t(qMin(bytes.size(), qsizetype(8))));
    f.TimeUs = dueUs;
    return f;
}

bool TIsoTpClient::Start(const QByteArray &request, int64_t nowUs, QString &problem)
{
    if (request.isEmpty() || request.size() > 4095) {
        problem = QStringLiteral("a request carries 1 to 4095 bytes, not %1").arg(request.size());
        return false;
    }
    m_request = request;
    m_queue.clear();
    m_receive.clear();
    m_fault.clear();
    if (request.size() <= 7) {
        m_queue << Frame(m_options.Tx, char(request.size()) + request, nowUs);
        m_sendOffset = int(request.size());
        return true;
    }
    QByteArray first;
    first.append(char(0x10 | (request.size() >> 8)));
    first.append(char(request.size() & 0xFF));
    first.append(request.left(6));
    m_queue << Frame(m_options.Tx, first, nowUs);
    m_sendOffset = 6;
    m_nextSequence = 1;
    m_awaitFlowControl = true;
    return true;
}

void TIsoTpClient::QueueConsecutive(int64_t fromUs, int count, int64_t gapUs)
{
    int64_t due = fromUs;
    for (int i = 0; (count == 0 || i < count) && m_sendOffset < m_request.size(); ++i) {
        QByteArray bytes;
        bytes.append(char(0x20 | m_nextSequence));
        bytes.append(m_request.mid(m_sendOffset, 7));
        m_queue << Frame(m_options.Tx, bytes, due);
        m_sendOffset += int(bytes.size() - 1);
        m_nextSequence = (m_nextSequence + 1) & 0x0F;
        due += gapUs;
    }
    m_awaitFlowControl = m_sendOffset < m_request.size();
}

uint32_t TIsoTpClient::FlowControlId(uint32_t from) const
{
    if (!m_options.Functional)
        return m_options.Tx;
    if (m_options.Extended) // 18DA<TA=tester><SA=ECU> answers; ours goes 18DA<ECU><tester>
        return 0x18DA0000u | ((from & 0xFF) << 8) | ((from >> 8) & 0xFF);
    return from - 8;
}

bool TIsoTpClient::Accepts(const TBusFrame &frame) const
{
    if (frame.Extended != m_options.Extended || frame.Remote || frame.Length() < 1)
        return false;
    if (!m_options.Functional)
        return frame.Id == m_options.Rx;
    if (m_options.Extended)
        return (frame.Id & 0x1FFFFF00u) == (0x18DA0000u | ((m_options.Tx & 0xFF) << 8));
    return frame.Id >= 0x7E8 && frame.Id <= 0x7EF;
}

void TIsoTpClient::Feed(const TBusFrame &frame, QList<TIsoTpAnswer> &answers)
{
    if (!Accepts(frame) || !m_fault.isEmpty())
        return;
    const uint8_t *d = frame.Data;
    const int n = frame.Length();
    switch (d[0] >> 4) {
    case 0: {
        const int length = d[0] & 0x0F;
        if (length == 0 || length > n - 1)
            return;
        answers << TIsoTpAnswer{frame.Id, QByteArray(reinterpret_cast<const char *>(d) + 1, length), frame.TimeUs};
        return;
    }
    case 1: {
        const int length = ((d[0] & 0x0F) << 8) | (n > 1 ? d[1] : 0);
        if (n < 8 || length < 8) {
            m_fault = QStringLiteral("the ECU sent a first frame that is not one");
            return;
        }
        TReceive r;
        r.Expected = length;
        r.Data = QByteArray(reinterpret_cast<const char *>(d) + 2, 6);
        m_receive.insert(frame.Id, r);
        // Everything at once: block size 0, no pause.
        m_queue << Frame(FlowControlId(frame.Id), QByteArray("\x30\x00\x00", 3), frame.TimeUs);
        return;
    }
    case 2: {
        auto it = m_receive.find(frame.Id);
        if (it == m_receive.end())
            return;
        const int sequence = d[0] & 0x0F;
        if (sequence != it->NextSequence) {
            m_fault = QStringLiteral("the answer lost a frame: sequence number %1, expected %2")
                          .arg(sequence)
                          .arg(it->NextSequence);
            m_receive.erase(it);
            return;
        }
        it->Data.append(reinterpret_cast<const char *>(d) + 1, qMin(n - 1, it->Expected - int(it->Data.size())));
        it->NextSequence = (it->NextSequence + 1) & 0x0F;
        if (it->Data.size() >= it->Expected) {
            answers << TIsoTpAnswer{frame.Id, it->Data, frame.TimeUs};
            m_receive.erase(it);
        }
        return;
    }
    case 3: {
        if (!m_awaitFlowControl)
            return;
        const int status = d[0] & 0x0F;
        if (status == 0) {
            const int blockSize = n > 1 ? d[1] : 0;
            const int64_t gap = separationUs(n > 2 ? d[2] : 0);
            m_awaitFlowControl = false;
            QueueConsecutive(frame.TimeUs + gap, blockSize, gap);
        } else if (status == 2) {
            m_fault = QStringLiteral("the ECU refused the request's length (flow control OVFLW)");
        } else if (status != 1) {
            m_fault = QStringLiteral("the ECU sent flow control with an unknown status %1").arg(status);
        }
        return;
    }
    default:
        return;
    }
}

QList<TBusFrame> TIsoTpClient::TakeDue(int64_t nowUs)
{
    QList<TBusFrame> due;
    while (!m_queue.isEmpty() && m_queue.first().TimeUs <= nowUs)
        due << m_queue.takeFirst();
    return due;
}

int64_t TIsoTpClient::NextDueUs() const
{
    return m_queue.isEmpty() ? -1 : m_queue.first().TimeUs;
}
