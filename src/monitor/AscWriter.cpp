#include "monitor/AscWriter.h"

#include <QDateTime>

#include <cstdio>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// Seconds since the start, six decimals; a row older than the start counts as the start, since
// the readers take no negative time.
void appendOffset(QByteArray &out, int64_t timeUs, int64_t startUs)
{
    const int64_t offset = timeUs > startUs ? timeUs - startUs : 0;
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%4lld.%06lld", (long long)(offset / 1000000),
                                (long long)(offset % 1000000));
    out.append(text, n);
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
    appendOffset(out, row.timeUs, startUs);
    out += " 1  ";
    // The identifier without leading zeros, "x" after an extended one, in a column of 15.
    char id[16];
    int n = 0;
    bool digits = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const uint32_t nibble = (d.id >> shift) & 0xF;
        if (nibble || digits || shift == 0) {
            id[n++] = hexDigits[nibble];
            digits = true;
        }
    }
    if (IsExtended(d.kind))
        id[n++] = 'x';
    out.append(id, n);
    out.append(16 - n, ' ');
    out += "Rx   ";
    out += IsRemote(d.kind) ? 'r' : 'd';
    out += ' ';
    out += hexDigits[d.dlc & 0xF];
    if (!IsRemote(d.kind)) {
        for (int i = 0; i < d.dlc && i < 8; ++i) {
            out += ' ';
            out += hexDigits[d.data[i] >> 4];
            out += hexDigits[d.data[i] & 0xF];
        }
    }
    out += '\n';
}

QByteArray AscFooter()
{
    return "End TriggerBlock\n";
}
