#pragma once
// `monitor --protocol` and `decode --protocol`: frames in, JSON Lines out, one object per
// reassembled message (a transfer) or per frame that means something by itself.

#include "monitor/FrameDecoder.h"
#include "protocols/ProtocolFrame.h"

#include <QByteArray>
#include <QHash>

class TDbcDatabase;
struct TDbcMessage;

#include <memory>

class TProtocolPrinter {
public:
    // With a database, J1939 parameter groups it describes (its extended messages, by PGN) get
    // their signals, from the reassembled bytes of a transport session too.
    TProtocolPrinter(TProtocol protocol, const TProtocolOptions &options = {}, const TDbcDatabase *database = nullptr);
    // The JSON lines this frame completes (none for most frames of a transfer).
    QByteArray Frame(const TBusFrame &frame);
    // What was still open, ended as the input ends.
    QByteArray Finish();

private:
    QByteArray Transfers();
    // Frames that only carry a transfer's pieces are told through the transfer.
    bool PartOfTransfer(const TBusFrame &frame) const;
    const TDbcMessage *J1939Message(int pgn, uint32_t id) const;

    TProtocol m_protocol;
    std::unique_ptr<TProtocolDecoder> m_decoder;
    QList<TTransfer> m_done;
    const TDbcDatabase *m_database;
    QHash<int, const TDbcMessage *> m_byPgn;
};
