#include "monitor/BlfWriter.h"

#include "monitor/LittleEndian.h"
#include "monitor/OrderedWork.h"

#include <QDateTime>

#include <zlib.h>

#include <cstring>
#include <system_error>

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
    else if (m_workers && m_workers->AnyDone())
        Collect(out, false, 0); // a recording writes each container as soon as it is packed
    return true;
}

void TBlfPacker::Finish(QByteArray &out)
{
    while (!m_pending.isEmpty())
        Pack(out, std::min(m_pending.size(), ContainerBytes));
    Collect(out, true, 0);
}

struct TBlfPacker::TContainer {
    QByteArray objects;
    QByteArray packed; // the whole container object, header and padding included
};

namespace {

// One zlib compressor for each thread that packs, reset for every container rather than made
// anew. The fastest level, with the larger hash (about a tenth faster on these objects): a log
// is written as fast as frames come, and its size matters less.
struct TDeflater {
    z_stream z {};
    bool ready = false;
    ~TDeflater()
    {
        if (ready)
            deflateEnd(&z);
    }
    // The packed size, or false when zlib could not do it (no memory).
    bool Pack(const char *in, uLong size, char *out, uLong room, uLong &packed)
    {
        if (!ready) {
            if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
                return false;
            ready = true;
        } else if (deflateReset(&z) != Z_OK) {
            return false;
        }
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in));
        z.avail_in = uInt(size);
        z.next_out = reinterpret_cast<Bytef *>(out);
        z.avail_out = uInt(room);
        if (deflate(&z, Z_FINISH) != Z_STREAM_END)
            return false;
        packed = z.total_out;
        return true;
    }
};

// Packs the objects into one log container object (run on a worker thread).
void PackContainer(TBlfPacker::TContainer &c)
{
    thread_local TDeflater deflater;
    constexpr qsizetype head = 32;
    const uLong bytes = uLong(c.objects.size());
    uLong packedSize = deflateBound(nullptr, bytes);
    c.packed.resize(head + qsizetype(packedSize) + 3);
    char *p = c.packed.data();
    uint16_t method = 2; // zlib
    if (!deflater.Pack(c.objects.constData(), bytes, p + head, packedSize, packedSize)) {
        // Out of memory in zlib: the objects go in as they are, which readers take as well.
        method = 0;
        packedSize = bytes;
        std::memcpy(p + head, c.objects.constData(), size_t(bytes));
    }
    const uint32_t objectSize = uint32_t(head + qsizetype(packedSize));
    const uint8_t h[head] = {'L', 'O', 'B', 'J', 16, 0, 1, 0,
                             uint8_t(objectSize), uint8_t(objectSize >> 8), uint8_t(objectSize >> 16), uint8_t(objectSize >> 24),
                             uint8_t(objLogContainer), 0, 0, 0,
                             uint8_t(method), 0, 0, 0, 0, 0, 0, 0,
                             uint8_t(bytes), uint8_t(bytes >> 8), uint8_t(bytes >> 16), uint8_t(bytes >> 24),
                             0, 0, 0, 0};
    std::memcpy(p, h, head);
    // Padded by the size modulo 4, as python-can pads its containers.
    const qsizetype padding = objectSize % 4;
    std::memset(p + objectSize, 0, size_t(padding));
    c.packed.resize(qsizetype(objectSize) + padding);
}

} // namespace

TBlfPacker::TBlfPacker() = default;

TBlfPacker::~TBlfPacker() = default;
TBlfPacker::TBlfPacker(TBlfPacker &&) noexcept = default;
TBlfPacker &TBlfPacker::operator=(TBlfPacker &&) noexcept = default;

void TBlfPacker::Pack(QByteArray &out, qsizetype bytes)
{
    std::unique_ptr<TContainer> c;
    if (m_spare.empty()) {
        c = std::make_unique<TContainer>();
    } else {
        c = std::move(m_spare.back());
        m_spare.pop_back();
    }
    c->objects.resize(bytes);
    std::memcpy(c->objects.data(), m_pending.constData(), size_t(bytes));
    m_pending.remove(0, bytes);
    // A log that never fills a container (a single record, a short recording) starts no thread.
    const bool last = m_pending.isEmpty() && bytes < ContainerBytes;
    if (m_workerCount < 0 && !last)
        m_workerCount = TOrderedWork<TContainer>::WorkersFor(2);
    if (m_workerCount <= 0 || (!m_workers && last)) {
        PackContainer(*c);
        out += c->packed;
        m_spare.push_back(std::move(c));
        return;
    }
    if (!m_workers) {
        try {
            m_workers = std::make_unique<TOrderedWork<TContainer>>(m_workerCount, PackContainer);
        } catch (const std::system_error &) {
            m_workerCount = 0; // no thread to be had: packed here, as a short log is
            PackContainer(*c);
            out += c->packed;
            m_spare.push_back(std::move(c));
            return;
        }
    }
    m_workers->Submit(std::move(c));
    // Two waiting per worker keep them busy; more would only hold memory.
    Collect(out, true, size_t(2 * m_workerCount));
}

void TBlfPacker::Collect(QByteArray &out, bool wait, size_t keep)
{
    while (m_workers && m_workers->Pending() > 0) {
        if (!m_workers->OldestDone() && !(wait && m_workers->Pending() > keep))
            break;
        std::unique_ptr<TContainer> c = m_workers->Take();
        out += c->packed;
        m_spare.push_back(std::move(c));
    }
}
