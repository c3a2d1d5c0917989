#include "monitor/LogWriters.h"

#include "common/EscapeBytes.h"
#include "monitor/AscWriter.h"
#include "monitor/PcapWriter.h"
#include "monitor/TrcWriter.h"

#include <QIODevice>

#include <cstdio>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

void appendHex(QByteArray &out, uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hexDigits[(value >> shift) & 0xF];
}

void appendData(QByteArray &out, const TDecodedLine &d)
{
    for (int i = 0; i < d.dlc; ++i)
        appendHex(out, d.data[i], 2);
}

// Seconds and microseconds of a time that may lie before the epoch.
void splitTime(int64_t timeUs, int64_t &seconds, int64_t &micros)
{
    seconds = timeUs / 1000000;
    micros = timeUs % 1000000;
    if (micros < 0) {
        micros += 1000000;
        --seconds;
    }
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
}

void appendCsvField(QByteArray &out, const QByteArray &field)
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

} // namespace

constexpr TLogFormat allFormats[] = {TLogFormat::Candump, TLogFormat::Csv, TLogFormat::Raw,
                                     TLogFormat::Pcap,    TLogFormat::Asc, TLogFormat::Trc};

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
    case TLogFormat::Asc:
    case TLogFormat::Trc: return TLogEncoder(format, 0, interfaceName.toByteArray()).Record(row);
    case TLogFormat::Raw: break;
    }
    QByteArray out(row.text.data(), row.text.size());
    if (row.terminated)
        out += '\r';
    return out;
}

void AppendCandumpRecord(QByteArray &out, const TFrameRow &row, QByteArrayView interfaceName)
{
    const TDecodedLine &d = row.decoded;
    if (!IsCanFrame(d.kind))
        return;
    int64_t seconds = 0;
    int64_t micros = 0;
    splitTime(row.timeUs, seconds, micros);
    // Written by hand: an export of a million frames spends its time here.
    char stamp[40];
    char *p = stamp + sizeof stamp;
    *--p = ' ';
    *--p = ')';
    for (int i = 0; i < 6; ++i, micros /= 10)
        *--p = char('0' + micros % 10);
    *--p = '.';
    const bool negative = seconds < 0;
    uint64_t whole = negative ? uint64_t(-seconds) : uint64_t(seconds);
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (negative)
        *--p = '-';
    *--p = '(';
    out.append(p, stamp + sizeof stamp - p);
    out.append(interfaceName.data(), interfaceName.size());
    out += ' ';
    appendHex(out, d.id, IsExtended(d.kind) ? 8 : 3);
    out += '#';
    if (IsRemote(d.kind)) {
        out += 'R';
        if (d.dlc > 0) // the requested length, which the CAN tools read after the R
            out += char('0' + d.dlc);
    } else {
        appendData(out, d);
    }
    out += '\n';
}

QByteArray CandumpRecord(const TFrameRow &row, QByteArrayView interfaceName)
{
    QByteArray out;
    AppendCandumpRecord(out, row, interfaceName);
    return out;
}

QByteArray IsoUtcTime(int64_t timeUs)
{
    int64_t seconds = 0;
    int64_t micros = 0;
    splitTime(timeUs, seconds, micros);
    int64_t days = seconds / 86400;
    int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    civilFromDays(days, y, m, d);
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%06lldZ", (long long)y, m, d,
                                (long long)(secondOfDay / 3600), (long long)(secondOfDay / 60 % 60),
                                (long long)(secondOfDay % 60), (long long)micros);
    return QByteArray(text, n);
}

QByteArray ChecksumText(const TDecodedLine &line)
{
    QByteArray out;
    if (line.checksum == TChecksum::None)
        return out;
    appendHex(out, line.received, 2);
    if (line.checksum == TChecksum::Right) {
        out += " ok";
    } else {
        out += " wrong (";
        appendHex(out, line.expected, 2);
        out += ')';
    }
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
        appendHex(out, d.id, IsExtended(d.kind) ? 8 : 3);
        out += ',';
        out += char('0' + d.dlc);
        out += ',';
        if (!IsRemote(d.kind)) // a remote frame asks for data and carries none
            appendData(out, d);
    } else {
        out += ",,";
    }
    out += ',';
    appendCsvField(out, ChecksumText(d));
    out += ',';
    appendCsvField(out, EscapeBytes(row.text.data(), row.text.size()));
    out += "\r\n";
    return out;
}

TLogEncoder::TLogEncoder(TLogFormat format, int64_t startUs, QByteArray interfaceName)
    : m_format(format), m_startUs(startUs), m_interface(std::move(interfaceName))
{
}

QByteArray TLogEncoder::Header() const
{
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
    case TLogFormat::Csv:
    case TLogFormat::Raw: out += LogRecord(m_format, row, m_interface); break;
    }
    if (out.size() > before && IsCanFrame(row.decoded.kind))
        ++m_frames;
}

QByteArray TLogEncoder::Record(const TFrameRow &row)
{
    QByteArray out;
    Append(out, row);
    return out;
}

QByteArray TLogEncoder::Footer() const
{
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
