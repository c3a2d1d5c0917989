#include "monitor/LogWriters.h"

#include "common/EscapeBytes.h"
#include "monitor/AscWriter.h"
#include "monitor/PcapWriter.h"
#include "monitor/PcapngWriter.h"
#include "monitor/TrcWriter.h"

#include <QIODevice>

#include <array>
#include <bit>
#include <cstring>


namespace {

// "00" to "99": decimal numbers written two digits at a time.
constexpr std::array<char, 200> decimalPairs = [] {
    std::array<char, 200> t {};
    for (int i = 0; i < 100; ++i) {
        t[size_t(2 * i)] = char('0' + i / 10);
        t[size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return t;
}();

// `v` in decimal with at least `width` digits (zeros before); the end of what was written.
// Written in place, from its last digit back: a million-frame export spends its time here.
char *PutDecimal(char *p, uint64_t v, int width)
{
    // The number of digits from the number of bits (1233 / 4096 ~ log10 2), put right by one
    // comparison.
    static constexpr std::array<uint64_t, 20> powers = [] {
        std::array<uint64_t, 20> t {};
        uint64_t x = 1;
        for (uint64_t &e : t) {
            e = x;
            x *= 10;
        }
        return t;
    }();
    const int guess = (std::bit_width(v) * 1233) >> 12;
    const int digits = std::max(1, guess + 1 - (v < powers[size_t(guess)] ? 1 : 0)); // 0 has one
    if (digits < width) {
        std::memset(p, '0', size_t(width - digits));
        p += width - digits;
    }
    char *const end = p + digits;
    char *q = end;
    while (v >= 100) {
        q -= 2;
        q[0] = decimalPairs[size_t(2 * (v % 100))];
        q[1] = decimalPairs[size_t(2 * (v % 100) + 1)];
        v /= 100;
    }
    if (v >= 10) {
        q[-2] = decimalPairs[size_t(2 * v)];
        q[-1] = decimalPairs[size_t(2 * v + 1)];
    } else {
        q[-1] = char('0' + v);
    }
    return end;
}

} // namespace

constexpr TLogFormat allFormats[] = {TLogFormat::Candump, TLogFormat::Csv, TLogFormat::Raw,    TLogFormat::Pcap,
                                     TLogFormat::Asc,     TLogFormat::Trc, TLogFormat::Pcapng, TLogFormat::Blf};

bool LogFormatForFileName(const QString &fileName, TLogFormat &format)
{
    for (TLogFormat f : allFormats) {
        if (fileName.endsWith(QLatin1Char('.') + QLatin1String(LogFormatSuffix(f)), Qt::CaseInsensitive)) {
            format = f;
            return true;
        }
    }
    return false;
}

const char *LogFormatSuffix(TLogFormat format)
{
    switch (format) {
    case TLogFormat::Candump: return "log";
    case TLogFormat::Csv: return "csv";
    case TLogFormat::Pcap: return "pcap";
    case TLogFormat::Asc: return "asc";
    case TLogFormat::Trc: return "trc";
    case TLogFormat::Pcapng: return "pcapng";
    case TLogFormat::Blf: return "blf";
    case TLogFormat::Raw: break;
    }
    return "raw";
}

bool LogFormatForName(QStringView name, TLogFormat &format)
{
    if (name == QLatin1String("candump")) {
        format = TLogFormat::Candump;
        return true;
    }
    for (TLogFormat f : allFormats) {
        if (f != TLogFormat::Candump && name == QLatin1String(LogFormatSuffix(f))) {
            format = f;
            return true;
        }
    }
    return false;
}

QByteArray LogHeader(TLogFormat format, int64_t startUs)
{
    switch (format) {
    case TLogFormat::Csv: return QByteArray("time,kind,id,dlc,data,checksum,raw\r\n");
    case TLogFormat::Pcap: return PcapHeader();
    case TLogFormat::Asc: return AscHeader(startUs);
    case TLogFormat::Trc: return TrcHeader(startUs);
    case TLogFormat::Pcapng: return PcapngHeader("k3316");
    case TLogFormat::Blf: return BlfHeader(startUs);
    case TLogFormat::Candump:
    case TLogFormat::Raw: break;
    }
    return QByteArray();
}

QByteArray LogRecord(TLogFormat format, const TFrameRow &row, QByteArrayView interfaceName)
{
    switch (format) {
    case TLogFormat::Candump: return CandumpRecord(row, interfaceName);
    case TLogFormat::Csv: return CsvRecord(row);
    case TLogFormat::Pcap:
    case TLogFormat::Pcapng:
    case TLogFormat::Asc:
    case TLogFormat::Trc: return TLogEncoder(format, 0, interfaceName.toByteArray()).Record(row);
    case TLogFormat::Blf: {
        TLogEncoder encoder(format, 0, interfaceName.toByteArray());
        QByteArray out = encoder.Record(row);
        return out + encoder.Footer();
    }
    case TLogFormat::Raw: break;
    }
    return RawRecord(row);
}

QByteArray RawRecord(const TFrameRow &row)
{
    if (!row.raw.isNull())
        return row.raw.toByteArray();
    QByteArray out(row.text.data(), row.text.size());
    if (row.terminated)
        out += '\r';
    return out;
}

void AppendCandumpRecord(QByteArray &out, const TFrameRow &row, QByteArrayView interfaceName)
{
    const TDecodedLine &d = row.decoded;
    if (!IsCanFrame(d.kind) || IsBadFrame(d))
        return;
    // The record written straight into the output's spare room: a million-frame export spends
    // its time here.
    static const char hexDigits[] = "0123456789ABCDEF";
    const qsizetype start = out.size();
    out.resize(start + 72 + interfaceName.size());
    char *const frame = out.data() + start;
    char *p = frame;
    *p++ = '(';
    QByteArray stamp; // only for times before the epoch, which the fast path does not write
    if (row.timeUs >= 0) {
        p = PutDecimal(p, uint64_t(row.timeUs / 1000000), 1);
        *p++ = '.';
        p = PutDecimal(p, uint64_t(row.timeUs % 1000000), 6);
    } else {
        AppendEpochSeconds(stamp, row.timeUs);
        std::memcpy(p, stamp.constData(), size_t(stamp.size()));
        p += stamp.size();
    }
    *p++ = ')';
    *p++ = ' ';
    std::memcpy(p, interfaceName.data(), size_t(interfaceName.size()));
    p += interfaceName.size();
    *p++ = ' ';
    for (int shift = IsExtended(d.kind) ? 28 : 8; shift >= 0; shift -= 4)
        *p++ = hexDigits[(d.id >> shift) & 0xF];
    *p++ = '#';
    if (IsRemote(d.kind)) {
        *p++ = 'R';
        if (d.dlc > 0) // the requested length, which the CAN tools read after the R
            *p++ = char('0' + d.dlc);
    } else {
        for (int i = 0; i < d.dlc && i < 8; ++i) {
            *p++ = hexDigits[d.data[i] >> 4];
            *p++ = hexDigits[d.data[i] & 0xF];
        }
    }
    *p++ = '\n';
    out.resize(p - out.constData());
}

QByteArray CandumpRecord(const TFrameRow &row, QByteArrayView interfaceName)
{
    QByteArray out;
    AppendCandumpRecord(out, row, interfaceName);
    return out;
}

QByteArray CsvRecord(const TFrameRow &row)
{
    const TDecodedLine &d = row.decoded;
    QByteArray out = IsoUtcTime(row.timeUs);
    out += ',';
    out += FrameKindName(d.kind);
    out += ',';
    if (IsCanFrame(d.kind)) {
        AppendIdText(out, d);
        out += ',';
        out += char('0' + d.dlc);
        out += ',';
        AppendDataText(out, d, 0); // a remote frame asks for data and carries none
    } else {
        out += ",,";
    }
    out += ',';
    AppendCsvField(out, ChecksumText(d));
    out += ',';
    AppendCsvField(out, EscapeBytes(row.text.data(), row.text.size()));
    out += "\r\n";
    return out;
}

TLogEncoder::TLogEncoder(TLogFormat format, int64_t startUs, QByteArray interfaceName)
    : m_format(format), m_startUs(startUs), m_interface(std::move(interfaceName))
{
}

QByteArray TLogEncoder::Header() const
{
    if (m_format == TLogFormat::Pcapng)
        return PcapngHeader(m_interface);
    return LogHeader(m_format, m_startUs);
}

void TLogEncoder::Append(QByteArray &out, const TFrameRow &row)
{
    const qsizetype before = out.size();
    switch (m_format) {
    case TLogFormat::Candump: AppendCandumpRecord(out, row, m_interface); break;
    case TLogFormat::Pcap: AppendPcapRecord(out, row); break;
    case TLogFormat::Asc: AppendAscRecord(out, row, m_startUs); break;
    case TLogFormat::Trc: AppendTrcRecord(out, row, m_startUs, m_frames + 1); break;
    case TLogFormat::Pcapng: AppendPcapngRecord(out, row); break;
    case TLogFormat::Blf:
        // Packed by the container: what goes out now is not this row's.
        if (m_blf.Append(out, row, m_startUs)) {
            ++m_frames;
            return;
        }
        break;
    case TLogFormat::Csv:
    case TLogFormat::Raw: out += LogRecord(m_format, row, m_interface); break;
    }
    if (out.size() > before && IsCanFrame(row.decoded.kind))
        ++m_frames;
    else if (IsBadFrame(row.decoded) && m_format != TLogFormat::Csv && m_format != TLogFormat::Raw)
        ++m_leftOut;
}

QByteArray TLogEncoder::Record(const TFrameRow &row)
{
    QByteArray out;
    Append(out, row);
    return out;
}

QByteArray TLogEncoder::Footer()
{
    if (m_format == TLogFormat::Blf) {
        QByteArray out;
        m_blf.Finish(out);
        return out;
    }
    return m_format == TLogFormat::Asc ? AscFooter() : QByteArray();
}

TLogWriter::TLogWriter(QIODevice *device, TLogFormat format, QByteArray interfaceName, int64_t startUs)
    : m_device(device), m_encoder(format, startUs, std::move(interfaceName))
{
}

bool TLogWriter::Put(const QByteArray &bytes)
{
    return bytes.isEmpty() || m_device->write(bytes) == bytes.size();
}

bool TLogWriter::Begin()
{
    return Put(m_encoder.Header());
}

bool TLogWriter::Write(const TFrameRow &row)
{
    return Put(m_encoder.Record(row));
}

bool TLogWriter::End()
{
    return Put(m_encoder.Footer());
}

void AppendCsvField(QByteArray &out, const QByteArray &field)
{
    if (field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n')) {
        out += '"';
        for (char c : field) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    } else {
        out += field;
    }
}
