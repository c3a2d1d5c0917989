// pcap and pcapng captures of CAN: link type 227 (SocketCAN) and 113 (Linux cooked capture
// carrying CAN), either byte order, micro- and nanosecond stamps, several pcapng interfaces.

#include "logs/ByteSource.h"
#include "logs/LogFormats.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t LinkSocketCan = 227;
constexpr uint32_t LinkLinuxCooked = 113;
// No capture record or block is larger than this: a longer length is a broken or hostile file.
constexpr uint32_t RecordLimit = 16u * 1024 * 1024;

uint32_t Get32(const char *p, bool big)
{
    const auto *u = reinterpret_cast<const uint8_t *>(p);
    return big ? uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3]
               : uint32_t(u[3]) << 24 | uint32_t(u[2]) << 16 | uint32_t(u[1]) << 8 | u[0];
}

uint16_t Get16(const char *p, bool big)
{
    const auto *u = reinterpret_cast<const uint8_t *>(p);
    return big ? uint16_t(u[0] << 8 | u[1]) : uint16_t(u[1] << 8 | u[0]);
}

enum class TPacket { Frame, NotCan, Bad };

// A SocketCAN frame (can_id, length, flags, two reserved bytes, data); `bigId` says the id's byte
// order. Classic frames are 16 bytes, FD frames 72 (or marked by the FDF flag).
TPacket DecodeSocketCan(QByteArrayView p, bool bigId, bool fdByProtocol, TLogFrame &f, QString &why)
{
    if (p.size() < 8) {
        why = QStringLiteral("a CAN packet of %1 bytes, shorter than its 8-byte header").arg(p.size());
        return TPacket::Bad;
    }
    const uint8_t length = uint8_t(p[4]);
    const uint8_t flags = uint8_t(p[5]);
    if (flags & 0x80)
        return TPacket::NotCan; // CAN XL, another layout
    const uint32_t raw = Get32(p.data(), bigId);
    f.Extended = raw & 0x80000000u;
    f.Remote = raw & 0x40000000u;
    f.Error = raw & 0x20000000u;
    f.Id = raw & (f.Extended ? 0x1FFFFFFFu : 0x7FFu);
    if (f.Error)
        f.Id = raw & 0x1FFFFFFFu;
    f.Fd = fdByProtocol || (flags & 0x04) || p.size() == 72;
    const int max = f.Fd ? 64 : 8;
    if (length > max) {
        why = QStringLiteral("a CAN frame of %1 data bytes, above %2").arg(length).arg(max);
        return TPacket::Bad;
    }
    const qsizetype have = std::min<qsizetype>(length, p.size() - 8);
    f.Dlc = length;
    // Classic frames may carry a length code 9-15 in the byte after the reserved one.
    if (!f.Fd && length == 8 && uint8_t(p[7]) > 8 && uint8_t(p[7]) <= 15)
        f.Dlc = uint8_t(p[7]);
    if (f.Remote)
        f.Data.clear();
    else
        f.Data = QByteArray(p.data() + 8, have);
    return TPacket::Frame;
}

// Linux cooked capture: a 16-byte header whose protocol says CAN (0x000C) or CAN FD (0x000D);
// the frame's id is in the byte order of the machine that captured it.
TPacket DecodeCooked(QByteArrayView p, TLogFrame &f, QString &why)
{
    if (p.size() < 16)
        return TPacket::NotCan;
    const uint16_t protocol = Get16(p.data() + 14, true);
    if (protocol != 0x000C && protocol != 0x000D)
        return TPacket::NotCan;
    const QByteArrayView frame = p.sliced(16);
    if (frame.size() < 8) {
        why = QStringLiteral("a CAN packet of %1 bytes, shorter than its 8-byte header").arg(frame.size());
        return TPacket::Bad;
    }
    // Little-endian (the usual capturing machine) unless only big-endian gives a sound identifier.
    const uint32_t little = Get32(frame.data(), false);
    const bool littleSound = (little & 0x80000000u) || (little & 0x1FFFF800u) == 0;
    return DecodeSocketCan(frame, !littleSound, protocol == 0x000D, f, why);
}

TPacket DecodePacket(uint32_t link, QByteArrayView p, TLogFrame &f, QString &why)
{
    if (link == LinkSocketCan)
        return DecodeSocketCan(p, true, false, f, why);
    if (link == LinkLinuxCooked)
        return DecodeCooked(p, f, why);
    return TPacket::NotCan;
}

class TPcapReader : public TLogReader {
public:
    TPcapReader(TByteSource &in, const QString &name) : TLogReader(TLogKind::Pcap, in, name) { m_absolute = true; }

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        if (!m_started && !Begin())
            return false;
        for (;;) {
            const qint64 at = m_in.Offset();
            QByteArrayView h;
            if (!m_in.Read(16, h)) {
                if (!m_in.Error().isEmpty())
                    return FailAtByte(at, m_in.Error());
                if (!m_in.Peek(1).isEmpty())
                    return FailAtByte(at, QStringLiteral("a record header cut short"));
                return false;
            }
            const uint32_t seconds = Get32(h.data(), m_big);
            const uint32_t fraction = Get32(h.data() + 4, m_big);
            const uint32_t captured = Get32(h.data() + 8, m_big);
            if (captured > RecordLimit)
                return FailAtByte(at, QStringLiteral("a record length of %1 bytes, above the limit of %2")
                                          .arg(captured)
                                          .arg(RecordLimit));
            QByteArrayView p;
            if (!m_in.Read(captured, p))
                return FailAtByte(at, QStringLiteral("a record of %1 bytes cut short").arg(captured));
            TLogFrame f;
            QString why;
            const TPacket kind = DecodePacket(m_link, p, f, why);
            if (kind == TPacket::Bad)
                return FailAtByte(at, why);
            if (kind == TPacket::NotCan) {
                ++m_skipped;
                continue;
            }
            f.TimeUs = int64_t(seconds) * 1000000 + (m_nano ? fraction / 1000 : fraction);
            f.Interface = "0";
            frame = std::move(f);
            return true;
        }
    }

private:
    bool Begin()
    {
        m_started = true;
        QByteArrayView h;
        if (!m_in.Read(24, h))
            return FailAtByte(0, QStringLiteral("a pcap header cut short"));
        const uint32_t magic = Get32(h.data(), true);
        switch (magic) {
        case 0xA1B2C3D4u: m_big = true; break;
        case 0xD4C3B2A1u: m_big = false; break;
        case 0xA1B23C4Du: m_big = true; m_nano = true; break;
        case 0x4D3CB2A1u: m_big = false; m_nano = true; break;
        default: return FailAtByte(0, QStringLiteral("not a pcap file (wrong magic number)"));
        }
        m_link = Get32(h.data() + 20, m_big) & 0xFFFF;
        if (m_link != LinkSocketCan && m_link != LinkLinuxCooked)
            return FailAtByte(20, QStringLiteral("link type %1 carries no CAN (227 SocketCAN and 113 Linux cooked "
                                                 "capture do)")
                                      .arg(m_link));
        return true;
    }

    bool m_started = false;
    bool m_big = false;
    bool m_nano = false;
    uint32_t m_link = 0;
};

class TPcapngReader : public TLogReader {
public:
    TPcapngReader(TByteSource &in, const QString &name) : TLogReader(TLogKind::Pcapng, in, name)
    {
        m_absolute = true;
    }

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        for (;;) {
            const qint64 at = m_in.Offset();
            QByteArrayView h;
            if (!m_in.Read(8, h)) {
                if (!m_in.Error().isEmpty())
                    return FailAtByte(at, m_in.Error());
                if (!m_in.Peek(1).isEmpty())
                    return FailAtByte(at, QStringLiteral("a block header cut short"));
                if (!m_sectionSeen)
                    return FailAtByte(0, QStringLiteral("a pcapng header cut short"));
                return false;
            }
            const uint32_t typeRaw = Get32(h.data(), false);
            const bool section = typeRaw == 0x0A0D0D0Au;
            if (section) {
                QByteArrayView magic = m_in.Peek(4);
                if (magic.size() < 4)
                    return FailAtByte(at, QStringLiteral("a section header cut short"));
                const uint32_t bom = Get32(magic.data(), true);
                if (bom == 0x1A2B3C4Du)
                    m_big = true;
                else if (bom == 0x4D3C2B1Au)
                    m_big = false;
                else
                    return FailAtByte(at + 8, QStringLiteral("not a pcapng file (wrong byte-order magic)"));
                m_sectionSeen = true;
                m_interfaces.clear();
            } else if (!m_sectionSeen) {
                return FailAtByte(0, QStringLiteral("not a pcapng file (no section header first)"));
            }
            const uint32_t type = Get32(h.data(), m_big);
            const uint32_t total = Get32(h.data() + 4, m_big);
            if (total < 12 || total % 4 != 0)
                return FailAtByte(at, QStringLiteral("a block length of %1 bytes (at least 12, a multiple of 4)").arg(total));
            if (total > RecordLimit)
                return FailAtByte(at, QStringLiteral("a block length of %1 bytes, above the limit of %2")
                                          .arg(total)
                                          .arg(RecordLimit));
            QByteArrayView body;
            if (!m_in.Read(total - 8, body))
                return FailAtByte(at, QStringLiteral("a block of %1 bytes cut short").arg(total));
            if (Get32(body.data() + body.size() - 4, m_big) != total)
                return FailAtByte(at, QStringLiteral("a block whose closing length differs from its opening one"));
            body.chop(4);
            TLogFrame f;
            QString why;
            int result = 0;
            switch (type) {
            case 0x0A0D0D0Au: result = 0; break;
            case 1: result = Interface(body, why) ? 0 : -1; break;
            case 6: result = Enhanced(body, f, why); break;
            case 3: result = Simple(body, f, why); break;
            default: result = 0; break;
            }
            if (result < 0)
                return FailAtByte(at, why);
            if (result == 0) {
                if (type != 1 && type != 0x0A0D0D0Au)
                    ++m_skipped;
                continue;
            }
            frame = std::move(f);
            return true;
        }
    }

private:
    struct TInterface {
        uint32_t link = 0;
        uint64_t unitsPerSecond = 1000000;
        int64_t offsetSeconds = 0;
        QByteArray name;
    };

    bool Interface(QByteArrayView b, QString &why)
    {
        if (b.size() < 8) {
            why = QStringLiteral("an interface description shorter than 8 bytes");
            return false;
        }
        if (m_interfaces.size() >= 65536) {
            why = QStringLiteral("more than 65536 interfaces");
            return false;
        }
        TInterface i;
        i.link = Get16(b.data(), m_big);
        i.name = QByteArray::number(qsizetype(m_interfaces.size()));
        qsizetype pos = 8;
        while (pos + 4 <= b.size()) {
            const uint16_t code = Get16(b.data() + pos, m_big);
            const uint16_t length = Get16(b.data() + pos + 2, m_big);
            pos += 4;
            if (code == 0)
                break;
            if (pos + length > b.size()) {
                why = QStringLiteral("an interface option longer than its block");
                return false;
            }
            const QByteArrayView value = b.sliced(pos, length);
            if (code == 2 && length > 0) {
                i.name = value.toByteArray();
                if (i.name.endsWith('\0'))
                    i.name.chop(1);
            } else if (code == 9 && length >= 1) {
                const uint8_t r = uint8_t(value[0]);
                const int exponent = r & 0x7F;
                if ((r & 0x80 && exponent > 63) || (!(r & 0x80) && exponent > 19)) {
                    why = QStringLiteral("a time resolution of %1 the block cannot have").arg(r);
                    return false;
                }
                i.unitsPerSecond = 1;
                for (int e = 0; e < exponent; ++e)
                    i.unitsPerSecond *= (r & 0x80) ? 2 : 10;
            } else if (code == 14 && length >= 8) {
                const uint64_t v = uint64_t(Get32(value.data() + (m_big ? 0 : 4), m_big)) << 32
                                 | Get32(value.data() + (m_big ? 4 : 0), m_big);
                i.offsetSeconds = int64_t(v);
            }
            pos += (length + 3) & ~3;
        }
        m_interfaces.push_back(std::move(i));
        return true;
    }

    int Packet(uint32_t interface, uint64_t stamp, QByteArrayView data, TLogFrame &f, QString &why)
    {
        if (interface >= m_interfaces.size()) {
            why = QStringLiteral("a packet of interface %1, which no description names").arg(interface);
            return -1;
        }
        const TInterface &i = m_interfaces[interface];
        const TPacket kind = DecodePacket(i.link, data, f, why);
        if (kind == TPacket::Bad)
            return -1;
        if (kind == TPacket::NotCan)
            return 0;
        const unsigned __int128 us = ((unsigned __int128)stamp * 1000000u + i.unitsPerSecond / 2) / i.unitsPerSecond;
        f.TimeUs = int64_t(uint64_t(us)) + i.offsetSeconds * 1000000;
        f.Interface = i.name;
        return 1;
    }

    int Enhanced(QByteArrayView b, TLogFrame &f, QString &why)
    {
        if (b.size() < 20) {
            why = QStringLiteral("an enhanced packet block shorter than 20 bytes");
            return -1;
        }
        const uint32_t interface = Get32(b.data(), m_big);
        const uint64_t stamp = uint64_t(Get32(b.data() + 4, m_big)) << 32 | Get32(b.data() + 8, m_big);
        const uint32_t captured = Get32(b.data() + 12, m_big);
        if (captured > uint32_t(b.size() - 20)) {
            why = QStringLiteral("a packet of %1 bytes in a block of %2").arg(captured).arg(b.size());
            return -1;
        }
        return Packet(interface, stamp, b.sliced(20, captured), f, why);
    }

    int Simple(QByteArrayView b, TLogFrame &f, QString &why)
    {
        if (b.size() < 4) {
            why = QStringLiteral("a simple packet block shorter than 4 bytes");
            return -1;
        }
        const uint32_t original = Get32(b.data(), m_big);
        const qsizetype length = std::min<qsizetype>(original, b.size() - 4);
        return Packet(0, 0, b.sliced(4, length), f, why);
    }

    bool m_big = false;
    bool m_sectionSeen = false;
    std::vector<TInterface> m_interfaces;
};

} // namespace

std::unique_ptr<TLogReader> MakePcapReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TPcapReader>(in, name);
}
std::unique_ptr<TLogReader> MakePcapngReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TPcapngReader>(in, name);
}
