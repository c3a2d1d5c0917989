#include "monitor/AscWriter.h"

#include <QDateTime>

#include <cstdio>
#include <cstring>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// Seconds since the start, six decimals; a row older than the start counts as the start, since
// the readers take no negative time.
// Written by hand: an export of a million frames spends its time here.
char *putOffset(char *p, int64_t timeUs, int64_t startUs)
{
    const int64_t offset = timeUs > startUs ? timeUs - startUs : 0;
    char digits[24];
    int n = 0;
    for (int64_t whole = offset / 1000000; whole > 0 || n == 0; whole /= 10)
        digits[n++] = char('0' + whole % 10);
    for (int pad = n; pad < 4; ++pad)
        *p++ = ' ';
    while (n > 0)
        *p++ = digits[--n];
    *p++ = '.';
    int64_t micros = offset % 1000000;
    for (int i = 5; i >= 0; --i, micros /= 10)
        p[i] = char('0' + micros % 10);
    return p + 6;
}

void appendOffset(QByteArray &out, int64_t timeUs, int64_t startUs)
{
    char text[32];
    out.append(text, putOffset(text, timeUs, startUs) - text);
}

} // namespace

QByteArray AscDate(int64_t timeUs)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int64_t ms = timeUs / 1000;
    if (timeUs % 1000 < 0)
        --ms;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    const QDate date = local.date();
    const QTime time = local.time();
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d.%03d %s %d", days[date.dayOfWeek() - 1],
                                months[date.month() - 1], date.day(), hour12, time.minute(), time.second(),
                                time.msec(), time.hour() < 12 ? "am" : "pm", date.year());
    return QByteArray(text, n);
}

QByteArray AscHeader(int64_t startUs)
{
    const QByteArray date = AscDate(startUs);
    QByteArray out = "date " + date + "\nbase hex  timestamps absolute\nno internal events logged\n";
    out += "Begin Triggerblock " + date + '\n';
    appendOffset(out, startUs, startUs);
    out += " Start of measurement\n";
    return out;
}

void AppendAscRecord(QByteArray &out, const TFrameRow &row, int64_t startUs)
{
    const TDecodedLine &d = row.decoded;
    if (!IsCanFrame(d.kind) || d.checksum == TChecksum::Wrong)
        return;
    char text[96];
    char *p = putOffset(text, row.timeUs, startUs);
    std::memcpy(p, " 1  ", 4);
    p += 4;
    // The identifier without leading zeros, "x" after an extended one, in a column of 15.
    char *const id = p;
    bool digits = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const uint32_t nibble = (d.id >> shift) & 0xF;
        if (nibble || digits || shift == 0) {
            *p++ = hexDigits[nibble];
            digits = true;
        }
    }
    if (IsExtended(d.kind))
        *p++ = 'x';
    while (p - id < 16)
        *p++ = ' ';
    std::memcpy(p, "Rx   ", 5);
    p += 5;
    *p++ = IsRemote(d.kind) ? 'r' : 'd';
    *p++ = ' ';
    *p++ = hexDigits[d.dlc & 0xF];
    if (!IsRemote(d.kind)) {
        for (int i = 0; i < d.dlc && i < 8; ++i) {
            *p++ = ' ';
            *p++ = hexDigits[d.data[i] >> 4];
            *p++ = hexDigits[d.data[i] & 0xF];
        }
    }
    *p++ = '\n';
    out.append(text, p - text);
}

QByteArray AscFooter()
{
    return "End TriggerBlock\n";
}
