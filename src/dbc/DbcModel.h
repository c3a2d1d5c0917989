#pragma once
// What a DBC file describes: messages and their signals, as plain values. The reader fills
// them; the codec and the views only read them.

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

struct TDbcSignal {
    QString Name;
    QString Unit;
    QStringList Receivers;     // one list shared by the signals that name the same nodes
    QString Comment;
    QMap<int64_t, QString> ValueTexts;
    double Factor = 1, Offset = 0, Minimum = 0, Maximum = 0;
    int64_t MuxValue = 0;      // for Multiplexed: the multiplexor value that selects it
    int StartBit = 0;          // as written in the file (big-endian: the DBC's own numbering)
    int Length = 0;            // 1..64
    bool LittleEndian = true;  // @1
    bool Signed = false;       // '-'
    // One byte each: a big database holds hundreds of thousands of signals.
    enum class TValueType : uint8_t { Integer, Float32, Float64 } ValueType = TValueType::Integer;
    enum class TMux : uint8_t { None, Multiplexor, Multiplexed } Mux = TMux::None;
};

// A signal's position and scaling packed for decoding: a message's signals are read from a few
// cache lines instead of their full descriptions. Derived from TDbcSignal by PrepareLayout().
struct TDbcSignalLayout {
    double Factor = 1, Offset = 0;
    // 1/Factor when that is a whole number (0.1 -> 10): raw / 10 is the double nearest the decimal
    // value, where raw * 0.1 can be one step off (-1274.6000000000001). 0: multiply.
    double Divisor = 0;
    int64_t MuxValue = 0;
    int8_t FirstByte = 0, LastByte = -1; // bytes the signal touches (at most 64)
    uint8_t Shift = 0;                   // of its least significant bit in those bytes read as one number
    uint8_t Length = 0;
    bool LittleEndian = true, Signed = false;
    bool HasTexts = false;               // its ValueTexts are looked up only then
    TDbcSignal::TValueType ValueType = TDbcSignal::TValueType::Integer;
    TDbcSignal::TMux Mux = TDbcSignal::TMux::None;
};

struct TDbcMessage {
    uint32_t Id = 0;           // without the extended bit 31
    bool Extended = false;
    QString Name;
    int Dlc = 0;
    QString Transmitter;
    QVector<TDbcSignal> Signals;
    QString Comment;
    int CycleTimeMs = -1;      // GenMsgCycleTime, -1 when not given
    // One entry per signal, filled by the reader (PrepareLayout). A message whose Layout does not
    // match its Signals in number is laid out again on every decode.
    QVector<TDbcSignalLayout> Layout;
};
