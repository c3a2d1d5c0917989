#include "protocols/IsoTp.h"

#include "protocols/Uds.h"

namespace {

constexpr uint32_t ExtendedBit = 0x80000000u;

uint32_t keyOf(const TBusFrame &f)
{
    return f.Id | (f.Extended ? ExtendedBit : 0);
}

QString separationText(uint8_t st)
{
    if (st <= 0x7F)
        return QStringLiteral("%1 ms").arg(st);
    if (st >= 0xF1 && st <= 0xF9)
        return QStringLiteral("%1 us").arg((st - 0xF0) * 100);
    return QStringLiteral("reserved %1").arg(st, 2, 16, QLatin1Char('0'));
}

} // namespace

TIsoTpDecoder::TIsoTpDecoder(const TProtocolOptions &options) : m_options(options)
{
}

bool TIsoTpDecoder::Address(const TBusFrame &frame, TAddress &address) const
{
    address.Key = keyOf(frame);
    if (frame.Extended) {
        const uint32_t top = frame.Id & 0x1FFF0000u;
        if (top != 0x18DA0000u && top != 0x18DB0000u)
            return false;
        const uint32_t ta = (frame.Id >> 8) & 0xFF, sa = frame.Id & 0xFF;
        address.Functional = top == 0x18DB0000u;
        address.Partner = address.Functional ? 0 : (0x18DA0000u | (sa << 8) | ta | ExtendedBit);
        return true;
    }
    if (m_options.IsoTpPairs.isEmpty()) {
        if (frame.Id == 0x7DF) {
            address.Functional = true;
            address.Partner = 0;
            return true;
        }
        if (frame.Id >= 0x7E0 && frame.Id <= 0x7EF) {
            address.Partner = frame.Id < 0x7E8 ? frame.Id + 8 : frame.Id - 8;
            return true;
        }
        return false;
    }
    for (const TIsoTpPair &pair : m_options.IsoTpPairs) {
        if (pair.Extended != frame.Extended)
            continue;
        if (frame.Id == pair.Request || frame.Id == pair.Response) {
            const uint32_t other = frame.Id == pair.Request ? pair.Response : pair.Request;
            address.Partner = other | (pair.Extended ? ExtendedBit : 0);
            return true;
        }
    }
    return false;
}

QString TIsoTpDecoder::Feed(const TBusFrame &frame, QList<TTransfer> &done)
{
    Flush(frame.TimeUs, done);
    TAddress address;
    if (frame.Remote || !Address(frame, address))
        return QString();
    if (frame.Length() < 1)
        return QStringLiteral("ISO-TP frame without data");
    switch (frame.Data[0] >> 4) {
    case 0: return SingleFrame(frame, address, done);
    case 1: return FirstFrame(frame, address, done);
    case 2: return ConsecutiveFrame(frame, address, done);
    case 3: return FlowControl(frame, address, done);
    default: return QStringLiteral("ISO-TP unknown frame type %1").arg(frame.Data[0] >> 4);
    }
}

void TIsoTpDecoder::Flush(int64_t nowUs, QList<TTransfer> &done)
{
    QList<uint32_t> late;
    QStringList why;
    for (auto it = m_receive.cbegin(); it != m_receive.cend(); ++it) {
        const TReceive &r = it.value();
        if (!r.Active)
            continue;
        if (nowUs < 0) {
            late << it.key();
            why << QStringLiteral("the log ended with %1 of %2 bytes").arg(r.Data.size()).arg(r.Expected);
        } else if (r.AwaitFlowControl && nowUs - r.AwaitSinceUs > TimeoutUs) {
            late << it.key();
            why << QStringLiteral("N_Bs timeout: no flow control within 1000 ms");
        } else if (!r.AwaitFlowControl && nowUs - r.LastUs > TimeoutUs) {
            late << it.key();
            why << QStringLiteral("N_Cr timeout: no consecutive frame within 1000 ms");
        }
    }
    for (int i = 0; i < late.size(); ++i) {
        const TReceive &r = m_receive[late[i]];
        Abandon(late[i], r.LastUs, why[i], done);
    }
}

QString TIsoTpDecoder::SingleFrame(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done)
{
    const int length = frame.Data[0] & 0x0F;
    if (m_receive.value(address.Key).Active)
        Abandon(address.Key, frame.TimeUs, QStringLiteral("interrupted by a new message after %1 of %2 bytes")
                                               .arg(m_receive[address.Key].Data.size())
                                               .arg(m_receive[address.Key].Expected),
                done);
    if (length == 0 || length > frame.Length() - 1)
        return QStringLiteral("ISO-TP single frame: length %1 does not fit %2 data bytes").arg(length).arg(frame.Length());
    TReceive &r = m_receive[address.Key];
    r = TReceive();
    r.Active = true;
    r.Expected = length;
    r.Data = QByteArray(reinterpret_cast<const char *>(frame.Data) + 1, length);
    r.StartUs = r.LastUs = frame.TimeUs;
    return Finish(address.Key, address, frame.TimeUs, QString(), done);
}

QString TIsoTpDecoder::FirstFrame(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done)
{
    if (m_receive.value(address.Key).Active)
        Abandon(address.Key, frame.TimeUs, QStringLiteral("interrupted by a new message after %1 of %2 bytes")
                                               .arg(m_receive[address.Key].Data.size())
                                               .arg(m_receive[address.Key].Expected),
                done);
    if (frame.Length() < 8)
        return QStringLiteral("ISO-TP first frame with %1 data bytes (8 expected)").arg(frame.Length());
    const int length = ((frame.Data[0] & 0x0F) << 8) | frame.Data[1];
    if (length == 0) {
        const uint32_t escaped = (uint32_t(frame.Data[2]) << 24) | (uint32_t(frame.Data[3]) << 16) |
                                 (uint32_t(frame.Data[4]) << 8) | frame.Data[5];
        return QStringLiteral("ISO-TP first frame: length %1 beyond %2").arg(escaped).arg(MaxLength);
    }
    if (length < 8)
        return QStringLiteral("ISO-TP first frame for %1 bytes (a single frame carries them)").arg(length);
    TReceive &r = m_receive[address.Key];
    r = TReceive();
    r.Active = true;
    r.Expected = length;
    r.Data = QByteArray(reinterpret_cast<const char *>(frame.Data) + 2, 6);
    r.StartUs = r.LastUs = frame.TimeUs;
    r.AwaitFlowControl = !address.Functional;
    r.AwaitSinceUs = frame.TimeUs;
    return m_describe ? QStringLiteral("ISO-TP first frame, %1 bytes").arg(length) : QString();
}

QString TIsoTpDecoder::ConsecutiveFrame(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done)
{
    const int sequence = frame.Data[0] & 0x0F;
    auto it = m_receive.find(address.Key);
    if (it == m_receive.end() || !it->Active) {
        TTransfer t;
        t.Protocol = QStringLiteral("isotp");
        t.StartUs = t.EndUs = frame.TimeUs;
        t.SourceId = address.Key & ~ExtendedBit;
        t.TargetId = address.Partner & ~ExtendedBit;
        t.Payload = QByteArray(reinterpret_cast<const char *>(frame.Data) + 1, frame.Length() - 1);
        t.Fault = QStringLiteral("unexpected consecutive frame %1: no first frame").arg(sequence);
        done << t;
        return QStringLiteral("ISO-TP consecutive frame %1, unexpected").arg(sequence);
    }
    TReceive &r = *it;
    if (sequence != r.NextSequence) {
        const QString fault = QStringLiteral("wrong sequence number %1, expected %2 (a frame is missing)")
                                  .arg(sequence)
                                  .arg(r.NextSequence);
        Abandon(address.Key, frame.TimeUs, fault, done);
        return QStringLiteral("ISO-TP consecutive frame %1: %2").arg(sequence).arg(fault);
    }
    if (r.AwaitFlowControl && r.Fault.isEmpty())
        r.Fault = QStringLiteral("consecutive frame without flow control");
    const int take = qMin(r.Expected - int(r.Data.size()), frame.Length() - 1);
    r.Data.append(reinterpret_cast<const char *>(frame.Data) + 1, take);
    r.NextSequence = (r.NextSequence + 1) & 0x0F;
    r.LastUs = frame.TimeUs;
    if (r.BlockSize > 0 && ++r.InBlock >= r.BlockSize) {
        r.AwaitFlowControl = true;
        r.AwaitSinceUs = frame.TimeUs;
        r.InBlock = 0;
    }
    if (r.Data.size() >= r.Expected) {
        const QString fault = r.Fault;
        const QString meaning = Finish(address.Key, address, frame.TimeUs, fault, done);
        return m_describe ? QStringLiteral("ISO-TP consecutive frame %1, last: %2").arg(sequence).arg(meaning) : QString();
    }
    return m_describe ? QStringLiteral("ISO-TP consecutive frame %1").arg(sequence) : QString();
}

QString TIsoTpDecoder::FlowControl(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done)
{
    const int status = frame.Data[0] & 0x0F;
    const int blockSize = frame.Length() > 1 ? frame.Data[1] : 0;
    const uint8_t separation = frame.Length() > 2 ? frame.Data[2] : 0;
    static const char *const names[3] = {"CTS", "WAIT", "OVFLW"};
    QString text;
    if (m_describe)
        text = status < 3 ? QStringLiteral("ISO-TP flow control %1, block size %2, STmin %3")
                                .arg(QLatin1String(names[status]))
                                .arg(blockSize)
                                .arg(separationText(separation))
                          : QStringLiteral("ISO-TP flow control with unknown status %1").arg(status);
    auto it = address.Partner ? m_receive.find(address.Partner) : m_receive.end();
    if (it == m_receive.end() || !it->Active || !it->AwaitFlowControl)
        return m_describe ? text + QStringLiteral(" (unexpected)") : QString();
    if (status == 0) {
        it->AwaitFlowControl = false;
        it->BlockSize = blockSize;
        it->InBlock = 0;
        it->LastUs = frame.TimeUs;
    } else if (status == 1) {
        it->AwaitSinceUs = frame.TimeUs;
    } else {
        Abandon(address.Partner, frame.TimeUs,
                status == 2 ? QStringLiteral("the receiver refused the message (flow control OVFLW)")
                            : QStringLiteral("flow control with unknown status %1").arg(status),
                done);
    }
    return text;
}

int64_t TIsoTpDecoder::RequestTime(const TAddress &address, bool consume)
{
    // A physical answer belongs to its partner's request, or to a functional request of the tester.
    if (address.Partner) {
        auto it = m_requests.find(address.Partner);
        if (it != m_requests.end()) {
            const int64_t t = it->EndUs;
            if (consume)
                m_requests.erase(it);
            return t;
        }
    }
    const bool extended = address.Key & ExtendedBit;
    for (auto it = m_requests.begin(); it != m_requests.end(); ++it) {
        const uint32_t id = it.key() & ~ExtendedBit;
        const bool functional = extended ? (id & 0x1FFF0000u) == 0x18DB0000u && (id & 0xFF) == ((address.Key >> 8) & 0xFF)
                                         : id == 0x7DF && !(it.key() & ExtendedBit);
        if (functional)
            return it->EndUs; // every ECU may answer a functional request: kept for the next
    }
    return -1;
}

TTransfer TIsoTpDecoder::Transfer(uint32_t key, const TReceive &r, int64_t endUs, const QString &fault)
{
    TTransfer t;
    t.Protocol = QStringLiteral("isotp");
    t.StartUs = r.StartUs;
    t.EndUs = endUs;
    t.SourceId = key & ~ExtendedBit;
    t.Payload = r.Data;
    t.Fault = fault;
    return t;
}

QString TIsoTpDecoder::Finish(uint32_t key, const TAddress &address, int64_t endUs, const QString &fault,
                              QList<TTransfer> &done)
{
    const TReceive r = m_receive.take(key);
    TTransfer t = Transfer(key, r, endUs, fault);
    t.TargetId = address.Partner & ~ExtendedBit;
    t.Payload.truncate(r.Expected);
    const TUdsMeaning m = DescribeUds(t.Payload, true);
    t.Meaning = m.Text;
    t.Service = m.Service;
    t.Nrc = m.Nrc;
    if (m.Response) {
        const int64_t asked = RequestTime(address, !m.Pending);
        if (asked >= 0)
            t.AnswerAfterUs = endUs - asked;
    } else {
        m_requests[key] = TRequest{endUs};
    }
    done << t;
    return m.Text;
}

void TIsoTpDecoder::Abandon(uint32_t key, int64_t endUs, const QString &fault, QList<TTransfer> &done)
{
    const TReceive r = m_receive.take(key);
    TTransfer t = Transfer(key, r, endUs, fault);
    t.Meaning = QStringLiteral("incomplete: %1 of %2 bytes").arg(r.Data.size()).arg(r.Expected);
    done << t;
}
