#include "cli/ProtocolOutput.h"

#include "dbc/DbcDatabase.h"
#include "protocols/J1939.h"
#include "protocols/ProtocolJson.h"


#include <cstring>

TProtocolPrinter::TProtocolPrinter(TProtocol protocol, const TProtocolOptions &options, const TDbcDatabase *database)
    : m_protocol(protocol), m_decoder(MakeProtocolDecoder(protocol, options)), m_database(database)
{
    if (database && protocol == TProtocol::J1939)
        for (const TDbcMessage *m : database->Messages())
            if (m->Extended)
                m_byPgn.insert(J1939Split(m->Id).Pgn, m); // a later name of the same group wins
}

const TDbcMessage *TProtocolPrinter::J1939Message(int pgn, uint32_t id) const
{
    if (!m_database || m_protocol != TProtocol::J1939)
        return nullptr;
    if (const TDbcMessage *exact = id ? m_database->Find(id, true) : nullptr)
        return exact;
    return m_byPgn.value(pgn);
}

bool TProtocolPrinter::PartOfTransfer(const TBusFrame &frame) const
{
    switch (m_protocol) {
    case TProtocol::IsoTpUds: return true; // every ISO-TP frame belongs to a message
    case TProtocol::J1939: {
        const int pgn = J1939Split(frame.Id).Pgn & 0x3FF00;
        return pgn == 60416 || pgn == 60160; // TP.CM, TP.DT
    }
    case TProtocol::CanOpen: {
        const uint32_t function = frame.Id >> 7;
        return !frame.Extended && (function == 0xB || function == 0xC); // SDO
    }
    case TProtocol::None: break;
    }
    return false;
}

QByteArray TProtocolPrinter::Transfers()
{
    QByteArray out;
    for (const TTransfer &t : m_done)
        AppendTransferJson(out, t, t.Pgn >= 0 ? J1939Message(t.Pgn, 0) : nullptr);
    m_done.clear();
    return out;
}

QByteArray TProtocolPrinter::Frame(const TBusFrame &frame)
{
    if (!m_decoder)
        return {};
    const bool piece = PartOfTransfer(frame);
    m_decoder->SetDescribing(!piece);
    const QString text = m_decoder->Feed(frame, m_done);
    QByteArray out = Transfers();
    if (!text.isEmpty() && !piece)
        AppendDecodedFrameJson(out, frame, ProtocolName(m_protocol), text,
                               frame.Extended ? J1939Message(J1939Split(frame.Id).Pgn, frame.Id) : nullptr);
    return out;
}

QByteArray TProtocolPrinter::Finish()
{
    if (!m_decoder)
        return {};
    m_decoder->Flush(-1, m_done);
    return Transfers();
}
