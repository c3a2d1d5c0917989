#include "dbc/SignalCodec.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

TDbcSignalLayout LayoutOf(const TDbcSignal &s)
{
    TDbcSignalLayout l;
    l.Factor = s.Factor;
    l.Offset = s.Offset;
    if (s.Factor > 0 && s.Factor < 1) {
        const double divisor = std::round(1.0 / s.Factor);
        if (divisor <= 9007199254740992.0 && 1.0 / divisor == s.Factor)
            l.Divisor = divisor;
    }
    l.MuxValue = s.MuxValue;
    l.LittleEndian = s.LittleEndian;
    l.Signed = s.Signed;
    l.ValueType = s.ValueType;
    l.Mux = s.Mux;
    l.HasTexts = !s.ValueTexts.isEmpty();
    if (s.Length < 1 || s.Length > 64 || s.StartBit < 0 || s.StartBit > 511)
        return l; // touches no byte: never present
    l.Length = uint8_t(s.Length);
    if (s.LittleEndian) {
        l.FirstByte = int8_t(s.StartBit / 8);
        l.LastByte = int8_t((s.StartBit + s.Length - 1) / 8);
        l.Shift = uint8_t(s.StartBit % 8);
    } else {
        // Counting bits from the first byte's most significant bit on, a big-endian signal is
        // one run from its most significant bit (the start bit) to its least.
        const int msb = (s.StartBit / 8) * 8 + 7 - s.StartBit % 8;
        const int lsb = msb + s.Length - 1;
        l.FirstByte = int8_t(msb / 8);
        l.LastByte = int8_t(lsb / 8);
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

void DecodeOne(const TDbcSignal &s, const TDbcSignalLayout &l, const uint8_t *data, int size, TSignalReading &out)
{
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
        out.Value = l.Divisor != 0 ? (l.Signed ? double(out.Raw) : double(out.RawBits)) / l.Divisor + l.Offset
                                   : (l.Signed ? double(out.Raw) : double(out.RawBits)) * l.Factor + l.Offset;
        if (l.HasTexts) {
            const auto it = s.ValueTexts.constFind(out.Raw);
            if (it != s.ValueTexts.constEnd())
                out.Text = &*it;
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
        if (!std::isfinite(float(scaled))) {
            error = QStringLiteral("%1: %2 does not fit its 32-bit float").arg(s.Name, Number(value));
            return false;
        }
        bits = std::bit_cast<uint32_t>(float(scaled));
        return true;
    }
    if (s.ValueType == TDbcSignal::TValueType::Float64) {
        if (!std::isfinite(scaled)) {
            error = QStringLiteral("%1: %2 does not fit its 64-bit float").arg(s.Name, Number(value));
            return false;
        }
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
    // Sized exactly: a big database keeps one per message.
    message.Layout.clear();
    message.Layout.squeeze();
    message.Layout.reserve(message.Signals.size());
    for (const TDbcSignal &s : std::as_const(message.Signals))
        message.Layout.append(LayoutOf(s));
}

qsizetype ReadSignals(const TDbcMessage &message, const uint8_t *data, int size, TSignalReading *out)
{
    QVector<TDbcSignalLayout> local;
    const QVector<TDbcSignalLayout> *layout = &message.Layout;
    if (message.Layout.size() != message.Signals.size()) {
        local.reserve(message.Signals.size());
        for (const TDbcSignal &s : message.Signals)
            local.append(LayoutOf(s));
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
        TSignalReading d;
        DecodeOne(s[i], l[i], data, size, d);
        haveMux = d.Present;
        muxValue = d.Raw;
        break;
    }
    qsizetype n = 0;
    for (qsizetype i = 0; i < count; ++i) {
        // Without the multiplexor's value no multiplexed signal can be told present.
        if (l[i].Mux == TDbcSignal::TMux::Multiplexed && (!haveMux || l[i].MuxValue != muxValue))
            continue;
        TSignalReading &r = out[n++];
        r = TSignalReading{};
        r.Index = int(i);
        DecodeOne(s[i], l[i], data, size, r);
    }
    return n;
}

QVector<TDecodedSignal> DecodeSignals(const TDbcMessage &message, const uint8_t *data, int size)
{
    const qsizetype count = message.Signals.size();
    TSignalReading few[16];
    std::vector<TSignalReading> many(count > 16 ? count : 0);
    TSignalReading *readings = count > 16 ? many.data() : few;
    const qsizetype n = ReadSignals(message, data, size, readings);
    QVector<TDecodedSignal> out(n);
    for (qsizetype i = 0; i < n; ++i) {
        const TSignalReading &r = readings[i];
        TDecodedSignal &d = out[i];
        d.Signal = &message.Signals[r.Index];
        d.Present = r.Present;
        d.Raw = r.Raw;
        d.RawBits = r.RawBits;
        d.Value = r.Value;
        if (r.Text)
            d.Text = *r.Text;
    }
    return out;
}

namespace {

struct TSignalBits {
    const TDbcSignal *Signal = nullptr;
    uint64_t Bits = 0;
};

const TDbcSignal *SignalNamed(const TDbcMessage &message, const QString &name)
{
    for (const TDbcSignal &s : message.Signals)
        if (s.Name == name)
            return &s;
    return nullptr;
}

// The signals' bits into message.Dlc bytes; multiplexed signals only with their multiplexor's value.
bool PackBits(const TDbcMessage &message, const QVector<TSignalBits> &given, QByteArray &data, QString &error)
{
    const TDbcSignal *mux = nullptr;
    for (const TDbcSignal &s : message.Signals)
        if (s.Mux == TDbcSignal::TMux::Multiplexor)
            mux = &s;
    QByteArray out(message.Dlc, '\0');
    int64_t muxValue = 0;
    for (const TSignalBits &g : given) {
        const TDbcSignal &s = *g.Signal;
        const TDbcSignalLayout l = LayoutOf(s);
        if (l.LastByte < l.FirstByte || l.LastByte >= message.Dlc) {
            error = QStringLiteral("%1 lies beyond the %2 byte(s) of %3").arg(s.Name).arg(message.Dlc).arg(message.Name);
            return false;
        }
        if (&s == mux)
            muxValue = s.Signed ? SignExtend(g.Bits, s.Length) : int64_t(g.Bits);
        InsertRawBits(s, g.Bits, reinterpret_cast<uint8_t *>(out.data()), int(out.size()));
    }
    for (const TSignalBits &g : given) {
        const TDbcSignal &s = *g.Signal;
        if (s.Mux == TDbcSignal::TMux::Multiplexed && s.MuxValue != muxValue) {
            error = QStringLiteral("%1 is sent only with %2 = %3").arg(s.Name, mux ? mux->Name : QString()).arg(s.MuxValue);
            return false;
        }
    }
    data = out;
    return true;
}

// A whole raw value into its bits, exactly (a signal wider than a double's 53 bits of mantissa).
bool RawIntegerBits(const TDbcSignal &s, const QString &shown, bool negative, uint64_t magnitude, uint64_t &bits,
                    QString &error, bool overflow = false)
{
    const int n = s.Length;
    const uint64_t top = n >= 64 ? ~uint64_t(0) : (uint64_t(1) << n) - 1;
    bool fits;
    QString low, high;
    if (s.Signed) {
        const uint64_t half = uint64_t(1) << (n - 1); // |lowest|; highest is half - 1
        fits = negative ? magnitude <= half : magnitude < half;
        low = QStringLiteral("-%1").arg(half);
        high = QString::number(half - 1);
        bits = (negative ? uint64_t(0) - magnitude : magnitude) & top;
    } else {
        fits = !negative || magnitude == 0;
        fits = fits && magnitude <= top;
        low = QStringLiteral("0");
        high = QString::number(top);
        bits = magnitude;
    }
    if (!fits || overflow) {
        error = QStringLiteral("%1: %2 does not fit its %3 bits (range [%4, %5])").arg(s.Name, shown).arg(n).arg(low, high);
        return false;
    }
    const long double v = negative ? -(long double)magnitude : (long double)magnitude;
    if (s.Minimum < s.Maximum && (v < s.Minimum || v > s.Maximum)) {
        error = QStringLiteral("%1: %2 is outside its range %3").arg(s.Name, shown, RangeText(s));
        return false;
    }
    return true;
}

// "-123" / "+123" / "123" -> sign and magnitude; false for anything else.
bool WholeNumberText(const QString &text, bool &negative, uint64_t &magnitude, bool &overflow)
{
    overflow = false;
    const QByteArray t = text.toLatin1();
    qsizetype at = 0;
    negative = false;
    if (!t.isEmpty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        at = 1;
    }
    const char *begin = t.constData() + at, *end = t.constData() + t.size();
    if (begin == end || *begin < '0' || *begin > '9')
        return false;
    const auto [stop, ec] = std::from_chars(begin, end, magnitude);
    if (ec == std::errc::result_out_of_range && stop == end)
        magnitude = ~uint64_t(0), overflow = true; // past every signal's bits
    return (ec == std::errc() || overflow) && stop == end;
}

} // namespace

bool EncodeSignals(const TDbcMessage &message, const QHash<QString, double> &values, QByteArray &data, QString &error)
{
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        if (!SignalNamed(message, it.key())) {
            error = QStringLiteral("%1 has no signal %2").arg(message.Name, it.key());
            return false;
        }
    }
    QVector<TSignalBits> given;
    for (const TDbcSignal &s : message.Signals) {
        const auto it = values.constFind(s.Name);
        if (it == values.constEnd())
            continue;
        TSignalBits g{&s, 0};
        if (!RawBitsOf(s, *it, g.Bits, error))
            return false;
        given.append(g);
    }
    return PackBits(message, given, data, error);
}

bool EncodeSignalTexts(const TDbcMessage &message, const QList<QPair<QString, QString>> &assignments, QByteArray &data,
                       QString &error)
{
    QVector<TSignalBits> given;
    for (const auto &[name, typed] : assignments) {
        const TDbcSignal *s = SignalNamed(message, name);
        if (!s) {
            error = QStringLiteral("%1 has no signal %2").arg(message.Name, name);
            return false;
        }
        for (const TSignalBits &g : given)
            if (g.Signal == s) {
                error = QStringLiteral("%1 is given twice").arg(name);
                return false;
            }
        const QString text = typed.trimmed();
        TSignalBits g{s, 0};
        bool negative = false, overflow = false;
        uint64_t magnitude = 0;
        bool ok = false;
        const double value = QLocale::c().toDouble(text, &ok);
        if (s->ValueType == TDbcSignal::TValueType::Integer && s->Length > 53 && s->Factor == 1 && s->Offset == 0
            && WholeNumberText(text, negative, magnitude, overflow)) {
            if (!RawIntegerBits(*s, text, negative, magnitude, g.Bits, error, overflow))
                return false;
        } else if (ok) {
            if (!RawBitsOf(*s, value, g.Bits, error))
                return false;
        } else {
            // One of the signal's value texts (VAL_), in any case, as the window's composer takes it.
            auto it = s->ValueTexts.cbegin();
            while (it != s->ValueTexts.cend() && it.value().compare(text, Qt::CaseInsensitive) != 0)
                ++it;
            if (it == s->ValueTexts.cend()) {
                error = s->ValueTexts.isEmpty()
                            ? QStringLiteral("%1: expected a number, found \"%2\"").arg(name, text)
                            : QStringLiteral("%1: expected a number or one of its value texts (%2), found \"%3\"")
                                  .arg(name, QStringList(s->ValueTexts.values()).join(QStringLiteral(", ")), text);
                return false;
            }
            if (s->ValueType == TDbcSignal::TValueType::Integer && s->Length > 53 && s->Factor == 1 && s->Offset == 0) {
                const int64_t raw = it.key();
                if (!RawIntegerBits(*s, text, raw < 0, raw < 0 ? uint64_t(0) - uint64_t(raw) : uint64_t(raw), g.Bits, error))
                    return false;
            } else if (!RawBitsOf(*s, double(it.key()) * s->Factor + s->Offset, g.Bits, error)) {
                return false;
            }
        }
        given.append(g);
    }
    return PackBits(message, given, data, error);
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
