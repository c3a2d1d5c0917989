#include "dbc/SignalCodec.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

TDbcSignalLayout LayoutOf(const TDbcSignal &s)
{
    TDbcSignalLayout l;
    l.Factor = s.Factor;
    l.Offset = s.Offset;
    l.MuxValue = s.MuxValue;
    l.LittleEndian = s.LittleEndian;
    l.Signed = s.Signed;
    l.HasTexts = !s.ValueTexts.isEmpty();
    l.ValueType = s.ValueType;
    l.Mux = s.Mux;
    if (s.Length < 1 || s.Length > 64 || s.StartBit < 0 || s.StartBit > 511)
        return l; // touches no byte: never present
    l.Length = uint8_t(s.Length);
    if (s.LittleEndian) {
        l.FirstByte = int16_t(s.StartBit / 8);
        l.LastByte = int16_t((s.StartBit + s.Length - 1) / 8);
        l.Shift = uint8_t(s.StartBit % 8);
    } else {
        // Counting bits from the first byte's most significant bit on, a big-endian signal is
        // one run from its most significant bit (the start bit) to its least.
        const int msb = (s.StartBit / 8) * 8 + 7 - s.StartBit % 8;
        const int lsb = msb + s.Length - 1;
        l.FirstByte = int16_t(msb / 8);
        l.LastByte = int16_t(lsb / 8);
        l.Shift = uint8_t(7 - lsb % 8);
    }
    return l;
}

uint64_t MaskOf(int length)
{
    return length >= 64 ? ~uint64_t(0) : (uint64_t(1) << length) - 1;
}

__extension__ typedef unsigned __int128 TWide; // a 64-bit signal may touch nine bytes

uint64_t ReadBits(const TDbcSignalLayout &l, const uint8_t *data)
{
    TWide acc = 0;
    if (l.LittleEndian) {
        for (int b = l.LastByte; b >= l.FirstByte; --b)
            acc = (acc << 8) | data[b];
    } else {
        for (int b = l.FirstByte; b <= l.LastByte; ++b)
            acc = (acc << 8) | data[b];
    }
    return uint64_t(acc >> l.Shift) & MaskOf(l.Length);
}

int64_t SignExtend(uint64_t bits, int length)
{
    if (length >= 64)
        return int64_t(bits);
    const uint64_t sign = uint64_t(1) << (length - 1);
    return int64_t((bits ^ sign) - sign);
}

void DecodeOne(const TDbcSignal &s, const TDbcSignalLayout &l, const uint8_t *data, int size, TDecodedSignal &out)
{
    out.Signal = &s;
    if (l.LastByte < l.FirstByte || l.LastByte >= size) {
        out.Present = false;
        return;
    }
    out.RawBits = ReadBits(l, data);
    switch (l.ValueType) {
    case TDbcSignal::TValueType::Float32:
        out.Value = double(std::bit_cast<float>(uint32_t(out.RawBits))) * l.Factor + l.Offset;
        break;
    case TDbcSignal::TValueType::Float64:
        out.Value = std::bit_cast<double>(out.RawBits) * l.Factor + l.Offset;
        break;
    case TDbcSignal::TValueType::Integer:
        out.Raw = l.Signed ? SignExtend(out.RawBits, l.Length) : int64_t(out.RawBits);
        out.Value = (l.Signed ? double(out.Raw) : double(out.RawBits)) * l.Factor + l.Offset;
        if (l.HasTexts) {
            const auto it = s.ValueTexts.constFind(out.Raw);
            if (it != s.ValueTexts.constEnd())
                out.Text = *it;
        }
        break;
    }
}

QString Number(double v)
{
    return QString::number(v, 'g', 15);
}

QString RangeText(const TDbcSignal &s)
{
    return QStringLiteral("[%1, %2]").arg(Number(s.Minimum), Number(s.Maximum));
}

// Physical value -> raw bits, or false with `error`.
bool RawBitsOf(const TDbcSignal &s, double value, uint64_t &bits, QString &error)
{
    if (!std::isfinite(value)) {
        error = QStringLiteral("%1: %2 is not a number").arg(s.Name, Number(value));
        return false;
    }
    if (s.Minimum < s.Maximum && (value < s.Minimum || value > s.Maximum)) {
        error = QStringLiteral("%1: %2 is outside its range %3").arg(s.Name, Number(value), RangeText(s));
        return false;
    }
    if (s.Factor == 0) {
        error = QStringLiteral("%1: its factor is 0, no value can be encoded").arg(s.Name);
        return false;
    }
    const double scaled = (value - s.Offset) / s.Factor;
    if (s.ValueType == TDbcSignal::TValueType::Float32) {
        bits = std::bit_cast<uint32_t>(float(scaled));
        return true;
    }
    if (s.ValueType == TDbcSignal::TValueType::Float64) {
        bits = std::bit_cast<uint64_t>(scaled);
        return true;
    }
    const double q = std::round(scaled);
    const double lowest = s.Signed ? -std::ldexp(1.0, s.Length - 1) : 0.0;
    const double limit = s.Signed ? std::ldexp(1.0, s.Length - 1) : std::ldexp(1.0, s.Length); // exclusive
    if (!(q >= lowest && q < limit)) {
        const double lo = lowest * s.Factor + s.Offset;
        const double hi = (limit - 1) * s.Factor + s.Offset;
        error = QStringLiteral("%1: %2 does not fit its %3 bits (range [%4, %5])")
                    .arg(s.Name, Number(value)).arg(s.Length).arg(Number(std::min(lo, hi)), Number(std::max(lo, hi)));
        return false;
    }
    if (s.Signed)
        bits = uint64_t(int64_t(q)) & MaskOf(s.Length);
    else
        bits = q >= std::ldexp(1.0, 63) ? uint64_t(q - std::ldexp(1.0, 63)) | (uint64_t(1) << 63) : uint64_t(q);
    return true;
}

} // namespace

void PrepareLayout(TDbcMessage &message)
{
    message.Layout.resize(message.Signals.size());
    for (qsizetype i = 0; i < message.Signals.size(); ++i)
        message.Layout[i] = LayoutOf(message.Signals[i]);
}

QVector<TDecodedSignal> DecodeSignals(const TDbcMessage &message, const uint8_t *data, int size)
{
    QVector<TDbcSignalLayout> local;
    const QVector<TDbcSignalLayout> *layout = &message.Layout;
    if (message.Layout.size() != message.Signals.size()) {
        local.resize(message.Signals.size());
        for (qsizetype i = 0; i < message.Signals.size(); ++i)
            local[i] = LayoutOf(message.Signals[i]);
        layout = &local;
    }
    const qsizetype count = layout->size();
    const TDbcSignalLayout *l = layout->constData();
    const TDbcSignal *s = message.Signals.constData();

    bool haveMux = false;
    int64_t muxValue = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (l[i].Mux != TDbcSignal::TMux::Multiplexor)
            continue;
        TDecodedSignal d;
        DecodeOne(s[i], l[i], data, size, d);
        haveMux = d.Present;
        muxValue = d.Raw;
        break;
    }
    QVector<TDecodedSignal> out(count);
    qsizetype n = 0;
    for (qsizetype i = 0; i < count; ++i) {
        // Without the multiplexor's value no multiplexed signal can be told present.
        if (l[i].Mux == TDbcSignal::TMux::Multiplexed && (!haveMux || l[i].MuxValue != muxValue))
            continue;
        DecodeOne(s[i], l[i], data, size, out[n++]);
    }
    out.resize(n);
    return out;
}

bool EncodeSignals(const TDbcMessage &message, const QHash<QString, double> &values, QByteArray &data, QString &error)
{
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        bool known = false;
        for (const TDbcSignal &s : message.Signals)
            known = known || s.Name == it.key();
        if (!known) {
            error = QStringLiteral("%1 has no signal %2").arg(message.Name, it.key());
            return false;
        }
    }
    const TDbcSignal *mux = nullptr;
    for (const TDbcSignal &s : message.Signals)
        if (s.Mux == TDbcSignal::TMux::Multiplexor)
            mux = &s;

    QByteArray out(message.Dlc, '\0');
    int64_t muxValue = 0;
    for (const TDbcSignal &s : message.Signals) {
        const auto it = values.constFind(s.Name);
        if (it == values.constEnd())
            continue;
        uint64_t bits = 0;
        if (!RawBitsOf(s, *it, bits, error))
            return false;
        if (&s == mux)
            muxValue = s.Signed ? SignExtend(bits, s.Length) : int64_t(bits);
        InsertRawBits(s, bits, reinterpret_cast<uint8_t *>(out.data()), int(out.size()));
    }
    for (const TDbcSignal &s : message.Signals) {
        if (s.Mux == TDbcSignal::TMux::Multiplexed && values.contains(s.Name) && s.MuxValue != muxValue) {
            error = QStringLiteral("%1 is sent only with %2 = %3").arg(s.Name, mux ? mux->Name : QString()).arg(s.MuxValue);
            return false;
        }
    }
    data = out;
    return true;
}

void InsertRawBits(const TDbcSignal &signal, uint64_t rawBits, uint8_t *data, int size)
{
    if (signal.Length < 1 || signal.Length > 64)
        return;
    const int msb = (signal.StartBit / 8) * 8 + 7 - signal.StartBit % 8;
    for (int i = 0; i < signal.Length; ++i) {
        int byte, bit;
        uint64_t value;
        if (signal.LittleEndian) {
            const int pos = signal.StartBit + i;
            byte = pos / 8;
            bit = pos % 8;
            value = (rawBits >> i) & 1;
        } else {
            const int pos = msb + i; // i-th bit from the most significant one
            byte = pos / 8;
            bit = 7 - pos % 8;
            value = (rawBits >> (signal.Length - 1 - i)) & 1;
        }
        if (byte < 0 || byte >= size)
            continue;
        data[byte] = uint8_t((data[byte] & ~(1u << bit)) | (value << bit));
    }
}
