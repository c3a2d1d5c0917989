#include "protocols/ProtocolFrame.h"

#include "protocols/CanOpen.h"
#include "protocols/IsoTp.h"
#include "protocols/J1939.h"

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

QString HexBytes(const QByteArray &bytes, int from)
{
    if (from >= bytes.size())
        return QString();
    return QString::fromLatin1(bytes.mid(from).toHex(' ').toUpper());
}
