#include "monitor/FrameText.h"

#include <QDateTime>

#include <cstdio>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

void appendHex(QByteArray &out, uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hexDigits[(value >> shift) & 0xF];
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

} // namespace

void AppendIdText(QByteArray &out, const TDecodedLine &line)
{
    if (IsCanFrame(line.kind))
        appendHex(out, line.id, IsExtended(line.kind) ? 8 : 3);
}

QByteArray IdText(const TDecodedLine &line)
{
    QByteArray out;
    AppendIdText(out, line);
    return out;
}

void AppendDataText(QByteArray &out, const TDecodedLine &line, char separator)
{
    if (!IsCanFrame(line.kind) || IsRemote(line.kind))
        return;
    for (int i = 0; i < line.dlc; ++i) {
        if (i && separator)
            out += separator;
        appendHex(out, line.data[i], 2);
    }
}

QByteArray DataText(const TDecodedLine &line, char separator)
{
    QByteArray out;
    AppendDataText(out, line, separator);
    return out;
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

QByteArray ClockText(int64_t timeUs)
{
    return QDateTime::fromMSecsSinceEpoch(timeUs / 1000).toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
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

void AppendEpochSeconds(QByteArray &out, int64_t timeUs)
{
    int64_t seconds = 0;
    int64_t micros = 0;
    splitTime(timeUs, seconds, micros);
    // Written by hand: an export of a million frames spends its time here.
    char stamp[32];
    char *p = stamp + sizeof stamp;
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
    out.append(p, stamp + sizeof stamp - p);
}

QByteArray SecondsText(int64_t us)
{
    return QByteArray::number(double(us) / 1e6, 'f', 6);
}
