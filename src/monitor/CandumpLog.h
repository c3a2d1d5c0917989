#pragma once
// Reading candump logs: the "(seconds.micro) interface frame" lines that can-utils' `candump -l`
// writes, python-can writes, and this program's candump writer writes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVector>

#include <cstdint>

class TInputCancel;

struct TLogFrame {
    int64_t TimeUs = 0;          // the "(seconds.micro)" stamp in microseconds
    QByteArray Interface;        // "can0", "k3316"
    uint32_t Id = 0;             // without flags
    bool Extended = false;       // 8-digit identifier
    bool Remote = false;         // "123#R" / "123#R3"
    bool Fd = false;             // "123##1..." CAN FD frame (the module cannot send it)
    bool Error = false;          // error frame (CAN_ERR_FLAG, 0x20000000 in an 8-digit id)
    uint8_t Dlc = 0;
    QByteArray Data;             // the data bytes (empty for remote frames)
};

// One line of a candump -l log, as can-utils writes it ("(1765280000.123456) can0 123#11AB") and as
// this project writes it. False with `error` (what was expected) for a line that is not one.
// A trailing direction mark (" R", " T", as python-can and newer candump add) is accepted.
// `frame` is left as it was after a false; a good line reuses its buffers.
bool ParseCandumpLine(QByteArrayView line, TLogFrame &frame, QString &error);

// Files larger than this are refused rather than read into memory.
constexpr qint64 CandumpFileLimit = 512LL * 1024 * 1024;

// Reads a whole log, blank lines skipped, reporting the first bad line as "FILE:LINE: ..." and
// then nothing in `frames`.
// A FIFO or a device is refused unread; standard input ("-") and pipes are read to their end.
bool ReadCandumpFile(const QString &path, QVector<TLogFrame> &frames, QString &error, const TInputCancel *cancel = nullptr);
