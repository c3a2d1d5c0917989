#include "protocols/ProtocolFrame.h"

#include "protocols/CanOpen.h"
#include "protocols/IsoTp.h"
#include "protocols/J1939.h"
#include "monitor/FrameDecoder.h"

#include <cstring>

TBusFrame BusFrameOf(const TDecodedLine &line, int64_t timeUs)
{
    TBusFrame f;
    f.TimeUs = timeUs;
    f.Id = line.id;
    f.Extended = IsExtended(line.kind);
    f.Remote = IsRemote(line.kind);
    f.Dlc = line.dlc;
    std::memcpy(f.Data, line.data, sizeof f.Data);
    return f;
}

bool ProtocolFromName(const QString &name, TProtocol &protocol)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("isotp") || n == QLatin1String("uds"))
        protocol = TProtocol::IsoTpUds;
    else if (n == QLatin1String("j1939"))
        protocol = TProtocol::J1939;
    else if (n == QLatin1String("canopen"))
        protocol = TProtocol::CanOpen;
    else if (n == QLatin1String("none"))
        protocol = TProtocol::None;
    else
        return false;
    return true;
}

QString ProtocolName(TProtocol protocol)
{
    switch (protocol) {
    case TProtocol::IsoTpUds: return QStringLiteral("isotp");
    case TProtocol::J1939: return QStringLiteral("j1939");
    case TProtocol::CanOpen: return QStringLiteral("canopen");
    case TProtocol::None: break;
    }
    return QStringLiteral("none");
}

std::unique_ptr<TProtocolDecoder> MakeProtocolDecoder(TProtocol protocol, const TProtocolOptions &options)
{
    switch (protocol) {
    case TProtocol::IsoTpUds: return std::make_unique<TIsoTpDecoder>(options);
    case TProtocol::J1939: return std::make_unique<TJ1939Decoder>();
    case TProtocol::CanOpen: return std::make_unique<TCanOpenDecoder>();
    case TProtocol::None: break;
    }
    return nullptr;
}

QString DescribeProtocolFrame(TProtocol protocol, const TProtocolOptions &options, const TBusFrame &frame)
{
    const auto decoder = MakeProtocolDecoder(protocol, options);
    if (!decoder)
        return QString();
    QList<TTransfer> ignored;
    QString text = decoder->Feed(frame, ignored);
    // A fresh decoder has seen no first frame or session: the frame is not unexpected, just alone.
    for (const QLatin1String alone : {QLatin1String(", unexpected"), QLatin1String(" (unexpected)")})
        if (const qsizetype at = text.indexOf(alone); at >= 0)
            text.remove(at, alone.size());
    return text;
}

bool ParseIsoTpPairs(const QString &text, QList<TIsoTpPair> &pairs, QString &problem)
{
    pairs.clear();
    for (QString item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        item = item.trimmed();
        const QStringList ids = item.split(QLatin1Char(':'));
        bool okRequest = false, okResponse = false;
        TIsoTpPair pair;
        if (ids.size() == 2) {
            pair.Request = ids[0].trimmed().toUInt(&okRequest, 16);
            pair.Response = ids[1].trimmed().toUInt(&okResponse, 16);
            pair.Extended = ids[0].trimmed().size() > 3 || ids[1].trimmed().size() > 3;
        }
        const uint32_t max = pair.Extended ? 0x1FFFFFFFu : 0x7FFu;
        if (!okRequest || !okResponse || pair.Request > max || pair.Response > max || pair.Request == pair.Response) {
            problem = QStringLiteral("\"%1\" is not a pair of identifiers such as 7E0:7E8").arg(item);
            return false;
        }
        pairs << pair;
    }
    return true;
}

QString HexBytes(const QByteArray &bytes, int from)
{
    if (from >= bytes.size())
        return QString();
    return QString::fromLatin1(bytes.mid(from).toHex(' ').toUpper());
}
