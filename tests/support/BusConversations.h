#pragma once
// Frame sequences written as text, for the protocol decoders' tests: one frame a line,
// "MILLISECONDS ID#DATA" (8-digit ID: extended; DATA "R": remote), as the conversations would
// appear on a bus.

#include "protocols/ProtocolFrame.h"

#include <QStringList>

#include <cstring>

inline QList<TBusFrame> ParseBusFrames(const QString &text)
{
    QList<TBusFrame> list;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.trimmed().split(QLatin1Char(' '));
        const QStringList frame = parts.value(1).split(QLatin1Char('#'));
        TBusFrame f;
        f.TimeUs = qint64(parts.value(0).toDouble() * 1000);
        f.Id = frame.value(0).toUInt(nullptr, 16);
        f.Extended = frame.value(0).size() == 8;
        if (frame.value(1) == QLatin1String("R")) {
            f.Remote = true;
        } else {
            const QByteArray data = QByteArray::fromHex(frame.value(1).toLatin1());
            f.Dlc = uint8_t(qMin(data.size(), qsizetype(8)));
            std::memcpy(f.Data, data.constData(), f.Dlc);
        }
        list << f;
    }
    return list;
}
