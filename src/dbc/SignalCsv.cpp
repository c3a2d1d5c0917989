#include "dbc/SignalCsv.h"

#include "dbc/SignalCodec.h"
#include "monitor/FrameText.h"
#include "monitor/LogWriters.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

// `value` null: the signal is not in the frame, its field stays empty.
void appendRow(QByteArray &out, const QByteArray &time, const QByteArray &message, const QString &signal,
               const double *value, const QString &unit)
{
    out += time;
    out += ',';
    AppendCsvField(out, message);
    out += ',';
    AppendCsvField(out, signal.toUtf8());
    out += ',';
    if (value && std::isfinite(*value))
        out += SignalValueText(*value);
    out += ',';
    AppendCsvField(out, unit.toUtf8());
    out += "\r\n";
}

} // namespace

QByteArray SignalCsvHeader()
{
    return QByteArrayLiteral("time,message,signal,value,unit\r\n");
}

QByteArray SignalValueText(double value)
{
    // QByteArray::number ignores the locale; "shortest" reads back to the same double.
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void AppendSignalCsvRecord(QByteArray &out, int64_t timeUs, const QString &message, const QString &signal,
                           double value, const QString &unit)
{
    appendRow(out, IsoUtcTime(timeUs), message.toUtf8(), signal, &value, unit);
}

QByteArray SignalCsvRecords(int64_t timeUs, const TDecodedLine &line, const TDbcDatabase &database)
{
    if (!IsCanFrame(line.kind) || IsRemote(line.kind))
        return {};
    const TDbcMessage *message = database.Find(line.id, IsExtended(line.kind));
    if (!message)
        return {};
    const QByteArray time = IsoUtcTime(timeUs);
    const QByteArray name = message->Name.toUtf8();
    QByteArray out;
    for (const TDecodedSignal &d : DecodeSignals(*message, line.data, std::min<int>(line.dlc, 8)))
        appendRow(out, time, name, d.Signal->Name, d.Present ? &d.Value : nullptr, d.Signal->Unit);
    return out;
}
