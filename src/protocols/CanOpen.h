#pragma once
// CANopen (CiA 301) by COB-ID on 11-bit identifiers: NMT, SYNC, EMCY, TIME, PDOs, SDO (expedited
// and segmented transfers reassembled, block transfers marked, abort codes named), heartbeat and
// boot-up, LSS.

#include "protocols/ProtocolFrame.h"

#include <QHash>

QString CanOpenAbortText(uint32_t code);      // "object does not exist in the object dictionary"
QString CanOpenEmergencyText(uint16_t code);  // "temperature", "CAN overrun"
QString CanOpenStateText(uint8_t state);      // heartbeat states

class TCanOpenDecoder : public TProtocolDecoder {
public:
    QString Feed(const TBusFrame &frame, QList<TTransfer> &done) override;
    void Flush(int64_t nowUs, QList<TTransfer> &done) override;

    static constexpr int64_t TimeoutUs = 1000000; // an SDO transfer silent this long has ended

private:
    struct TSdo {
        bool Upload = false;
        int Index = 0;
        int SubIndex = 0;
        int Size = -1; // -1: not announced
        int Toggle = 0;
        QByteArray Data;
        int64_t StartUs = 0;
        int64_t LastUs = 0;
    };
    QString Sdo(const TBusFrame &frame, int node, bool fromServer, QList<TTransfer> &done);
    void End(int node, int64_t endUs, const QString &fault, QList<TTransfer> &done);

    QHash<int, TSdo> m_sdo; // by node
};
