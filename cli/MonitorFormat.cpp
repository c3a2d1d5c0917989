#include "cli/MonitorFormat.h"

#include "common/EscapeBytes.h"
#include "monitor/LogWriters.h"

#include <QDateTime>

QByteArray MonitorHeader(TMonitorFormat format)
{
    return format == TMonitorFormat::Csv ? LogHeader(TLogFormat::Csv) : QByteArray();
}

QByteArray MonitorRecord(TMonitorFormat format, QByteArrayView text, int64_t timeUs)
{
    if (format == TMonitorFormat::Lines) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(timeUs / 1000);
        return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + ' '
               + EscapeBytes(text.data(), text.size()) + '\n';
    }
    TFrameRow row;
    row.timeUs = timeUs;
    row.text = text;
    row.decoded = DecodeLine(text.data(), text.size());
    return LogRecord(format == TMonitorFormat::Candump ? TLogFormat::Candump : TLogFormat::Csv, row);
}
