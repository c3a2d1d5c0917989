#include "monitor/LogWriters.h"

#include "common/EscapeBytes.h"

#include <QIODevice>


namespace {

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

bool LogFormatForFileName(const QString &fileName, TLogFormat &format)
{
    for (TLogFormat f : {TLogFormat::Candump, TLogFormat::Csv, TLogFormat::Raw}) {
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
    case TLogFormat::Raw: break;
    }
    return "raw";
}

QByteArray LogHeader(TLogFormat format)
{
    return format == TLogFormat::Csv ? QByteArray("time,kind,id,dlc,data,checksum,raw\r\n") : QByteArray();
}

QByteArray LogRecord(TLogFormat format, const TFrameRow &row, QByteArrayView interfaceName)
{
    switch (format) {
    case TLogFormat::Candump: return CandumpRecord(row, interfaceName);
    case TLogFormat::Csv: return CsvRecord(row);
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
    out += '(';
    AppendEpochSeconds(out, row.timeUs);
    out += ") ";
    out.append(interfaceName.data(), interfaceName.size());
    out += ' ';
    AppendIdText(out, d);
    out += '#';
    if (IsRemote(d.kind)) {
        out += 'R';
        if (d.dlc > 0) // the requested length, which the CAN tools read after the R
            out += char('0' + d.dlc);
    } else {
        AppendDataText(out, d, 0);
    }
    out += '\n';
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
    appendCsvField(out, ChecksumText(d));
    out += ',';
    appendCsvField(out, EscapeBytes(row.text.data(), row.text.size()));
    out += "\r\n";
    return out;
}

TLogWriter::TLogWriter(QIODevice *device, TLogFormat format, QByteArray interfaceName)
    : m_device(device), m_format(format), m_interface(std::move(interfaceName))
{
}

bool TLogWriter::Begin()
{
    const QByteArray header = LogHeader(m_format);
    return header.isEmpty() || m_device->write(header) == header.size();
}

bool TLogWriter::Write(const TFrameRow &row)
{
    if (m_format == TLogFormat::Candump && IsBadFrame(row.decoded))
        ++m_leftOut;
    const QByteArray record = LogRecord(m_format, row, m_interface);
    return record.isEmpty() || m_device->write(record) == record.size();
}
