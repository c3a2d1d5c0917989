#include "protocols/ProtocolJson.h"

namespace {

QString idText(uint32_t id, bool extended)
{
    return QStringLiteral("%1").arg(id, extended ? 8 : 3, 16, QLatin1Char('0')).toUpper();
}

double seconds(int64_t us)
{
    return double(us) / 1e6;
}

void insertIf(QJsonObject &o, const char *key, int value)
{
    if (value >= 0)
        o.insert(QLatin1String(key), value);
}

} // namespace

QJsonObject TransferJson(const TTransfer &t)
{
    QJsonObject o{{"kind", "transfer"},
                  {"protocol", t.Protocol},
                  {"start", seconds(t.StartUs)},
                  {"end", seconds(t.EndUs)},
                  {"data", QString::fromLatin1(t.Payload.toHex().toUpper())},
                  {"length", int(t.Payload.size())},
                  {"meaning", t.Meaning}};
    if (t.SourceId)
        o.insert(QStringLiteral("id"), idText(t.SourceId, t.SourceId > 0x7FF));
    if (t.TargetId)
        o.insert(QStringLiteral("peer"), idText(t.TargetId, t.TargetId > 0x7FF));
    o.insert(QStringLiteral("fault"), t.Fault.isEmpty() ? QJsonValue() : QJsonValue(t.Fault));
    if (t.AnswerAfterUs >= 0)
        o.insert(QStringLiteral("answer_after"), seconds(t.AnswerAfterUs));
    insertIf(o, "service", t.Service);
    insertIf(o, "nrc", t.Nrc);
    insertIf(o, "pgn", t.Pgn);
    insertIf(o, "source_address", t.SourceAddress);
    insertIf(o, "node", t.Node);
    insertIf(o, "index", t.Index);
    insertIf(o, "subindex", t.SubIndex);
    return o;
}

QJsonObject DecodedFrameJson(const TBusFrame &f, const QString &protocol, const QString &text)
{
    return QJsonObject{{"kind", "frame"},
                       {"protocol", protocol},
                       {"time", seconds(f.TimeUs)},
                       {"id", idText(f.Id, f.Extended)},
                       {"extended", f.Extended},
                       {"data", QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(f.Data), f.Length()).toHex().toUpper())},
                       {"decoded", text}};
}
