#include "monitor/SignalCsv.h"

#include "monitor/LogWriters.h"

#include <QLocale>

namespace {

void appendField(QByteArray &out, const QString &text)
{
    const QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\r') && !field.contains('\n')) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

QByteArray SignalCsvHeader()
{
    return QByteArrayLiteral("time,message,signal,value,unit\r\n");
}

QByteArray SignalValueText(double value)
{
    // QByteArray::number ignores the locale; "shortest" round-trips every double.
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void AppendSignalCsvRecord(QByteArray &out, int64_t timeUs, const QString &message, const QString &signal,
                           double value, const QString &unit)
{
    out += IsoUtcTime(timeUs);
    out += ',';
    appendField(out, message);
    out += ',';
    appendField(out, signal);
    out += ',';
    out += SignalValueText(value);
    out += ',';
    appendField(out, unit);
    out += "\r\n";
}
