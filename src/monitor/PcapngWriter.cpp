#include "monitor/PcapngWriter.h"

#include "monitor/LittleEndian.h"

#include "monitor/PcapWriter.h"

namespace {

// A block around `body` (padded to 4 bytes), its length before and after.
void appendBlock(QByteArray &out, uint32_t type, QByteArray body)
{
    while (body.size() % 4)
        body += '\0';
    const uint32_t total = uint32_t(body.size() + 12);
    AppendLe32(out, type);
    AppendLe32(out, total);
    out += body;
    AppendLe32(out, total);
}

} // namespace

QByteArray PcapngHeader(QByteArrayView interfaceName)
{
    QByteArray out;
    QByteArray section;
    AppendLe32(section, 0x1A2B3C4Du); // byte-order magic
    AppendLe16(section, 1);
    AppendLe16(section, 0);
    section += QByteArray(8, '\xFF'); // section length not known
    appendBlock(out, 0x0A0D0D0Au, section);
    QByteArray interface;
    AppendLe16(interface, uint16_t(PcapLinkTypeSocketCan));
    AppendLe16(interface, 0);
    AppendLe32(interface, 65535);
    const QByteArrayView name = interfaceName.first(std::min<qsizetype>(interfaceName.size(), 255));
    AppendLe16(interface, 2); // if_name
    AppendLe16(interface, uint16_t(name.size()));
    interface.append(name.data(), name.size());
    while (interface.size() % 4)
        interface += '\0';
    AppendLe32(interface, 0); // end of options
    appendBlock(out, 1, interface);
    return out;
}

void AppendPcapngRecord(QByteArray &out, const TFrameRow &row)
{
    const TDecodedLine &d = row.decoded;
    if (!IsCanFrame(d.kind) || d.checksum == TChecksum::Wrong)
        return;
    const uint64_t timeUs = row.timeUs < 0 ? 0 : uint64_t(row.timeUs);
    QByteArray body;
    body.reserve(40);
    AppendLe32(body, 0); // interface
    AppendLe32(body, uint32_t(timeUs >> 32));
    AppendLe32(body, uint32_t(timeUs));
    AppendLe32(body, 16);
    AppendLe32(body, 16);
    AppendSocketCanFrame(body, d);
    appendBlock(out, 6, body);
}
