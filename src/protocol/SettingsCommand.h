#pragma once
// Building of the module's settings writes ("$P0" RS-232 block, "$P1" CAN block).
// The returned texts carry neither checksum nor carriage return: frame them with
// Framing::FrameLine(text, true).

#include <QByteArray>

#include <cstdint>

// Box indexes start without a selection (-1): a write is complete only once every field is
// chosen. The module's default settings are Profiles::Defaults (protocol/Profile.h).
struct TRS232Write {
    int32_t BaudIndex = -1;
    int32_t DataBits = -1;
    int32_t StopBits = -1;
    int32_t Parity = -1;
    int32_t Checksum = -1;
    int32_t Respond = -1;
};

struct TCanWrite {
    int32_t Spec = -1; // 0 is 2.0A, anything else 2.0B
    int32_t Baud = -1;
    int32_t Hidden = 0;
    int32_t Code = 0;
    int32_t Mask = 0;
    int32_t TxCanId = 1;
    char PairFlag = '0';
    char TxIdFlag = '0';
    char RespIdFlag = '0';
    int32_t EndOfCommand = -1;
};

// True when every index lies inside its box's list: only then has the command its fixed length.
// A box without a selection (-1) or a digit read out of range from the module (a hidden digit
// "a" gives 42) would shift every later field, so such a command is never sent.
bool IsCompleteRS232Write(const TRS232Write &w);
bool IsCompleteCanWrite(const TCanWrite &w);

// "$P009" and six box indexes; 12 characters.
QByteArray BuildRS232Command(const TRS232Write &w);

// "$P121" with the Tx CAN ID, flags and end-of-command index from firmware level 2 on;
// "$P115" without them below level 2.
QByteArray BuildCanCommand(const TCanWrite &w, int firmwareLevel);
