#pragma once
// The virtual module's stored parameters and their wire blocks. A block is what follows "!P" in
// a "#P0"/"#P1" reply and what follows the length digits in a "$P0"/"$P1" write: the same fields
// in the same order.

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace Sim {

constexpr int32_t ConfigModeBaud = 115200; // configuration mode always talks at this rate

// RS-232 rate of a baud-rate box index (0 "110" .. 11 "115200"); 0 outside the list.
int32_t RS232BaudRate(int index);
// Box index of an RS-232 rate; -1 when the list does not hold it.
int RS232BaudIndex(int32_t rate);

struct RS232Params {
    int baudIndex = 11; // 115200
    int dataBits = 3;   // 8
    int stopBits = 0;   // 1
    int parity = 0;     // None
    int checksum = 0;   // "Add Checksum": No
    int respond = 0;    // "Error Response": No
    bool operator==(const RS232Params &) const = default;
};

struct CanParams {
    int frameFormat = 0; // 0 "2.0A", 1 "2.0B"
    int baud = 4;        // 125K
    int hidden = 0;      // one hex digit no control shows
    // Eight upper-case hex digits each, as they travel. In 2.0A only the value digits count and
    // the rest is kept as zeros, the way the utility writes them.
    QByteArray code = "00000000";
    QByteArray mask = "00000000";
    QByteArray txId = "00000001";
    char pairFlag = '0';
    char txIdFlag = '0';
    char respIdFlag = '0';
    int endOfCommand = 0; // 0 None, 1 CR, 2 LF, 3 CR_LF, 4 LF_CR
    bool operator==(const CanParams &) const = default;
};

constexpr int RS232BlockLength = 7;
constexpr int CanLongBlockLength = 31;  // firmware level 2 and above
constexpr int CanShortBlockLength = 19; // firmware level below 2: up to the mask

// Baud index as two hex digits, then one digit for each of the other five boxes.
QByteArray RS232Block(const RS232Params &params);
// Exactly seven characters, every index inside its list; nothing otherwise.
std::optional<RS232Params> ParseRS232Block(const QByteArray &block);

// Frame format (2.0A/2.0B), CAN baud, hidden digit, code, mask, and in the long form the
// Tx CAN ID, the three flags and the end-of-command index.
QByteArray CanBlock(const CanParams &params, bool longForm);
// A long or a short block; a short one keeps the Tx CAN ID, flags and end-of-command of `base`.
// Nothing when a field is out of its list or not upper-case hex.
std::optional<CanParams> ParseCanBlock(const QByteArray &block, const CanParams &base);

} // namespace Sim
