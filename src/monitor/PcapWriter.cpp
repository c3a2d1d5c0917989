#include "monitor/PcapWriter.h"

#include "monitor/LittleEndian.h"

namespace {

constexpr uint32_t frameBytes = 16;

} // namespace

QByteArray PcapHeader()
{
    QByteArray out;
    AppendLe32(out, 0xA1B2C3D4u); // microsecond resolution
    AppendLe16(out, 2);
    AppendLe16(out, 4);
    AppendLe32(out, 0); // times are UTC
    AppendLe32(out, 0);
    AppendLe32(out, 65535); // snapshot length
    AppendLe32(out, PcapLinkTypeSocketCan);
    return out;
}

void AppendPcapRecord(QByteArray &out, const TFrameRow &row)
{
    const TDecodedLine &d = row.decoded;
    if (!IsCanFrame(d.kind) || d.checksum == TChecksum::Wrong)
        return;
    // The record's time is unsigned seconds: a clock before 1970 is written as 1970.
    const int64_t timeUs = row.timeUs < 0 ? 0 : row.timeUs;
    AppendLe32(out, uint32_t(timeUs / 1000000));
    AppendLe32(out, uint32_t(timeUs % 1000000));
    AppendLe32(out, frameBytes);
    AppendLe32(out, frameBytes);
    AppendSocketCanFrame(out, d);
}

void AppendSocketCanFrame(QByteArray &out, const TDecodedLine &d)
{
    uint32_t id = d.id;
    if (IsExtended(d.kind))
        id |= SocketCanExtendedFlag;
    if (IsRemote(d.kind))
        id |= SocketCanRemoteFlag;
    char frame[frameBytes] = {char(id >> 24), char(id >> 16), char(id >> 8), char(id), char(d.dlc)};
    if (!IsRemote(d.kind))
        for (int i = 0; i < d.dlc && i < 8; ++i)
            frame[8 + i] = char(d.data[i]);
    out.append(frame, frameBytes);
}
