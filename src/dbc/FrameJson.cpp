#include "dbc/FrameJson.h"

#include "dbc/SignalCodec.h"
#include "monitor/FrameText.h"

#include <QString>
#include <QStringDecoder>

#include <charconv>
#include <cmath>
#include <cstdio>

void AppendJsonNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    Q_UNUSED(ec);
    const QByteArrayView text(buffer, end - buffer);
    out += text;
    if (!text.contains('.') && !text.contains('e') && !text.contains('n')) // "inf"/"nan" excluded above
        out += ".0";
}

void AppendJsonString(QByteArray &out, QByteArrayView text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(text);
    const QByteArray bytes = utf8.hasError() ? QString::fromLatin1(text).toUtf8() : text.toByteArray();
    out += '"';
    for (char c : bytes) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (uchar(c) < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(uchar(c)));
                out += escaped;
            } else {
                out += c; // UTF-8 as it is
            }
        }
    }
    out += '"';
}

void AppendSignalsJson(QByteArray &out, const TDbcMessage &message, const uint8_t *data, int size)
{
    bool first = true;
    for (const TDecodedSignal &d : DecodeSignals(message, data, size)) {
        out += first ? "" : ", ";
        first = false;
        AppendJsonString(out, d.Signal->Name.toUtf8());
        out += ": {\"raw\": ";
        if (!d.Present)
            out += "null";
        else if (d.Signal->ValueType != TDbcSignal::TValueType::Integer || !d.Signal->Signed)
            out += QByteArray::number(qulonglong(d.RawBits)); // floats: their bits
        else
            out += QByteArray::number(qlonglong(d.Raw));
        out += ", \"value\": ";
        if (d.Present)
            AppendJsonNumber(out, d.Value);
        else
            out += "null";
        out += ", \"unit\": ";
        AppendJsonString(out, d.Signal->Unit.toUtf8());
        out += ", \"text\": ";
        if (d.Text.isEmpty())
            out += "null";
        else
            AppendJsonString(out, d.Text.toUtf8());
        out += '}';
    }
}

namespace {

void AppendSignals(QByteArray &out, const TDbcMessage &message, const TDecodedLine &line)
{
    const int size = IsRemote(line.kind) ? 0 : line.dlc;
    AppendSignalsJson(out, message, line.data, std::min(size, 8));
}

} // namespace

QByteArray FrameJsonRecord(int64_t timeUs, QByteArrayView text, const TDecodedLine &line, const TDbcDatabase *database)
{
    QByteArray out;
    out.reserve(160);
    out += "{\"time\": ";
    AppendEpochSeconds(out, timeUs);
    out += ", \"kind\": \"";
    out += FrameKindName(line.kind);
    out += '"';
    if (!IsCanFrame(line.kind)) {
        out += ", \"raw\": ";
        AppendJsonString(out, text);
        out += '}';
        return out;
    }
    out += ", \"id\": \"";
    AppendIdText(out, line);
    out += "\", \"extended\": ";
    out += IsExtended(line.kind) ? "true" : "false";
    out += ", \"remote\": ";
    out += IsRemote(line.kind) ? "true" : "false";
    out += ", \"dlc\": ";
    out += QByteArray::number(line.dlc);
    out += ", \"data\": \"";
    AppendDataText(out, line, 0);
    out += "\", \"checksum\": ";
    out += line.checksum == TChecksum::Right ? "\"ok\"" : line.checksum == TChecksum::Wrong ? "\"wrong\"" : "null";
    const TDbcMessage *message = database ? database->Find(line.id, IsExtended(line.kind)) : nullptr;
    out += ", \"message\": ";
    if (message)
        AppendJsonString(out, message->Name.toUtf8());
    else
        out += "null";
    out += ", \"signals\": {";
    if (message)
        AppendSignals(out, *message, line);
    out += "}}";
    return out;
}
