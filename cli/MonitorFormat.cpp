#include "cli/MonitorFormat.h"

#include "common/EscapeBytes.h"

#include <QDateTime>

TLogFormat LogFormatOf(TMonitorFormat format)
{
    switch (format) {
    case TMonitorFormat::Csv: return TLogFormat::Csv;
    case TMonitorFormat::Pcap: return TLogFormat::Pcap;
    case TMonitorFormat::Asc: return TLogFormat::Asc;
    case TMonitorFormat::Trc: return TLogFormat::Trc;
    case TMonitorFormat::Lines:
    case TMonitorFormat::Candump: break;
    }
    return TLogFormat::Candump;
}

TMonitorPrinter::TMonitorPrinter(TMonitorFormat format, int64_t startUs)
    : m_format(format), m_encoder(LogFormatOf(format), startUs)
{
}

QByteArray TMonitorPrinter::Header() const
{
    return m_format == TMonitorFormat::Lines ? QByteArray() : m_encoder.Header();
}

QByteArray TMonitorPrinter::Record(QByteArrayView text, int64_t timeUs)
{
    if (m_format == TMonitorFormat::Lines) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(timeUs / 1000);
        return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + ' '
               + EscapeBytes(text.data(), text.size()) + '\n';
    }
    TFrameRow row;
    row.timeUs = timeUs;
    row.text = text;
    row.decoded = DecodeLine(text.data(), text.size());
    return m_encoder.Record(row);
}

QByteArray TMonitorPrinter::Footer() const
{
    return m_format == TMonitorFormat::Lines ? QByteArray() : m_encoder.Footer();
}
