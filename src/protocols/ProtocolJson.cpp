#include "protocols/ProtocolJson.h"

#include "dbc/DbcModel.h"
#include "dbc/FrameJson.h"

namespace {

void appendId(QByteArray &out, uint32_t id, bool extended)
{
    out += '"';
    out += QByteArray::number(id, 16).toUpper().rightJustified(extended ? 8 : 3, '0');
    out += '"';
}

void appendSeconds(QByteArray &out, int64_t us)
{
    // Microseconds exactly, as the other JSON Lines write times.
    if (us < 0) {
        out += '-';
        us = -us;
    }
    out += QByteArray::number(us / 1000000);
    out += '.';
    out += QByteArray::number(us % 1000000).rightJustified(6, '0');
}

void appendMessage(QByteArray &out, const TDbcMessage *message, const QByteArray &data)
{
    if (!message)
        return;
    out += ", \"message\": ";
    AppendJsonString(out, message->Name.toUtf8());
    out += ", \"signals\": {";
    AppendSignalsJson(out, *message, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size()));
    out += '}';
}

void appendField(QByteArray &out, const char *key, int value)
{
    if (value < 0)
        return;
    out += ", \"";
    out += key;
    out += "\": ";
    out += QByteArray::number(value);
}

} // namespace

void AppendTransferJson(QByteArray &out, const TTransfer &t, const TDbcMessage *message)
{
    out += "{\"kind\": \"transfer\", \"protocol\": ";
    AppendJsonString(out, t.Protocol.toUtf8());
    out += ", \"start\": ";
    appendSeconds(out, t.StartUs);
    out += ", \"end\": ";
    appendSeconds(out, t.EndUs);
    if (t.SourceId) {
        out += ", \"id\": ";
        appendId(out, t.SourceId, t.SourceId > 0x7FF);
    }
    if (t.TargetId) {
        out += ", \"peer\": ";
        appendId(out, t.TargetId, t.TargetId > 0x7FF);
    }
    out += ", \"length\": ";
    out += QByteArray::number(t.Payload.size());
    out += ", \"data\": \"";
    out += t.Payload.toHex().toUpper();
    out += "\", \"meaning\": ";
    AppendJsonString(out, t.Meaning.toUtf8());
    out += ", \"fault\": ";
    if (t.Fault.isEmpty())
        out += "null";
    else
        AppendJsonString(out, t.Fault.toUtf8());
    if (t.AnswerAfterUs >= 0) {
        out += ", \"answer_after\": ";
        appendSeconds(out, t.AnswerAfterUs);
    }
    appendField(out, "service", t.Service);
    appendField(out, "nrc", t.Nrc);
    appendField(out, "pgn", t.Pgn);
    appendField(out, "source_address", t.SourceAddress);
    appendField(out, "node", t.Node);
    appendField(out, "index", t.Index);
    appendField(out, "subindex", t.SubIndex);
    if (t.Fault.isEmpty())
        appendMessage(out, message, t.Payload);
    out += "}\n";
}

void AppendDecodedFrameJson(QByteArray &out, const TBusFrame &f, const QString &protocol, const QString &text,
                            const TDbcMessage *message)
{
    out += "{\"kind\": \"frame\", \"protocol\": ";
    AppendJsonString(out, protocol.toUtf8());
    out += ", \"time\": ";
    appendSeconds(out, f.TimeUs);
    out += ", \"id\": ";
    appendId(out, f.Id, f.Extended);
    out += f.Extended ? ", \"extended\": true" : ", \"extended\": false";
    out += ", \"data\": \"";
    out += QByteArray(reinterpret_cast<const char *>(f.Data), f.Length()).toHex().toUpper();
    out += "\", \"decoded\": ";
    AppendJsonString(out, text.toUtf8());
    appendMessage(out, message, QByteArray(reinterpret_cast<const char *>(f.Data), f.Length()));
    out += "}\n";
}
