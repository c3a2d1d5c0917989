#include "protocols/J1939.h"

#include <QStringList>

#include <iterator>

namespace {

constexpr int PgnTpCm = 60416;
constexpr int PgnTpDt = 60160;
constexpr int PgnDm1 = 65226;
constexpr int PgnDm2 = 65227;

struct TPgnName {
    int Pgn;
    const char *Name;
};

const TPgnName pgnNames[] = {
    {59392, "ACK"},    {59904, "Request"}, {60160, "TP.DT"}, {60416, "TP.CM"},  {60928, "Address Claimed"},
    {61440, "ERC1"},   {61441, "EBC1"},    {61442, "ETC1"},  {61443, "EEC2"},   {61444, "EEC1"},
    {61445, "ETC2"},   {65132, "TCO1"},    {65217, "VDHR"},  {65226, "DM1"},    {65227, "DM2"},
    {65248, "VD"},     {65253, "HOURS"},   {65259, "CI"},    {65260, "VI"},     {65262, "ET1"},
    {65263, "EFL/P1"}, {65265, "CCVS1"},   {65266, "LFE1"},  {65269, "AMB"},    {65270, "IC1"},
    {65271, "VEP1"},   {65276, "DD"},
};

const char *const abortReasons[] = {
    "",
    "already in one or more connection-managed sessions",
    "system resources were needed for another task",
    "a timeout occurred",
    "CTS received while a data transfer is in progress",
    "maximum retransmit request limit reached",
    "unexpected data transfer packet",
    "bad sequence number",
    "duplicate sequence number",
    "total message size is greater than 1785 bytes",
};

int pgnOf(const uint8_t *d)
{
    return d[0] | (d[1] << 8) | (d[2] << 16);
}

QString pgnText(int pgn)
{
    const QString name = J1939PgnName(pgn);
    return name.isEmpty() ? QStringLiteral("PGN %1").arg(pgn) : QStringLiteral("PGN %1 %2").arg(pgn).arg(name);
}

QString addressText(int address)
{
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

TJ1939Id J1939Split(uint32_t id)
{
    TJ1939Id j;
    j.Priority = int((id >> 26) & 7);
    j.Source = int(id & 0xFF);
    const int pf = int((id >> 16) & 0xFF);
    const int ps = int((id >> 8) & 0xFF);
    const int dataPages = int((id >> 24) & 3); // extended data page and data page
    if (pf < 240) {
        j.Pgn = (dataPages << 16) | (pf << 8);
        j.Destination = ps;
    } else {
        j.Pgn = (dataPages << 16) | (pf << 8) | ps;
    }
    return j;
}

QString J1939PgnName(int pgn)
{
    for (const TPgnName &n : pgnNames)
        if (n.Pgn == pgn)
            return QString::fromLatin1(n.Name);
    return QString();
}

QString J1939DiagnosticText(const QByteArray &data)
{
    if (data.size() < 2)
        return QStringLiteral("too short");
    const uint8_t lamps = uint8_t(data[0]);
    QStringList on;
    static const char *const lampNames[4] = {"protect", "amber warning", "red stop", "malfunction"};
    for (int i = 0; i < 4; ++i)
        if ((lamps >> (2 * i)) & 3 && ((lamps >> (2 * i)) & 3) != 3)
            on << QLatin1String(lampNames[i]);
    QStringList dtcs;
    for (int at = 2; at + 4 <= data.size(); at += 4) {
        const uint8_t *d = reinterpret_cast<const uint8_t *>(data.constData()) + at;
        const int spn = d[0] | (d[1] << 8) | ((d[2] & 0xE0) << 11);
        const int fmi = d[2] & 0x1F;
        const int count = d[3] & 0x7F;
        if (spn == 0 && fmi == 0)
            continue; // "no active DTC" is sent as zeros
        if (spn == 0x7FFFF && fmi == 0x1F)
            continue; // padding
        dtcs << QStringLiteral("SPN %1 FMI %2 OC %3").arg(spn).arg(fmi).arg(count);
    }
    return QStringLiteral("lamps %1; %2")
        .arg(on.isEmpty() ? QStringLiteral("off") : on.join(QLatin1Char(',')),
             dtcs.isEmpty() ? QStringLiteral("no active DTC") : dtcs.join(QStringLiteral("; ")));
}

QString TJ1939Decoder::Feed(const TBusFrame &frame, QList<TTransfer> &done)
{
    Flush(frame.TimeUs, done);
    if (!frame.Extended)
        return QString();
    const TJ1939Id id = J1939Split(frame.Id);
    if (!m_describe) {
        if ((id.Pgn & 0x3FF00) == PgnTpCm)
            ConnectionManagement(frame, id, done);
        else if ((id.Pgn & 0x3FF00) == PgnTpDt)
            DataTransfer(frame, id, done);
        return QString();
    }
    QString text = QStringLiteral("J1939 %1 SA %2").arg(pgnText(id.Pgn), addressText(id.Source));
    if (id.Destination != 255 || id.Pgn < 0xF000)
        text += QStringLiteral(" DA %1").arg(addressText(id.Destination));
    text += QStringLiteral(" P%1").arg(id.Priority);
    if (frame.Remote)
        return text;
    const QByteArray data(reinterpret_cast<const char *>(frame.Data), frame.Length());
    if ((id.Pgn & 0x3FF00) == PgnTpCm)
        return text + QStringLiteral(": ") + ConnectionManagement(frame, id, done);
    if ((id.Pgn & 0x3FF00) == PgnTpDt)
        return text + QStringLiteral(": ") + DataTransfer(frame, id, done);
    if (id.Pgn == PgnDm1 || id.Pgn == PgnDm2)
        return text + QStringLiteral(": ") + J1939DiagnosticText(data);
    if ((id.Pgn & 0x3FF00) == 59904 && frame.Length() >= 3)
        return text + QStringLiteral(": request for %1").arg(pgnText(pgnOf(frame.Data)));
    return text;
}

QString TJ1939Decoder::ConnectionManagement(const TBusFrame &frame, const TJ1939Id &id, QList<TTransfer> &done)
{
    if (frame.Length() < 8)
        return QStringLiteral("TP.CM with %1 data bytes (8 expected)").arg(frame.Length());
    const uint8_t *d = frame.Data;
    const int control = d[0];
    const int pgn = pgnOf(d + 5);
    const int size = d[1] | (d[2] << 8);
    switch (control) {
    case 16: // RTS: the sender is the source; the session is keyed by sender and receiver
    case 32: { // BAM
        const bool bam = control == 32;
        const uint32_t key = SessionKey(id.Source, bam ? 255 : id.Destination);
        if (m_sessions.contains(key))
            End(key, frame.TimeUs, QStringLiteral("a new session began before this one ended"), done);
        if (size < 9 || size > MaxLength)
            return QStringLiteral("TP.CM %1 for %2 bytes: outside 9 to %3").arg(bam ? "BAM" : "RTS").arg(size).arg(MaxLength);
        TSession s;
        s.Broadcast = bam;
        s.Pgn = pgn;
        s.Size = size;
        s.Packets = d[3];
        s.StartUs = s.LastUs = frame.TimeUs;
        m_sessions.insert(key, s);
        return QStringLiteral("TP.CM %1 %2 bytes in %3 packets of %4")
            .arg(QLatin1String(bam ? "BAM" : "RTS"))
            .arg(size)
            .arg(d[3])
            .arg(pgnText(pgn));
    }
    case 17: // CTS: from the receiver back to the sender
        return QStringLiteral("TP.CM CTS %1 packets from %2 of %3").arg(d[1]).arg(d[2]).arg(pgnText(pgn));
    case 19: // EndOfMsgAck from the receiver
        return QStringLiteral("TP.CM EndOfMsgAck %1 bytes of %2").arg(size).arg(pgnText(pgn));
    case 255: {
        const int reason = d[1];
        const QString why = reason >= 1 && reason < int(std::size(abortReasons)) ? QLatin1String(abortReasons[reason])
                                                                                 : QStringLiteral("reason %1").arg(reason);
        // Either side may abort: the session runs from the other address to this one or back.
        for (const uint32_t key : {SessionKey(id.Source, id.Destination), SessionKey(id.Destination, id.Source)})
            if (m_sessions.contains(key))
                End(key, frame.TimeUs, QStringLiteral("aborted: %1").arg(why), done);
        return QStringLiteral("TP.CM Abort of %1: %2").arg(pgnText(pgn), why);
    }
    default:
        return QStringLiteral("TP.CM control byte %1").arg(control);
    }
}

QString TJ1939Decoder::DataTransfer(const TBusFrame &frame, const TJ1939Id &id, QList<TTransfer> &done)
{
    if (frame.Length() < 1)
        return QStringLiteral("TP.DT without data");
    const int sequence = frame.Data[0];
    auto it = m_sessions.find(SessionKey(id.Source, id.Destination));
    if (it == m_sessions.end()) {
        TTransfer t;
        t.Protocol = QStringLiteral("j1939");
        t.StartUs = t.EndUs = frame.TimeUs;
        t.SourceAddress = id.Source;
        t.SourceId = frame.Id;
        t.Fault = QStringLiteral("unexpected TP.DT %1: no session").arg(sequence);
        done << t;
        return QStringLiteral("TP.DT %1, unexpected").arg(sequence);
    }
    if (sequence != it->NextPacket) {
        const QString fault = QStringLiteral("bad sequence number %1, expected %2").arg(sequence).arg(it->NextPacket);
        End(it.key(), frame.TimeUs, fault, done);
        return QStringLiteral("TP.DT %1: %2").arg(sequence).arg(fault);
    }
    it->Data.append(reinterpret_cast<const char *>(frame.Data) + 1, frame.Length() - 1);
    it->NextPacket++;
    it->LastUs = frame.TimeUs;
    if (it->Data.size() >= it->Size || sequence >= it->Packets) {
        const int pgn = it->Pgn;
        End(it.key(), frame.TimeUs, QString(), done);
        return QStringLiteral("TP.DT %1, last of %2").arg(sequence).arg(pgnText(pgn));
    }
    return QStringLiteral("TP.DT %1").arg(sequence);
}

void TJ1939Decoder::End(uint32_t key, int64_t endUs, const QString &fault, QList<TTransfer> &done)
{
    const TSession s = m_sessions.take(key);
    TTransfer t;
    t.Protocol = QStringLiteral("j1939");
    t.StartUs = s.StartUs;
    t.EndUs = endUs;
    t.SourceAddress = int(key >> 8);
    t.Pgn = s.Pgn;
    t.Payload = s.Data.left(s.Size);
    t.Fault = fault;
    if (fault.isEmpty() && s.Data.size() < s.Size)
        t.Fault = QStringLiteral("%1 of %2 bytes").arg(s.Data.size()).arg(s.Size);
    t.Meaning = QStringLiteral("J1939 %1 SA %2%3, %4 bytes")
                    .arg(pgnText(s.Pgn), addressText(int(key >> 8)))
                    .arg(s.Broadcast ? QStringLiteral(" (BAM)") : QStringLiteral(" DA %1").arg(addressText(int(key & 0xFF))))
                    .arg(s.Size);
    if ((s.Pgn == PgnDm1 || s.Pgn == PgnDm2) && t.Fault.isEmpty())
        t.Meaning += QStringLiteral(": ") + J1939DiagnosticText(t.Payload);
    done << t;
}

void TJ1939Decoder::Flush(int64_t nowUs, QList<TTransfer> &done)
{
    QList<uint32_t> late;
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it)
        if (nowUs < 0 || nowUs - it->LastUs > TimeoutUs)
            late << it.key();
    for (const uint32_t key : late)
        End(key, m_sessions[key].LastUs,
            nowUs < 0 ? QStringLiteral("the log ended during the transfer")
                      : QStringLiteral("timeout: no TP.DT within %1 ms").arg(TimeoutUs / 1000),
            done);
}
