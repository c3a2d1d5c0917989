#include "cli/MonitorFormat.h"

#include "common/EscapeBytes.h"
#include "dbc/FrameJson.h"
#include "dbc/SignalCsv.h"

#include <QDateTime>

TLogFormat LogFormatOf(TMonitorFormat format)
{
    switch (format) {
    case TMonitorFormat::Csv: return TLogFormat::Csv;
    case TMonitorFormat::Pcap: return TLogFormat::Pcap;
    case TMonitorFormat::Asc: return TLogFormat::Asc;
    case TMonitorFormat::Trc: return TLogFormat::Trc;
    case TMonitorFormat::Lines:
    case TMonitorFormat::Json:
    case TMonitorFormat::Candump: break;
    }
    return TLogFormat::Candump;
}

TMonitorPrinter::TMonitorPrinter(TMonitorFormat format, int64_t startUs, const TDbcDatabase *database)
    : m_format(format), m_encoder(LogFormatOf(format), startUs), m_database(database)
{
}

QByteArray TMonitorPrinter::Header() const
{
    if (SignalCsv())
        return SignalCsvHeader();
    return m_format == TMonitorFormat::Lines || m_format == TMonitorFormat::Json ? QByteArray() : m_encoder.Header();
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
    if (m_format == TMonitorFormat::Json)
        return FrameJsonRecord(timeUs, text, row.decoded, m_database) + '\n';
    if (SignalCsv())
        return SignalCsvRecords(timeUs, row.decoded, *m_database);
    return m_encoder.Record(row);
}

QByteArray TMonitorPrinter::Footer()
{
    return m_format == TMonitorFormat::Lines || m_format == TMonitorFormat::Json || SignalCsv() ? QByteArray()
                                                                                               : m_encoder.Footer();
}
