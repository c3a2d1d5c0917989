#include "dbc/FrameJson.h"

#include "dbc/SignalCodec.h"
#include "monitor/FrameText.h"

#include <QString>

#include <charconv>
#include <cmath>

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
    const QString decoded = QString::fromUtf8(text);
    const bool utf8 = decoded.toUtf8() == text;
    const QString s = utf8 ? decoded : QString::fromLatin1(text);
    out += '"';
    for (QChar c : s) {
        const char16_t u = c.unicode();
        switch (u) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(u));
                out += escaped;
            } else if (u < 0x80) {
                out += char(u);
            } else {
                out += QString(c).toUtf8();
            }
        }
    }
    out += '"';
}

namespace {

void AppendSignals(QByteArray &out, const TDbcMessage &message, const TDecodedLine &line)
{
    const int size = IsRemote(line.kind) ? 0 : line.dlc;
    bool first = true;
    for (const TDecodedSignal &d : DecodeSignals(message, line.data, std::min(size, 8))) {
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
