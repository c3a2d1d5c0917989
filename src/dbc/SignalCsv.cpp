#include "dbc/SignalCsv.h"

#include "dbc/FrameJson.h"
#include "dbc/SignalCodec.h"
#include "monitor/FrameText.h"

namespace {

void appendField(QByteArray &out, const QByteArray &field)
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

QByteArray SignalCsvHeader()
{
    return QByteArrayLiteral("time,message,signal,value,unit\r\n");
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
    for (const TDecodedSignal &d : DecodeSignals(*message, line.data, std::min<int>(line.dlc, 8))) {
        out += time;
        out += ',';
        appendField(out, name);
        out += ',';
        appendField(out, d.Signal->Name.toUtf8());
        out += ',';
        if (d.Present) {
            QByteArray value;
            AppendJsonNumber(value, d.Value); // the shortest exact form, as in the JSON
            out += value == "null" ? QByteArray() : value;
        }
        out += ',';
        appendField(out, d.Signal->Unit.toUtf8());
        out += "\r\n";
    }
    return out;
}
