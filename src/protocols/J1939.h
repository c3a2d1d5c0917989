#pragma once
// SAE J1939 on 29-bit identifiers: priority, PGN, source and destination addresses, names of
// common parameter groups, the transport protocol (TP.CM BAM, RTS/CTS, EndOfMsgAck, Abort and
// TP.DT) reassembled, and DM1's active DTCs.

#include "protocols/ProtocolFrame.h"

#include <QHash>

struct TJ1939Id {
    int Priority = 0;
    int Pgn = 0;
    int Source = 0;
    int Destination = 255; // 255: global (PDU2, or PDU1 sent to all)
};

TJ1939Id J1939Split(uint32_t id);
QString J1939PgnName(int pgn); // "EEC1"; empty when not among the common ones
// DM1/DM2 data: lamps, then SPN/FMI/occurrence per DTC.
QString J1939DiagnosticText(const QByteArray &data);

class TJ1939Decoder : public TProtocolDecoder {
public:
    QString Feed(const TBusFrame &frame, QList<TTransfer> &done) override;
    void Flush(int64_t nowUs, QList<TTransfer> &done) override;

    static constexpr int64_t TimeoutUs = 1250000; // T1/T2/T3 of the transport protocol
    static constexpr int MaxLength = 1785;

private:
    struct TSession {
        bool Broadcast = false;
        int Pgn = 0;
        int Size = 0;
        int Packets = 0;
        int NextPacket = 1;
        QByteArray Data;
        int64_t StartUs = 0;
        int64_t LastUs = 0;
    };
    // Sessions by source address and destination (255 for BAM).
    static uint32_t SessionKey(int source, int destination) { return uint32_t(source) << 8 | uint32_t(destination); }
    QString ConnectionManagement(const TBusFrame &frame, const TJ1939Id &id, QList<TTransfer> &done);
    QString DataTransfer(const TBusFrame &frame, const TJ1939Id &id, QList<TTransfer> &done);
    void End(uint32_t key, int64_t endUs, const QString &fault, QList<TTransfer> &done);

    QHash<uint32_t, TSession> m_sessions;
};
