#pragma once
// One row of a transmit list: a CAN message, how often it goes out, and an optional rolling
// counter inside its data. The line is built by the composer's code, and a row obeys the
// composer's field rules (identifier digits, DLC, data bytes, interval range).

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// A bit field of the data that advances by `Step` after each send and wraps within `Length` bits.
// Bits are counted as in a little-endian (Intel) signal: bit 0 is the lowest bit of byte 0, bit 8
// the lowest of byte 1.
struct TTransmitCounter {
    TTransmitCounter() = default;
    TTransmitCounter(int startBit, int length, int64_t step) : StartBit(startBit), Length(length), Step(step) {}
    int StartBit = 0;
    int Length = 1;   // 1..64
    int64_t Step = 1; // may be negative
    QString Signal;   // a database signal whose bits these are (see TransmitDbc)
    bool operator==(const TTransmitCounter &) const = default;
};

struct TTransmitRow {
    bool Enabled = true;
    QString Name;
    QString Id = QStringLiteral("000"); // hexadecimal digits, as the composer's ID field holds them
    bool Extended = false;
    bool Remote = false;
    int Dlc = 0;
    QByteArray Data;   // the data bytes; missing ones up to the DLC go out as 00
    int PeriodMs = 0;  // 0: only on demand
    int64_t Count = 0; // sends per run; 0: until stopped
    std::optional<TTransmitCounter> Counter;
    // A message of a CAN database by name: its identifier, format and DLC, its data from signal
    // values, its GenMsgCycleTime as the period when none is given (see TransmitDbc).
    QString Message;
    QMap<QString, double> Signals;
    bool operator==(const TTransmitRow &) const = default;
};

namespace TransmitRows {

constexpr int MaxPeriodMs = 99999; // the composer's interval field takes five digits

// Problems of each field, each as "key: what is wrong". Empty for a row that can be sent.
QStringList CheckRow(const TTransmitRow &row);
// The same checks one field at a time, for an edited cell: the problem or an empty text.
QString CheckId(const QString &id, bool extended);
QString CheckDlc(int dlc);
QString CheckData(const QString &hexText, int dlc, QByteArray &bytes);
QString CheckPeriod(int64_t periodMs);
QString CheckCount(int64_t count);
QString CheckCounter(const TTransmitCounter &counter, int dlc, bool remote);

// The composer's message line for the row as it stands (no checksum, no CR). The row must
// have passed CheckRow.
QByteArray MessageLine(const TTransmitRow &row);
// Bytes the line takes on the wire: the line, the checksum when used, the CR.
int WireBytes(const QByteArray &messageLine, bool withChecksum);

// The counter's field as it stands in `data` (bytes beyond the data read as 0).
uint64_t CounterValue(const QByteArray &data, const TTransmitCounter &counter);
// Writes `value` (cut to the field's length) into the field, growing `data` with zeros to reach it.
void SetCounterValue(QByteArray &data, const TTransmitCounter &counter, uint64_t value);
// One step: the field plus the step, wrapped to the field's length.
void AdvanceCounter(QByteArray &data, const TTransmitCounter &counter);

// Bytes per second the periodic enabled rows ask of the line.
double LoadBytesPerSecond(const QList<TTransmitRow> &rows, bool withChecksum);
// What a line at `baud` carries: ten bits per byte (start, eight data bits, stop).
double LineCapacityBytesPerSecond(int32_t baud);
// "Load: 14,200 of 11,520 bytes/s"
QString LoadText(double load, double capacity);

// Data bytes as the table and the list files write them: "11AB".
QString DataText(const QByteArray &data);

} // namespace TransmitRows
