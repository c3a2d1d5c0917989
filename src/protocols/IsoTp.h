#pragma once
// ISO-TP (ISO 15765-2) reassembly with its messages read as UDS or OBD-II. Addresses: 11-bit
// normal addressing with the pairs given (default 7E0-7E7 <-> 7E8-7EF, 7DF functional), and
// 29-bit normal-fixed addressing 18DA<TA><SA> (18DB<TA><SA> functional), found by itself.

#include "protocols/ProtocolFrame.h"

#include <QHash>

class TIsoTpDecoder : public TProtocolDecoder {
public:
    explicit TIsoTpDecoder(const TProtocolOptions &options);
    QString Feed(const TBusFrame &frame, QList<TTransfer> &done) override;
    void Flush(int64_t nowUs, QList<TTransfer> &done) override;

    static constexpr int64_t TimeoutUs = 1000000; // N_Bs and N_Cr
    static constexpr int MaxLength = 4095;        // classic CAN's first frame

private:
    struct TAddress {
        uint32_t Key = 0;     // the identifier, bit 31 for extended
        uint32_t Partner = 0; // who sends the flow control / the answer (0: functional, none)
        bool Functional = false;
    };
    struct TReceive {
        bool Active = false;
        int Expected = 0;
        int NextSequence = 1;
        QByteArray Data;
        int64_t StartUs = 0;
        int64_t LastUs = 0;
        bool AwaitFlowControl = false;
        int64_t AwaitSinceUs = 0;
        int BlockSize = 0;
        int InBlock = 0;
        QString Fault;
    };
    struct TRequest {
        int64_t EndUs = 0;
    };

    bool Address(const TBusFrame &frame, TAddress &address) const;
    QString SingleFrame(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done);
    QString FirstFrame(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done);
    QString ConsecutiveFrame(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done);
    QString FlowControl(const TBusFrame &frame, const TAddress &address, QList<TTransfer> &done);
    // Ends the message on `key` and reports it; returns its meaning.
    QString Finish(uint32_t key, const TAddress &address, int64_t endUs, const QString &fault, QList<TTransfer> &done);
    void Abandon(uint32_t key, int64_t endUs, const QString &fault, QList<TTransfer> &done);
    static TTransfer Transfer(uint32_t key, const TReceive &r, int64_t endUs, const QString &fault);
    int64_t RequestTime(const TAddress &address, bool consume);

    TProtocolOptions m_options;
    QHash<uint32_t, TReceive> m_receive;
    QHash<uint32_t, TRequest> m_requests; // by the requesting identifier
};
