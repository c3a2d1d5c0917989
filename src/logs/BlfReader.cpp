// Vector BLF: a file header with the measurement's start, then objects ("LOBJ"), most of them
// inside zlib-compressed log containers; an object may continue in the next container.

#include "logs/ByteSource.h"
#include "logs/LogFormats.h"
#include "monitor/OrderedWork.h"

#include <QDateTime>
#include <QtEndian>

#include <zlib.h>

#include <cstring>
#include <limits>
#include <system_error>

namespace {

constexpr uint32_t ObjCanMessage = 1;
constexpr uint32_t ObjCanError = 2;
constexpr uint32_t ObjLogContainer = 10;
constexpr uint32_t ObjCanErrorExt = 73;
constexpr uint32_t ObjCanMessage2 = 86;
constexpr uint32_t ObjCanFdMessage = 100;
constexpr uint32_t ObjCanFdMessage64 = 101;
// Containers hold 128 KiB as python-can and Vector write them; anything far beyond is refused.
constexpr uint32_t ObjectLimit = 16u * 1024 * 1024;

uint32_t Le32(const char *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return qFromLittleEndian(v);
}
uint16_t Le16(const char *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return qFromLittleEndian(v);
}
uint64_t Le64(const char *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return qFromLittleEndian(v);
}

// Unpacked objects are put this far into their buffer, so that the few bytes of an object
// begun in the container before can be put in front of them instead of moving them all.
constexpr qsizetype Headroom = 256;
// At most this many bytes (packed and unpacked) are read ahead of the frame being parsed.
constexpr qint64 AheadLimit = 4 * 1024 * 1024;

// One object of the file's top level, read ahead: a container to unpack, objects to take as
// they are, or the problem that ends the reading there.
struct TChunk {
    qint64 at = 0;
    bool inflate = false;
    uint32_t declared = 0;
    QByteArray packed; // the compressed bytes, when inflate
    QByteArray data;   // the objects to parse, from `start`
    qsizetype start = 0;
    QString problem;
    qint64 problemAt = 0;
    qint64 AheadBytes() const { return (inflate ? packed.size() : 0) + qint64(inflate ? declared : data.size()); }
};

class TBlfReader : public TLogReader {
public:
    TBlfReader(TByteSource &in, const QString &name) : TLogReader(TLogKind::Blf, in, name) {}

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        if (!m_started && !Begin())
            return false;
        for (;;) {
            const int got = TakeObject(frame);
            if (got < 0)
                return false;
            if (got > 0)
                return true;
            const int more = ReadTopObject();
            if (more < 0)
                return false;
            if (more == 0) {
                // The end: what is left must be padding, not half an object.
                const QByteArrayView rest = QByteArrayView(m_data).sliced(m_pos);
                if (rest.indexOf("LOBJ") >= 0)
                    return FailAtByte(m_containerAt, QStringLiteral("an object cut short at the end of the file"));
                return false;
            }
        }
    }

private:
    bool Begin()
    {
        m_started = true;
        QByteArrayView h;
        if (!m_in.Read(8, h))
            return FailAtByte(0, QStringLiteral("a BLF header cut short"));
        if (!h.startsWith("LOGG"))
            return FailAtByte(0, QStringLiteral("not a BLF file (no \"LOGG\" at the start)"));
        const uint32_t size = Le32(h.data() + 4);
        if (size < 72 || size > 65536)
            return FailAtByte(4, QStringLiteral("a BLF header length of %1 bytes (72 to 65536)").arg(size));
        QByteArrayView rest;
        if (!m_in.Read(size - 8, rest))
            return FailAtByte(8, QStringLiteral("a BLF header of %1 bytes cut short").arg(size));
        // SYSTEMTIME at 40: year, month, day of week, day, hour, minute, second, millisecond; local time.
        const char *st = rest.data() + 32;
        const QDate date(Le16(st), Le16(st + 2), Le16(st + 6));
        const QTime time(Le16(st + 8), Le16(st + 10), Le16(st + 12), Le16(st + 14));
        if (date.isValid() && time.isValid() && date.year() > 1970) {
            m_startUs = QDateTime(date, time).toMSecsSinceEpoch() * 1000;
            m_absolute = true;
        }
        return true;
    }

    // Takes the next object of the file into the data to parse: a container's content, or a
    // lone object as it stands. 1 when something was added, 0 at the end, -1 after a problem.
    // Once a compressed container is met, the objects after it are read ahead and unpacked on
    // worker threads, a few at a time; they come back here in the file's order.
    int ReadTopObject()
    {
        for (;;) {
            if (m_work && m_work->Pending() > 0) {
                ReadAhead();
                std::unique_ptr<TChunk> c = m_work->Take();
                m_aheadBytes -= c->AheadBytes();
                ReadAhead(); // the workers go on while this one is parsed
                return Use(std::move(c));
            }
            if (m_readEnd)
                return 0;
            std::unique_ptr<TChunk> c = ReadChunk();
            if (!c)
                return 0;
            if (!c->inflate)
                return Use(std::move(c));
            if (!m_work && !m_noWorkers) {
                try {
                    m_work = std::make_unique<TOrderedWork<TChunk>>(TOrderedWork<TChunk>::WorkersFor(2), Inflate);
                } catch (const std::system_error &) {
                    m_noWorkers = true; // no thread to be had: unpacked here
                }
            }
            if (!m_work) {
                Inflate(*c);
                return Use(std::move(c));
            }
            m_aheadBytes += c->AheadBytes();
            m_work->Submit(std::move(c));
        }
    }

    void ReadAhead()
    {
        // Two waiting per worker keep them busy; the bytes bound holds memory flat for any container size.
        while (!m_readEnd && m_work->Pending() < 6 && m_aheadBytes < AheadLimit && MayReadAhead()) {
            std::unique_ptr<TChunk> c = ReadChunk();
            if (!c)
                return;
            m_aheadBytes += c->AheadBytes();
            m_work->Submit(std::move(c));
        }
    }

    // A file is read ahead as far as the bounds allow; a pipe only as far as it has given: the
    // frames already unpacked must not wait for a writer that sends slowly.
    bool MayReadAhead()
    {
        if (TotalBytes() >= 0)
            return true;
        if (m_in.Buffered() < 16)
            return false;
        const QByteArrayView h = m_in.Peek(16);
        const uint32_t size = Le32(h.data() + 8);
        return !h.startsWith("LOBJ") || size > ObjectLimit || m_in.Buffered() >= qsizetype(size + size % 4);
    }

    // One object of the file's top level, read (not yet unpacked); null at the end of the file.
    // A problem comes as a chunk that carries it, in its place in the file, and ends the reading.
    std::unique_ptr<TChunk> ReadChunk()
    {
        const qint64 at = m_in.Offset();
        QByteArrayView h;
        if (!m_in.Read(16, h)) {
            if (!m_in.Error().isEmpty())
                return Problem(at, m_in.Error());
            if (!m_in.Peek(1).isEmpty() && m_in.Peek(16).indexOf("LOBJ") >= 0)
                return Problem(at, QStringLiteral("an object header cut short"));
            m_readEnd = true;
            return nullptr;
        }
        if (!h.startsWith("LOBJ"))
            return Problem(at, QStringLiteral("expected an object (\"LOBJ\")"));
        char header[16];
        std::memcpy(header, h.data(), sizeof header); // the view ends with the next read
        const uint32_t size = Le32(header + 8);
        const uint32_t type = Le32(header + 12);
        if (size < 16 || size > ObjectLimit)
            return Problem(at, QStringLiteral("an object length of %1 bytes (16 to %2)").arg(size).arg(ObjectLimit));
        QByteArrayView body;
        if (!m_in.Read(size - 16, body))
            return Problem(at, QStringLiteral("an object of %1 bytes cut short").arg(size));
        std::unique_ptr<TChunk> c = Spare(at);
        if (type != ObjLogContainer) {
            c->data.append(header, sizeof header);
            c->data += body;
        } else {
            if (body.size() < 16)
                return Problem(at, QStringLiteral("a log container shorter than its header"));
            const uint16_t method = Le16(body.data());
            const uint32_t declared = Le32(body.data() + 8);
            const QByteArrayView packed = body.sliced(16);
            if (method == 0) {
                c->data += packed;
            } else if (method != 2) {
                return Problem(at, QStringLiteral("a log container compressed by method %1 (0 and 2 are read)").arg(method));
            } else if (declared > ObjectLimit) {
                return Problem(at + 24, QStringLiteral("a log container of %1 bytes unpacked, above the limit of %2")
                                            .arg(declared)
                                            .arg(ObjectLimit));
            } else {
                c->inflate = true;
                c->declared = declared;
                c->packed.resize(packed.size());
                std::memcpy(c->packed.data(), packed.data(), size_t(packed.size()));
            }
        }
        m_in.Skip(size % 4); // padding; a file may end without it
        return c;
    }

    std::unique_ptr<TChunk> Spare(qint64 at)
    {
        std::unique_ptr<TChunk> c;
        if (m_spare.empty()) {
            c = std::make_unique<TChunk>();
        } else {
            c = std::move(m_spare.back());
            m_spare.pop_back();
        }
        c->at = at;
        c->inflate = false;
        c->declared = 0;
        c->data.resize(0);
        c->start = 0;
        c->problem.clear();
        return c;
    }

    std::unique_ptr<TChunk> Problem(qint64 at, const QString &what)
    {
        std::unique_ptr<TChunk> c = Spare(at);
        c->problemAt = at;
        c->problem = what;
        m_readEnd = true;
        return c;
    }

    // Adds the chunk's objects to the data to parse, or ends with its problem.
    int Use(std::unique_ptr<TChunk> c)
    {
        if (!c->problem.isEmpty())
            return FailAtByte(c->problemAt, c->problem) ? 1 : -1;
        m_containerAt = c->at;
        const qsizetype left = m_data.size() - m_pos; // the start of an object the container goes on with
        if (left <= c->start) {
            // The unpacked objects stay where they are; the start of the object goes before them.
            std::memcpy(c->data.data() + c->start - left, m_data.constData() + m_pos, size_t(left));
            m_pos = c->start - left;
            m_data.swap(c->data);
        } else {
            // Keep only what is still to parse.
            m_data.remove(0, m_pos);
            m_pos = 0;
            m_data.append(c->data.constData() + c->start, c->data.size() - c->start);
        }
        if (m_spare.size() < 8)
            m_spare.push_back(std::move(c));
        if (m_data.size() > qsizetype(2 * ObjectLimit))
            return FailAtByte(m_containerAt, QStringLiteral("objects that never end inside the containers")) ? 1 : -1;
        return 1;
    }

    // Unpacks a compressed container (on a worker thread): its objects, or the problem.
    static void Inflate(TChunk &c)
    {
        if (!c.inflate)
            return;
        const uint32_t declared = c.declared;
        // Room before the objects for the start of one that an earlier container began.
        c.start = Headroom;
        c.data.resize(Headroom + qsizetype(declared));
        z_stream z {};
        if (inflateInit(&z) != Z_OK) {
            c.data.resize(0);
            c.problemAt = c.at;
            c.problem = QStringLiteral("zlib could not start");
            return;
        }
        z.next_in = reinterpret_cast<Bytef *>(c.packed.data());
        z.avail_in = uInt(c.packed.size());
        z.next_out = reinterpret_cast<Bytef *>(c.data.data() + Headroom);
        z.avail_out = uInt(declared);
        const int result = inflate(&z, Z_FINISH);
        // Full output with input left over: the container inflates past what it declares.
        const bool overflow = result != Z_STREAM_END && z.avail_out == 0;
        const uLong produced = z.total_out;
        const QString why = QString::fromLatin1(z.msg ? z.msg : "cut short");
        inflateEnd(&z);
        if (overflow) {
            c.data.resize(0);
            c.problemAt = c.at;
            c.problem = QStringLiteral("a log container that inflates past its declared %1 bytes").arg(declared);
        } else if (result != Z_STREAM_END) {
            c.data.resize(0);
            c.problemAt = c.at;
            c.problem = QStringLiteral("a log container whose compressed data is broken (%1)").arg(why);
        } else {
            c.data.resize(Headroom + qsizetype(produced));
        }
    }

    // The next frame from the data unpacked so far: 1 with a frame, 0 when more data is needed,
    // -1 after a problem.
    int TakeObject(TLogFrame &frame)
    {
        for (;;) {
            const QByteArrayView rest = QByteArrayView(m_data).sliced(m_pos);
            if (rest.size() < 16)
                return 0;
            // Objects are padded; the next begins within a few bytes.
            const qsizetype sig = rest.first(std::min<qsizetype>(rest.size(), 12)).indexOf("LOBJ");
            if (sig < 0)
                return FailAtByte(m_containerAt, QStringLiteral("expected an object (\"LOBJ\") inside the container")) ? 1 : -1;
            if (rest.size() - sig < 16) {
                m_pos += sig;
                return 0;
            }
            const char *o = rest.data() + sig;
            const uint16_t headerSize = Le16(o + 4);
            const uint32_t size = Le32(o + 8);
            const uint32_t type = Le32(o + 12);
            if (size < 16 || size > ObjectLimit)
                return FailAtByte(m_containerAt, QStringLiteral("an object length of %1 bytes inside the container").arg(size))
                           ? 1
                           : -1;
            if (rest.size() - sig < qsizetype(size)) {
                m_pos += sig; // the rest comes with the next container
                return 0;
            }
            m_pos += sig + size;
            if (type != ObjCanMessage && type != ObjCanMessage2 && type != ObjCanError && type != ObjCanErrorExt
                && type != ObjCanFdMessage && type != ObjCanFdMessage64) {
                ++m_skipped;
                continue;
            }
            if (headerSize < 32 || headerSize > size)
                return FailAtByte(m_containerAt, QStringLiteral("an object header of %1 bytes in an object of %2")
                                                     .arg(headerSize)
                                                     .arg(size))
                           ? 1
                           : -1;
            const uint32_t flags = Le32(o + 16);
            const uint64_t stamp = Le64(o + 24);
            const QByteArrayView body(o + headerSize, size - headerSize);
            // Decoded into the caller's frame: its data buffer is reused from frame to frame.
            frame.Extended = frame.Remote = frame.Fd = frame.Error = false;
            frame.Id = 0;
            frame.Dlc = 0;
            frame.Data.resize(0);
            // Stamps in 10 us units (flag 1) or in ns. One far past any real log saturates: the
            // sum would overflow.
            const uint64_t offset = flags == 1 ? (stamp > UINT64_MAX / 10 ? UINT64_MAX : stamp * 10)
                                               : stamp / 1000 + (stamp % 1000 >= 500 ? 1 : 0);
            int64_t time = 0;
            if (offset > uint64_t(std::numeric_limits<int64_t>::max())
                || __builtin_add_overflow(m_startUs, int64_t(offset), &time))
                time = std::numeric_limits<int64_t>::max();
            frame.TimeUs = time;
            if (!Decode(type, body, frame))
                return -1;
            return 1;
        }
    }

    bool Short(uint32_t type, qsizetype size)
    {
        return FailAtByte(m_containerAt, QStringLiteral("an object of type %1 with a body of only %2 bytes").arg(type).arg(size));
    }

    bool Decode(uint32_t type, QByteArrayView b, TLogFrame &f)
    {
        const char *p = b.data();
        switch (type) {
        case ObjCanMessage:
        case ObjCanMessage2: {
            if (b.size() < 16)
                return Short(type, b.size());
            SetId(f, Le32(p + 4));
            SetChannel(f, Le16(p));
            f.Remote = uint8_t(p[2]) & 0x80;
            f.Dlc = uint8_t(p[3]) & 0x0F;
            if (!f.Remote)
                SetData(f, p + 8, std::min<int>(f.Dlc, 8));
            return true;
        }
        case ObjCanError:
            if (b.size() < 2)
                return Short(type, b.size());
            SetChannel(f, Le16(p));
            f.Error = true;
            return true;
        case ObjCanErrorExt: {
            if (b.size() < 32)
                return Short(type, b.size());
            SetChannel(f, Le16(p));
            f.Error = true;
            SetId(f, Le32(p + 16));
            f.Dlc = uint8_t(p[10]) & 0x0F;
            SetData(f, p + 24, std::min<int>(f.Dlc, 8));
            return true;
        }
        case ObjCanFdMessage: {
            if (b.size() < 84)
                return Short(type, b.size());
            SetChannel(f, Le16(p));
            SetId(f, Le32(p + 4));
            f.Remote = uint8_t(p[2]) & 0x80;
            f.Fd = uint8_t(p[13]) & 0x01;
            const int code = uint8_t(p[3]) & 0x0F;
            const int valid = std::min<int>(uint8_t(p[14]), 64);
            f.Dlc = uint8_t(f.Fd ? FdCodeLength(code) : code);
            if (!f.Remote)
                SetData(f, p + 20, f.Fd ? valid : std::min(valid, 8));
            return true;
        }
        case ObjCanFdMessage64: {
            if (b.size() < 40)
                return Short(type, b.size());
            const int valid = uint8_t(p[2]);
            if (valid > 64 || b.size() < 40 + valid)
                return Short(type, b.size());
            SetChannel(f, uint8_t(p[0]));
            SetId(f, Le32(p + 4));
            const uint32_t fdFlags = Le32(p + 12);
            f.Remote = fdFlags & 0x0010;
            f.Fd = fdFlags & 0x1000;
            const int code = uint8_t(p[1]) & 0x0F;
            f.Dlc = uint8_t(f.Fd ? FdCodeLength(code) : code);
            if (!f.Remote)
                SetData(f, p + 40, f.Fd ? valid : std::min(valid, 8));
            return true;
        }
        }
        return true;
    }

    static void SetData(TLogFrame &f, const char *data, int size)
    {
        f.Data.resize(size);
        std::memcpy(f.Data.data(), data, size_t(size));
    }

    // One copy of the channel's name, shared by its frames.
    const QByteArray &Channel(uint32_t number)
    {
        if (number != m_channel || m_channelName.isEmpty()) {
            m_channel = number;
            m_channelName = QByteArray::number(number);
        }
        return m_channelName;
    }

    // Gives the frame the channel's one copy; no copy at all when it holds it already.
    void SetChannel(TLogFrame &f, uint32_t number)
    {
        const QByteArray &channel = Channel(number);
        if (f.Interface.constData() != channel.constData())
            f.Interface = channel;
    }

    static void SetId(TLogFrame &f, uint32_t raw)
    {
        f.Extended = raw & 0x80000000u;
        f.Id = raw & (f.Extended ? 0x1FFFFFFFu : 0x7FFu);
    }

    bool m_started = false;
    bool m_readEnd = false; // the file's end or a problem was read: nothing more to read ahead
    bool m_noWorkers = false;
    int64_t m_startUs = 0;
    QByteArray m_data; // unpacked objects still to parse, from m_pos
    qsizetype m_pos = 0;
    qint64 m_containerAt = 0;
    uint32_t m_channel = 0;
    QByteArray m_channelName;
    std::vector<std::unique_ptr<TChunk>> m_spare; // reused, so a long log allocates nothing new
    qint64 m_aheadBytes = 0;
    std::unique_ptr<TOrderedWork<TChunk>> m_work; // last: stopped first
};

} // namespace

std::unique_ptr<TLogReader> MakeBlfReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TBlfReader>(in, name);
}
