#pragma once
// Decoding of the module's settings replies ("#P0" and "#P1") by fixed character positions.

#include <QByteArray>
#include <QString>

#include <cstdint>

struct TRS232Settings {
    int32_t BaudIndex = 0;
    int32_t DataBits = 0;
    int32_t StopBits = 0;
    int32_t Parity = 0;
    int32_t Checksum = 0;
    int32_t Respond = 0;
};

struct TCanSettings {
    int32_t Spec = 0;
    int32_t Baud = 0;
    int32_t Hidden = 0;
    bool Layout20A = false; // which layout the text fields were read in
    QString Code;
    QString Mask;
    bool HasPairFields = false; // firmware level 2 and above
    QString TxCanId;
    QString PairFlag;
    QString TxIdFlag;
    QString RespIdFlag;
    int32_t EndOfCommand = 0;
};

// Length of a reply without its final carriage return.
qsizetype ReplyBodyLength(const QByteArray &reply);

// Positions 3 to 9. False when the reply is too short to hold them.
bool DecodeRS232Reply(const QByteArray &reply, TRS232Settings &out);

// The CAN specification index at position 3 decides the layout of the text fields: index 0 is
// 2.0A, every other value (also one outside the list) 2.0B. Below firmware level 2 the reply
// ends after the mask; from level 2 it carries the Tx CAN ID, three flags and the end-of-command
// index. False when the reply is too short for the positions that its layout needs.
bool DecodeCanReply(const QByteArray &reply, int firmwareLevel, TCanSettings &out);
