#pragma once
// Vector BLF logs of CAN frames, as CANoe and python-can read them: a 144-byte file header with
// the measurement's start (local time, to the millisecond), then log containers of about 128 KiB
// of objects, zlib-compressed. Each frame is a CAN_MESSAGE object with a nanosecond stamp from
// the start. The header's sizes and counts stay 0, so the file can be written to a pipe.

#include "monitor/FrameStore.h"

#include <QByteArray>

QByteArray BlfHeader(int64_t startUs);

// Gathers objects and packs them into containers as they fill.
class TBlfPacker {
public:
    static constexpr qsizetype ContainerBytes = 128 * 1024;

    // Appends the frame's object; a full container goes to `out`. False for a line that is no
    // frame or whose checksum is wrong.
    bool Append(QByteArray &out, const TFrameRow &row, int64_t startUs);
    // The last, partly filled container.
    void Finish(QByteArray &out);

private:
    void Pack(QByteArray &out, qsizetype bytes);
    QByteArray m_pending;
};
