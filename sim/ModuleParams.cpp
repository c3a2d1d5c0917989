#include "ModuleParams.h"

#include <array>

namespace Sim {

namespace {

constexpr std::array<int32_t, 12> RS232Rates = {110,  150,  300,   600,   1200,  2400,
                                                4800, 9600, 19200, 38400, 57600, 115200};
constexpr int DataBitEntries = 4;
constexpr int StopBitEntries = 2;
constexpr int ParityEntries = 3;
constexpr int NoYesEntries = 2;
constexpr int FrameFormatEntries = 2;
constexpr int CanBaudEntries = 10;
constexpr int EndOfCommandEntries = 5;

const char HexDigits[] = "0123456789ABCDEF";

// Upper-case only: the utility writes nothing else, so anything else is a fault worth refusing.
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool allHex(const QByteArray &text)
{
    for (char c : text)
        if (hexValue(c) < 0)
            return false;
    return true;
}

bool isFlag(char c)
{
    return c == '0' || c == '1';
}

// One digit that must lie in a list of `entries`.
int indexDigit(char c, int entries)
{
    const int v = hexValue(c);
    return v >= 0 && v < entries ? v : -1;
}

// 2.0A keeps only the value digits; the padding goes back to zeros.
QByteArray standardField(const QByteArray &field, int valueAt)
{
    QByteArray out(8, '0');
    for (int i = valueAt; i < valueAt + 3; ++i)
        out[i] = field[i];
    return out;
}

} // namespace

int32_t RS232BaudRate(int index)
{
    return index >= 0 && index < int(RS232Rates.size()) ? RS232Rates[size_t(index)] : 0;
}

int RS232BaudIndex(int32_t rate)
{
    for (size_t i = 0; i < RS232Rates.size(); ++i)
        if (RS232Rates[i] == rate)
            return int(i);
    return -1;
}

QByteArray RS232Block(const RS232Params &p)
{
    QByteArray block;
    block += HexDigits[(p.baudIndex >> 4) & 0xF];
    block += HexDigits[p.baudIndex & 0xF];
    for (int v : {p.dataBits, p.stopBits, p.parity, p.checksum, p.respond})
        block += HexDigits[v & 0xF];
    return block;
}

std::optional<RS232Params> ParseRS232Block(const QByteArray &block)
{
    if (block.size() != RS232BlockLength)
        return std::nullopt;
    const int high = hexValue(block[0]);
    const int low = hexValue(block[1]);
    RS232Params p;
    p.baudIndex = high < 0 || low < 0 ? -1 : high * 16 + low;
    p.dataBits = indexDigit(block[2], DataBitEntries);
    p.stopBits = indexDigit(block[3], StopBitEntries);
    p.parity = indexDigit(block[4], ParityEntries);
    p.checksum = indexDigit(block[5], NoYesEntries);
    p.respond = indexDigit(block[6], NoYesEntries);
    if (RS232BaudRate(p.baudIndex) == 0 || p.dataBits < 0 || p.stopBits < 0 || p.parity < 0
        || p.checksum < 0 || p.respond < 0)
        return std::nullopt;
    return p;
}

QByteArray CanBlock(const CanParams &p, bool longForm)
{
    QByteArray block;
    block += HexDigits[p.frameFormat & 0xF];
    block += HexDigits[p.baud & 0xF];
    block += HexDigits[p.hidden & 0xF];
    block += p.code;
    block += p.mask;
    if (longForm) {
        block += p.txId;
        block += p.pairFlag;
        block += p.txIdFlag;
        block += p.respIdFlag;
        block += HexDigits[p.endOfCommand & 0xF];
    }
    return block;
}

std::optional<CanParams> ParseCanBlock(const QByteArray &block, const CanParams &base)
{
    const bool longForm = block.size() == CanLongBlockLength;
    if (!longForm && block.size() != CanShortBlockLength)
        return std::nullopt;
    CanParams p = base;
    p.frameFormat = indexDigit(block[0], FrameFormatEntries);
    p.baud = indexDigit(block[1], CanBaudEntries);
    p.hidden = hexValue(block[2]);
    p.code = block.mid(3, 8);
    p.mask = block.mid(11, 8);
    if (p.frameFormat < 0 || p.baud < 0 || p.hidden < 0 || !allHex(p.code) || !allHex(p.mask))
        return std::nullopt;
    if (longForm) {
        p.txId = block.mid(19, 8);
        p.pairFlag = block[27];
        p.txIdFlag = block[28];
        p.respIdFlag = block[29];
        p.endOfCommand = indexDigit(block[30], EndOfCommandEntries);
        if (!allHex(p.txId) || !isFlag(p.pairFlag) || !isFlag(p.txIdFlag)
            || !isFlag(p.respIdFlag) || p.endOfCommand < 0)
            return std::nullopt;
    }
    if (p.frameFormat == 0) {
        p.code = standardField(p.code, 1);
        p.mask = standardField(p.mask, 1);
        if (longForm)
            p.txId = standardField(p.txId, 5);
    }
    return p;
}

} // namespace Sim
