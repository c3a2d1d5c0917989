#include "protocols/CanOpen.h"

#include <QStringList>

namespace {

struct TCode {
    uint32_t Code;
    const char *Text;
};

const TCode aborts[] = {
    {0x05030000, "toggle bit not alternated"},
    {0x05040000, "SDO protocol timed out"},
    {0x05040001, "client/server command specifier not valid or unknown"},
    {0x05040002, "invalid block size"},
    {0x05040003, "invalid sequence number"},
    {0x05040004, "CRC error"},
    {0x05040005, "out of memory"},
    {0x06010000, "unsupported access to an object"},
    {0x06010001, "attempt to read a write-only object"},
    {0x06010002, "attempt to write a read-only object"},
    {0x06020000, "object does not exist in the object dictionary"},
    {0x06040041, "object cannot be mapped to the PDO"},
    {0x06040042, "the number and length of the objects to be mapped would exceed the PDO length"},
    {0x06040043, "general parameter incompatibility"},
    {0x06040047, "general internal incompatibility in the device"},
    {0x06060000, "access failed due to a hardware error"},
    {0x06070010, "data type does not match, length of service parameter does not match"},
    {0x06070012, "data type does not match, length of service parameter too high"},
    {0x06070013, "data type does not match, length of service parameter too low"},
    {0x06090011, "sub-index does not exist"},
    {0x06090030, "invalid value for parameter"},
    {0x06090031, "value of parameter written too high"},
    {0x06090032, "value of parameter written too low"},
    {0x06090036, "maximum value is less than minimum value"},
    {0x060A0023, "resource not available: SDO connection"},
    {0x08000000, "general error"},
    {0x08000020, "data cannot be transferred or stored to the application"},
    {0x08000021, "data cannot be transferred or stored to the application because of local control"},
    {0x08000022, "data cannot be transferred or stored to the application because of the present device state"},
    {0x08000023, "object dictionary dynamic generation fails or no object dictionary is present"},
    {0x08000024, "no data available"},
};

const TCode emergencies[] = {
    {0x0000, "error reset or no error"}, {0x8110, "CAN overrun"}, {0x8120, "CAN in error passive mode"},
    {0x8130, "life guard or heartbeat error"}, {0x8140, "recovered from bus off"}, {0x8150, "CAN-ID collision"},
    {0x8210, "PDO not processed due to length error"}, {0x8220, "PDO length exceeded"}, {0x8240, "unexpected SYNC data length"},
    {0x8250, "RPDO timeout"},
};

const TCode emergencyGroups[] = {
    {0x1000, "generic error"}, {0x2000, "current"}, {0x3000, "voltage"}, {0x4000, "temperature"},
    {0x5000, "device hardware"}, {0x6000, "device software"}, {0x7000, "additional modules"}, {0x8000, "monitoring"},
    {0x9000, "external error"}, {0xF000, "additional functions"}, {0xFF00, "device specific"},
};

const char *const registerBits[8] = {"generic", "current", "voltage", "temperature", "communication",
                                     "device profile specific", "reserved", "manufacturer specific"};

uint32_t le32(const uint8_t *d)
{
    return d[0] | (d[1] << 8) | (d[2] << 16) | (uint32_t(d[3]) << 24);
}

QString objectText(int index, int sub)
{
    return QStringLiteral("%1:%2").arg(index, 4, 16, QLatin1Char('0')).arg(sub, 2, 16, QLatin1Char('0')).toUpper();
}

QString valueText(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    if (bytes.size() <= 4) {
        uint32_t v = 0;
        for (int i = bytes.size() - 1; i >= 0; --i)
            v = v << 8 | uint8_t(bytes[i]);
        return QStringLiteral("0x") + QStringLiteral("%1").arg(v, bytes.size() * 2, 16, QLatin1Char('0')).toUpper();
    }
    bool printable = true;
    for (char c : bytes)
        printable = printable && c >= 0x20 && c < 0x7F;
    return printable ? QLatin1Char('"') + QString::fromLatin1(bytes) + QLatin1Char('"') : HexBytes(bytes);
}

const char *nmtCommand(int cs)
{
    switch (cs) {
    case 0x01: return "start";
    case 0x02: return "stop";
    case 0x80: return "enter pre-operational";
    case 0x81: return "reset node";
    case 0x82: return "reset communication";
    default: return nullptr;
    }
}

} // namespace

QString CanOpenAbortText(uint32_t code)
{
    for (const TCode &c : aborts)
        if (c.Code == code)
            return QString::fromLatin1(c.Text);
    return QStringLiteral("abort code %1").arg(code, 8, 16, QLatin1Char('0')).toUpper();
}

QString CanOpenEmergencyText(uint16_t code)
{
    for (const TCode &c : emergencies)
        if (c.Code == code)
            return QString::fromLatin1(c.Text);
    for (const TCode &c : emergencyGroups)
        if (c.Code == (code & (c.Code >= 0xFF00 ? 0xFF00u : 0xF000u)))
            return QString::fromLatin1(c.Text);
    return QStringLiteral("error code %1").arg(code, 4, 16, QLatin1Char('0')).toUpper();
}

QString CanOpenStateText(uint8_t state)
{
    switch (state & 0x7F) {
    case 0: return QStringLiteral("boot-up");
    case 4: return QStringLiteral("stopped");
    case 5: return QStringLiteral("operational");
    case 127: return QStringLiteral("pre-operational");
    default: return QStringLiteral("state %1").arg(state & 0x7F);
    }
}

QString TCanOpenDecoder::Feed(const TBusFrame &frame, QList<TTransfer> &done)
{
    Flush(frame.TimeUs, done);
    if (frame.Extended)
        return QString();
    const int function = int(frame.Id >> 7);
    const int node = int(frame.Id & 0x7F);
    const uint8_t *d = frame.Data;
    const int n = frame.Length();
    auto nodeText = [node] { return QStringLiteral(" (node %1)").arg(node); };
    switch (function) {
    case 0x0:
        if (frame.Id != 0)
            break;
        if (n < 2)
            return QStringLiteral("CANopen NMT, too short");
        if (const char *cs = nmtCommand(d[0]))
            return QStringLiteral("CANopen NMT %1 %2").arg(QLatin1String(cs), d[1] ? QStringLiteral("node %1").arg(d[1])
                                                                                      : QStringLiteral("all nodes"));
        return QStringLiteral("CANopen NMT command %1").arg(d[0]);
    case 0x1:
        if (node == 0)
            return n >= 1 ? QStringLiteral("CANopen SYNC counter %1").arg(d[0]) : QStringLiteral("CANopen SYNC");
        if (n < 3)
            return QStringLiteral("CANopen EMCY") + nodeText() + QStringLiteral(", too short");
        {
            const uint16_t code = uint16_t(d[0] | (d[1] << 8));
            QStringList bits;
            for (int i = 0; i < 8; ++i)
                if (d[2] & (1 << i))
                    bits << QLatin1String(registerBits[i]);
            return QStringLiteral("CANopen EMCY %1 %2, register %3%4")
                       .arg(code, 4, 16, QLatin1Char('0'))
                       .arg(CanOpenEmergencyText(code))
                       .arg(bits.isEmpty() ? QStringLiteral("none") : bits.join(QLatin1Char(',')))
                       .arg(n > 3 ? QStringLiteral(", data ") + HexBytes(QByteArray(reinterpret_cast<const char *>(d) + 3, n - 3))
                                  : QString())
                   + nodeText();
        }
    case 0x2:
        if (node == 0)
            return QStringLiteral("CANopen TIME");
        break;
    case 0x3: case 0x4: case 0x5: case 0x6: case 0x7: case 0x8: case 0x9: case 0xA: {
        const int pdo = (function - 3) / 2 + 1;
        const bool transmit = (function % 2) == 1;
        return QStringLiteral("CANopen %1PDO%2 %3").arg(QLatin1String(transmit ? "T" : "R")).arg(pdo)
                   .arg(HexBytes(QByteArray(reinterpret_cast<const char *>(d), n)))
                   .trimmed()
               + nodeText();
    }
    case 0xB:
        return Sdo(frame, node, true, done);
    case 0xC:
        return Sdo(frame, node, false, done);
    case 0xE:
        if (n < 1)
            return QStringLiteral("CANopen heartbeat") + nodeText() + QStringLiteral(", too short");
        return QStringLiteral("CANopen %1%2")
                   .arg(d[0] == 0 ? QStringLiteral("boot-up") : QStringLiteral("heartbeat ") + CanOpenStateText(d[0]))
                   .arg(nodeText());
    case 0xF:
        if (frame.Id == 0x7E5)
            return QStringLiteral("CANopen LSS request command %1").arg(n ? d[0] : 0);
        if (frame.Id == 0x7E4)
            return QStringLiteral("CANopen LSS response command %1").arg(n ? d[0] : 0);
        break;
    default:
        break;
    }
    return QString();
}

QString TCanOpenDecoder::Sdo(const TBusFrame &frame, int node, bool fromServer, QList<TTransfer> &done)
{
    const QString who = QStringLiteral(" (node %1)").arg(node);
    if (frame.Length() < 8)
        return QStringLiteral("CANopen SDO with %1 data bytes (8 expected)").arg(frame.Length()) + who;
    const uint8_t *d = frame.Data;
    const int specifier = d[0] >> 5;
    const int index = d[1] | (d[2] << 8);
    const int sub = d[3];
    const QString object = objectText(index, sub);

    if (specifier == 4) { // abort, either side
        const QString why = CanOpenAbortText(le32(d + 4));
        if (m_sdo.contains(node))
            End(node, frame.TimeUs, QStringLiteral("aborted: %1").arg(why), done);
        else {
            TTransfer t;
            t.Protocol = QStringLiteral("canopen");
            t.StartUs = t.EndUs = frame.TimeUs;
            t.Node = node;
            t.Index = index;
            t.SubIndex = sub;
            t.Meaning = QStringLiteral("CANopen SDO %1").arg(object);
            t.Fault = QStringLiteral("aborted: %1").arg(why);
            done << t;
        }
        return QStringLiteral("CANopen SDO abort %1: %2").arg(object, why) + who;
    }
    if (!fromServer) {
        switch (specifier) {
        case 1: { // initiate download
            const bool expedited = d[0] & 0x02;
            const bool sized = d[0] & 0x01;
            m_sdo.remove(node);
            TSdo s;
            s.Index = index;
            s.SubIndex = sub;
            s.StartUs = s.LastUs = frame.TimeUs;
            if (expedited) {
                const int length = sized ? 4 - ((d[0] >> 2) & 3) : 4;
                s.Data = QByteArray(reinterpret_cast<const char *>(d) + 4, length);
                s.Size = length;
            } else if (sized) {
                s.Size = int(le32(d + 4));
            }
            m_sdo.insert(node, s);
            return expedited ? QStringLiteral("CANopen SDO download %1 = %2").arg(object, valueText(s.Data)) + who
                             : QStringLiteral("CANopen SDO download %1, %2 bytes").arg(object).arg(s.Size) + who;
        }
        case 0: { // download segment
            auto it = m_sdo.find(node);
            const int length = 7 - ((d[0] >> 1) & 7);
            if (it == m_sdo.end() || it->Upload)
                return QStringLiteral("CANopen SDO download segment, unexpected") + who;
            it->Data.append(reinterpret_cast<const char *>(d) + 1, length);
            it->LastUs = frame.TimeUs;
            return QStringLiteral("CANopen SDO download segment %1 bytes%2").arg(length).arg(d[0] & 1 ? ", last" : "") + who;
        }
        case 2: { // initiate upload
            m_sdo.remove(node);
            TSdo s;
            s.Upload = true;
            s.Index = index;
            s.SubIndex = sub;
            s.StartUs = s.LastUs = frame.TimeUs;
            m_sdo.insert(node, s);
            return QStringLiteral("CANopen SDO upload request %1").arg(object) + who;
        }
        case 3:
            if (auto it = m_sdo.find(node); it != m_sdo.end())
                it->LastUs = frame.TimeUs;
            return QStringLiteral("CANopen SDO upload segment request, toggle %1").arg((d[0] >> 4) & 1) + who;
        case 5: return QStringLiteral("CANopen SDO block upload (not reassembled) %1").arg(object) + who;
        case 6: return QStringLiteral("CANopen SDO block download (not reassembled) %1").arg(object) + who;
        default: return QStringLiteral("CANopen SDO client command %1").arg(specifier) + who;
        }
    }
    // From the server.
    auto it = m_sdo.find(node);
    switch (specifier) {
    case 2: { // initiate upload response
        const bool expedited = d[0] & 0x02;
        const bool sized = d[0] & 0x01;
        if (it == m_sdo.end() || !it->Upload) {
            TSdo s;
            s.Upload = true;
            s.StartUs = frame.TimeUs;
            it = m_sdo.insert(node, s);
        }
        it->Index = index;
        it->SubIndex = sub;
        it->LastUs = frame.TimeUs;
        if (expedited) {
            const int length = sized ? 4 - ((d[0] >> 2) & 3) : 4;
            it->Data = QByteArray(reinterpret_cast<const char *>(d) + 4, length);
            it->Size = length;
            const QString value = valueText(it->Data);
            End(node, frame.TimeUs, QString(), done);
            return QStringLiteral("CANopen SDO upload %1 = %2").arg(object, value) + who;
        }
        it->Size = sized ? int(le32(d + 4)) : -1;
        return QStringLiteral("CANopen SDO upload %1, %2 bytes").arg(object).arg(it->Size) + who;
    }
    case 0: { // upload segment response
        const int length = 7 - ((d[0] >> 1) & 7);
        const bool last = d[0] & 1;
        if (it == m_sdo.end() || !it->Upload)
            return QStringLiteral("CANopen SDO upload segment, unexpected") + who;
        const int toggle = (d[0] >> 4) & 1;
        if (toggle != it->Toggle) {
            End(node, frame.TimeUs, QStringLiteral("toggle bit not alternated"), done);
            return QStringLiteral("CANopen SDO upload segment: toggle bit not alternated") + who;
        }
        it->Toggle ^= 1;
        it->Data.append(reinterpret_cast<const char *>(d) + 1, length);
        it->LastUs = frame.TimeUs;
        if (last) {
            const QString value = valueText(it->Data);
            const QString o = objectText(it->Index, it->SubIndex);
            End(node, frame.TimeUs, QString(), done);
            return QStringLiteral("CANopen SDO upload segment, last: %1 = %2").arg(o, value) + who;
        }
        return QStringLiteral("CANopen SDO upload segment %1 bytes").arg(length) + who;
    }
    case 3: // initiate download response
        if (it != m_sdo.end() && !it->Upload && it->Size >= 0 && it->Data.size() >= it->Size) {
            End(node, frame.TimeUs, QString(), done);
            return QStringLiteral("CANopen SDO download %1 confirmed").arg(object) + who;
        }
        if (it != m_sdo.end())
            it->LastUs = frame.TimeUs;
        return QStringLiteral("CANopen SDO download %1 accepted").arg(object) + who;
    case 1: // download segment response
        if (it != m_sdo.end() && !it->Upload) {
            it->LastUs = frame.TimeUs;
            if (it->Size >= 0 && it->Data.size() >= it->Size)
                End(node, frame.TimeUs, QString(), done);
        }
        return QStringLiteral("CANopen SDO download segment confirmed, toggle %1").arg((d[0] >> 4) & 1) + who;
    case 5: return QStringLiteral("CANopen SDO block download (not reassembled) %1").arg(object) + who;
    case 6: return QStringLiteral("CANopen SDO block upload (not reassembled) %1").arg(object) + who;
    default: return QStringLiteral("CANopen SDO server command %1").arg(specifier) + who;
    }
}

void TCanOpenDecoder::End(int node, int64_t endUs, const QString &fault, QList<TTransfer> &done)
{
    const TSdo s = m_sdo.take(node);
    TTransfer t;
    t.Protocol = QStringLiteral("canopen");
    t.StartUs = s.StartUs;
    t.EndUs = endUs;
    t.SourceId = uint32_t((s.Upload ? 0x580 : 0x600) + node);
    t.TargetId = uint32_t((s.Upload ? 0x600 : 0x580) + node);
    t.Node = node;
    t.Index = s.Index;
    t.SubIndex = s.SubIndex;
    t.Payload = s.Size >= 0 ? s.Data.left(s.Size) : s.Data;
    t.Fault = fault;
    if (fault.isEmpty() && s.Size >= 0 && s.Data.size() < s.Size)
        t.Fault = QStringLiteral("%1 of %2 bytes").arg(s.Data.size()).arg(s.Size);
    t.Meaning = QStringLiteral("CANopen SDO %1 %2%3 (node %4)")
                    .arg(QLatin1String(s.Upload ? "upload" : "download"), objectText(s.Index, s.SubIndex))
                    .arg(t.Payload.isEmpty() ? QString() : QStringLiteral(" = ") + valueText(t.Payload))
                    .arg(node);
    done << t;
}

void TCanOpenDecoder::Flush(int64_t nowUs, QList<TTransfer> &done)
{
    QList<int> late;
    for (auto it = m_sdo.cbegin(); it != m_sdo.cend(); ++it)
        if (nowUs < 0 || nowUs - it->LastUs > TimeoutUs)
            late << it.key();
    for (const int node : late)
        End(node, m_sdo[node].LastUs,
            nowUs < 0 ? QStringLiteral("the log ended during the transfer") : QStringLiteral("SDO protocol timed out"),
            done);
}
