#include "ProtocolNodes.h"

#include "common/HexDigit.h"

#include <algorithm>

namespace Sim {

namespace {

constexpr uint32_t EcuRequest = 0x7E0;
constexpr uint32_t Functional = 0x7DF;
constexpr uint32_t EcuAnswer = 0x7E8;
constexpr int CanOpenNode = 5;
constexpr uint64_t SlowServiceMs = 300; // ECUReset answers "response pending" first

QByteArray negative(uint8_t sid, uint8_t nrc)
{
    return QByteArray("\x7F", 1) + char(sid) + char(nrc);
}

QByteArray u32(uint32_t v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF) + char((v >> 16) & 0xFF) + char(v >> 24);
}

QByteArray padded(QByteArray bytes)
{
    bytes.append(QByteArray(8 - qMin(bytes.size(), qsizetype(8)), '\xAA'));
    return bytes;
}

} // namespace

void ProtocolNodes::startBy(uint64_t atMs)
{
    if (m_started)
        return;
    m_startBy = std::min(m_startBy, atMs);
    m_nextHeartbeatMs = m_startBy;
    m_nextEngineMs = m_startBy + 100;
    m_nextDm1Ms = m_startBy + 500;
}

void ProtocolNodes::start(uint64_t nowMs)
{
    if (m_started)
        return;
    m_started = true;
    m_nextHeartbeatMs = nowMs;
    m_nextEngineMs = nowMs + 100;
    m_nextDm1Ms = nowMs + 500;
}

const char *ProtocolNodes::Vin()
{
    return "K3316SIMVIN000001";
}

bool ProtocolNodes::parse(const QByteArray &line, Frame &f)
{
    if (line.isEmpty() || (line[0] != 't' && line[0] != 'e'))
        return false; // remote frames ask nothing of these nodes
    f.extended = line[0] == 'e';
    const int digits = f.extended ? 8 : 3;
    if (line.size() < 1 + digits + 1)
        return false;
    f.id = 0;
    for (int i = 1; i <= digits; ++i)
        f.id = f.id << 4 | uint32_t(HexDigitValue(line[i]));
    f.dlc = HexDigitValue(line[1 + digits]);
    if (f.dlc < 0 || f.dlc > 8 || line.size() < 2 + digits + 2 * f.dlc)
        return false;
    for (int i = 0; i < f.dlc; ++i)
        f.data[i] = uint8_t(HexDigitValue(line[2 + digits + 2 * i]) << 4 | HexDigitValue(line[3 + digits + 2 * i]));
    return true;
}

QByteArray ProtocolNodes::text(uint32_t id, bool extended, const QByteArray &data)
{
    QByteArray line(1, extended ? 'e' : 't');
    line += QByteArray::number(id, 16).toUpper().rightJustified(extended ? 8 : 3, '0');
    line += QByteArray::number(qMin(data.size(), qsizetype(8)));
    line += data.left(8).toHex().toUpper();
    return line;
}

void ProtocolNodes::heard(const QByteArray &line, uint64_t nowMs, QList<Line> &out)
{
    start(nowMs);
    Frame f;
    if (!parse(line, f) || f.extended)
        return;
    if (f.id == EcuRequest || f.id == Functional)
        ecuFrame(f, nowMs, out);
    else if (f.id == 0x600u + CanOpenNode)
        sdo(f, nowMs, out);
}

void ProtocolNodes::ecuFrame(const Frame &f, uint64_t nowMs, QList<Line> &out)
{
    if (f.dlc < 1)
        return;
    const uint8_t *d = f.data;
    switch (d[0] >> 4) {
    case 0: {
        const int length = d[0] & 0x0F;
        if (length >= 1 && length < f.dlc)
            ecuAnswer(QByteArray(reinterpret_cast<const char *>(d) + 1, length), nowMs, out);
        return;
    }
    case 1: // a long request: everything at once
        if (f.id != EcuRequest || f.dlc < 8)
            return;
        m_rxExpected = ((d[0] & 0x0F) << 8) | d[1];
        m_rxData = QByteArray(reinterpret_cast<const char *>(d) + 2, 6);
        m_rxSequence = 1;
        out << Line{nowMs + 1, text(EcuAnswer, false, padded(QByteArray("\x30\x00\x00", 3)))};
        return;
    case 2:
        if (m_rxExpected == 0 || (d[0] & 0x0F) != m_rxSequence) {
            m_rxExpected = 0; // a frame was lost: the request is dropped, as an ECU does
            return;
        }
        m_rxSequence = (m_rxSequence + 1) & 0x0F;
        m_rxData.append(reinterpret_cast<const char *>(d) + 1, qMin(f.dlc - 1, m_rxExpected - int(m_rxData.size())));
        if (m_rxData.size() >= m_rxExpected) {
            m_rxExpected = 0;
            ecuAnswer(m_rxData, nowMs, out);
        }
        return;
    case 3:
        if (f.id == EcuRequest && m_txAwaitFlowControl && (d[0] & 0x0F) == 0) {
            const int st = f.dlc > 2 ? d[2] : 0;
            ecuConsecutive(nowMs, f.dlc > 1 ? d[1] : 0, st <= 0x7F ? st : 1, out);
        }
        return;
    default:
        return;
    }
}

void ProtocolNodes::ecuAnswer(const QByteArray &q, uint64_t nowMs, QList<Line> &out)
{
    const uint8_t sid = uint8_t(q[0]);
    const uint8_t sub = q.size() > 1 ? uint8_t(q[1]) : 0;
    QByteArray a;
    switch (sid) {
    case 0x01: // OBD-II current data
        if (sub == 0x0C) a = QByteArray::fromHex("410C1AF8");
        else if (sub == 0x0D) a = QByteArray::fromHex("410D32");
        else if (sub == 0x05) a = QByteArray::fromHex("410578");
        else if (sub == 0x00) a = QByteArray::fromHex("4100081A8000"); // 05 0C 0D 11... supported
        else return; // an unsupported PID gets no answer on OBD-II
        break;
    case 0x09:
        if (sub != 0x02)
            return;
        a = QByteArray::fromHex("490201") + Vin();
        break;
    case 0x10:
        a = sub >= 1 && sub <= 3 ? QByteArray::fromHex("5000003201F4") : negative(sid, 0x12);
        if (sub >= 1 && sub <= 3)
            a[1] = char(sub);
        break;
    case 0x3E:
        if (sub & 0x80)
            return; // no response wanted
        a = QByteArray::fromHex("7E00");
        break;
    case 0x22:
        if (q.size() >= 3 && uint8_t(q[1]) == 0xF1 && uint8_t(q[2]) == 0x90)
            a = QByteArray::fromHex("62F190") + Vin();
        else if (q.size() >= 3 && uint8_t(q[1]) == 0xF1 && uint8_t(q[2]) == 0x8C)
            a = QByteArray::fromHex("62F18C") + "SN3316";
        else
            a = negative(sid, 0x31);
        break;
    case 0x19:
        a = sub == 0x02 ? QByteArray::fromHex("5902FF03010009C0018708") : negative(sid, 0x12);
        break;
    case 0x11:
        // The slow service: "response pending" first, then the answer.
        out << Line{nowMs + 2, text(EcuAnswer, false, padded(QByteArray("\x03", 1) + negative(sid, 0x78)))};
        ecuSend(QByteArray::fromHex("51") + char(sub), nowMs + SlowServiceMs, out);
        return;
    default:
        a = negative(sid, 0x11);
        break;
    }
    ecuSend(a, nowMs + 2, out);
}

void ProtocolNodes::ecuSend(const QByteArray &payload, uint64_t atMs, QList<Line> &out)
{
    if (payload.size() <= 7) {
        out << Line{atMs, text(EcuAnswer, false, padded(char(payload.size()) + payload))};
        return;
    }
    m_txData = payload;
    QByteArray first(1, char(0x10 | (payload.size() >> 8)));
    first += char(payload.size() & 0xFF);
    first += payload.left(6);
    m_txOffset = 6;
    m_txSequence = 1;
    m_txAwaitFlowControl = true;
    out << Line{atMs, text(EcuAnswer, false, first)};
}

void ProtocolNodes::ecuConsecutive(uint64_t nowMs, int blockSize, int gapMs, QList<Line> &out)
{
    uint64_t at = nowMs + uint64_t(std::max(gapMs, 1));
    for (int i = 0; (blockSize == 0 || i < blockSize) && m_txOffset < m_txData.size(); ++i) {
        QByteArray bytes(1, char(0x20 | m_txSequence));
        bytes += m_txData.mid(m_txOffset, 7);
        m_txOffset += int(bytes.size() - 1);
        m_txSequence = (m_txSequence + 1) & 0x0F;
        out << Line{at, text(EcuAnswer, false, padded(bytes))};
        at += uint64_t(std::max(gapMs, 1));
    }
    m_txAwaitFlowControl = m_txOffset < m_txData.size();
}

void ProtocolNodes::sdo(const Frame &f, uint64_t nowMs, QList<Line> &out)
{
    if (f.dlc < 8)
        return;
    const uint32_t answer = 0x580u + CanOpenNode;
    const uint8_t *d = f.data;
    const int specifier = d[0] >> 5;
    const int index = d[1] | (d[2] << 8);
    const int sub = d[3];
    const QByteArray object(reinterpret_cast<const char *>(d) + 1, 3);
    auto abort = [&](uint32_t code) { out << Line{nowMs + 1, text(answer, false, QByteArray("\x80", 1) + object + u32(code))}; };
    if (specifier == 1 || specifier == 6) {
        abort(index == 0x1000 || index == 0x1008 || index == 0x1018 ? 0x06010002 : 0x06020000);
        return;
    }
    if (specifier == 3) { // the next segment of an upload
        if (m_sdoOffset >= m_sdoData.size() || ((d[0] >> 4) & 1) != m_sdoToggle) {
            abort(0x05030000);
            return;
        }
        const QByteArray part = m_sdoData.mid(m_sdoOffset, 7);
        m_sdoOffset += int(part.size());
        const bool last = m_sdoOffset >= m_sdoData.size();
        const uint8_t head = uint8_t(m_sdoToggle << 4 | (7 - part.size()) << 1 | (last ? 1 : 0));
        m_sdoToggle ^= 1;
        out << Line{nowMs + 1, text(answer, false, (char(head) + part).leftJustified(8, '\0'))};
        return;
    }
    if (specifier != 2) {
        abort(0x05040001);
        return;
    }
    QByteArray value;
    if (index == 0x1000 && sub == 0)
        value = u32(0x00000191); // a generic I/O device
    else if (index == 0x1008 && sub == 0)
        value = "K-3316 virtual node";
    else if (index == 0x1018 && sub == 0)
        value = QByteArray(1, 4);
    else if (index == 0x1018 && sub >= 1 && sub <= 4)
        value = u32(sub == 1 ? 0x12345678u : sub == 2 ? 0x00003316u : sub == 3 ? 0x00020006u : 0x00000001u);
    else {
        abort(index == 0x1000 || index == 0x1008 || index == 0x1018 ? 0x06090011 : 0x06020000);
        return;
    }
    if (value.size() <= 4) {
        const uint8_t head = uint8_t(0x43 | (4 - value.size()) << 2);
        out << Line{nowMs + 1, text(answer, false, (char(head) + object + value).leftJustified(8, '\0'))};
        return;
    }
    m_sdoData = value;
    m_sdoOffset = 0;
    m_sdoToggle = 0;
    out << Line{nowMs + 1, text(answer, false, QByteArray("\x41", 1) + object + u32(uint32_t(value.size())))};
}

void ProtocolNodes::takePeriodic(uint64_t nowMs, QList<Line> &out)
{
    while (m_nextHeartbeatMs <= nowMs) {
        // Boot-up once, then a heartbeat a second in the operational state.
        out << Line{m_nextHeartbeatMs, text(0x700u + CanOpenNode, false, QByteArray(1, m_booted ? 5 : 0))};
        m_booted = true;
        m_nextHeartbeatMs += 1000;
    }
    while (m_nextEngineMs <= nowMs) {
        // EEC1 from the engine (SA 00): engine speed in bytes 4-5 at 0.125 rpm a bit.
        const uint16_t rpm = uint16_t((800 + 10 * (m_engineStep++ % 100)) * 8);
        const QByteArray eec1 = QByteArray::fromHex("F07D7D") + char(rpm & 0xFF) + char(rpm >> 8) + QByteArray::fromHex("00F07D");
        out << Line{m_nextEngineMs, text(0x0CF00400, true, eec1)};
        m_nextEngineMs += 100;
    }
    while (m_nextDm1Ms <= nowMs) {
        // DM1 by BAM: amber lamp, SPN 110 FMI 5 and SPN 2000 FMI 3.
        const QByteArray dm1 = QByteArray::fromHex("04FF6E000501D0070301");
        out << Line{m_nextDm1Ms, text(0x1CECFF00, true, QByteArray::fromHex("200A0002FFCAFE00"))};
        for (int packet = 0; packet * 7 < dm1.size(); ++packet)
            out << Line{m_nextDm1Ms + uint64_t(50 * (packet + 1)),
                        text(0x1CEBFF00, true, (char(packet + 1) + dm1.mid(packet * 7, 7)).leftJustified(8, '\xFF'))};
        m_nextDm1Ms += 1000;
    }
}

uint64_t ProtocolNodes::nextPeriodicMs() const
{
    return std::min({m_nextHeartbeatMs, m_nextEngineMs, m_nextDm1Ms});
}

} // namespace Sim
