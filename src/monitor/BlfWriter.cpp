#include "monitor/BlfWriter.h"

#include "monitor/LittleEndian.h"

#include <QDateTime>

#include <zlib.h>

namespace {

constexpr uint32_t headerBytes = 144;
constexpr uint32_t objCanMessage = 1;
constexpr uint32_t objLogContainer = 10;

} // namespace

QByteArray BlfHeader(int64_t startUs)
{
    QByteArray out("LOGG");
    AppendLe32(out, headerBytes);
    // Application and BLF versions as python-can writes them.
    const char versions[8] = {5, 0, 0, 0, 2, 6, 8, 1};
    out.append(versions, 8);
    AppendLe64(out, 0); // file size
    AppendLe64(out, 0); // uncompressed size
    AppendLe32(out, 0); // objects
    AppendLe32(out, 0);
    // SYSTEMTIME of the start, local time: year, month, day of week, day, hour, minute, second, ms.
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(startUs / 1000);
    const QDate d = at.date();
    const QTime t = at.time();
    for (int v : {d.year(), d.month(), d.dayOfWeek() % 7, d.day(), t.hour(), t.minute(), t.second(), t.msec()})
        AppendLe16(out, uint16_t(v));
    out += QByteArray(16, '\0'); // the last object's time: not known while writing
    out += QByteArray(int(headerBytes) - out.size(), '\0');
    return out;
}

bool TBlfPacker::Append(QByteArray &out, const TFrameRow &row, int64_t startUs)
{
    const TDecodedLine &d = row.decoded;
    if (!IsCanFrame(d.kind) || d.checksum == TChecksum::Wrong)
        return false;
    const uint64_t stampNs = row.timeUs > startUs ? uint64_t(row.timeUs - startUs) * 1000 : 0;
    // The 48 bytes of the object at once: a million-frame log spends its time here.
    uint8_t o[48] = {'L', 'O', 'B', 'J', 32, 0, 1, 0, 48, 0, 0, 0, uint8_t(objCanMessage), 0, 0, 0,
                     2 /* nanosecond stamps */};
    for (int i = 0; i < 8; ++i)
        o[24 + i] = uint8_t(stampNs >> (8 * i));
    o[32] = 1; // channel
    o[34] = IsRemote(d.kind) ? 0x80 : 0;
    o[35] = d.dlc;
    const uint32_t id = d.id | (IsExtended(d.kind) ? 0x80000000u : 0);
    for (int i = 0; i < 4; ++i)
        o[36 + i] = uint8_t(id >> (8 * i));
    if (!IsRemote(d.kind))
        for (int i = 0; i < d.dlc && i < 8; ++i)
            o[40 + i] = d.data[i];
    m_pending.append(reinterpret_cast<const char *>(o), sizeof o);
    if (m_pending.size() >= ContainerBytes)
        Pack(out, ContainerBytes);
    return true;
}

void TBlfPacker::Finish(QByteArray &out)
{
    while (!m_pending.isEmpty())
        Pack(out, std::min(m_pending.size(), ContainerBytes));
}

void TBlfPacker::Pack(QByteArray &out, qsizetype bytes)
{
    uLongf packedSize = compressBound(uLong(bytes));
    QByteArray packed(qsizetype(packedSize), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize, reinterpret_cast<const Bytef *>(m_pending.constData()),
              uLong(bytes), Z_BEST_SPEED); // a log is written as fast as frames come; size matters less
    packed.resize(qsizetype(packedSize));
    const uint32_t objectSize = uint32_t(16 + 16 + packed.size());
    out += "LOBJ";
    AppendLe16(out, 16);
    AppendLe16(out, 1);
    AppendLe32(out, objectSize);
    AppendLe32(out, objLogContainer);
    AppendLe16(out, 2); // zlib
    out += QByteArray(6, '\0');
    AppendLe32(out, uint32_t(bytes));
    out += QByteArray(4, '\0');
    out += packed;
    out += QByteArray(objectSize % 4, '\0');
    m_pending.remove(0, bytes);
}
