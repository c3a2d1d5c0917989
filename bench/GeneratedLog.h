#pragma once
// The log the log benchmarks read: `frames` frames 1 ms apart, standard and extended identifiers
// of 100 messages, 0 to 8 bytes, in any format the encoder writes.

#include "logs/LogFrameRow.h"
#include "monitor/LogWriters.h"

#include <QFile>

inline bool WriteGeneratedLog(const QString &path, TLogFormat format, qint64 frames)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    TLogEncoder encoder(format, 1765280000000000);
    QByteArray out = encoder.Header(), text;
    for (qint64 i = 0; i < frames; ++i) {
        TLogFrame f;
        f.TimeUs = 1765280000000000 + i * 1000;
        f.Extended = i % 3 == 0;
        f.Id = uint32_t(f.Extended ? 0x18FEF100 + i % 100 : 0x100 + i % 100);
        f.Dlc = uint8_t(i % 9);
        for (int b = 0; b < f.Dlc; ++b)
            f.Data += char(i + b);
        TFrameRow row;
        LogFrameToRow(f, text, row);
        encoder.Append(out, row);
        if (out.size() > (1 << 20)) {
            if (file.write(out) != out.size())
                return false;
            out.clear();
        }
    }
    out += encoder.Footer();
    return file.write(out) == out.size();
}
