#include "dbc/SignalCodec.h"

QVector<TDecodedSignal> DecodeSignals(const TDbcMessage &, const uint8_t *, int)
{
    return {};
}

bool EncodeSignals(const TDbcMessage &message, const QHash<QString, double> &, QByteArray &data, QString &)
{
    data = QByteArray(message.Dlc, '\0');
    return true;
}

void InsertRawBits(const TDbcSignal &, uint64_t, uint8_t *, int)
{
}
