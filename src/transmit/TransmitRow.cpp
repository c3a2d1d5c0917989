#include "transmit/TransmitRow.h"

#include "common/StrToInt.h"
#include "protocol/CanIdentifier.h"
#include "protocol/Framing.h"
#include "protocol/MessageLine.h"

#include <QLocale>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace TransmitRows {

QString CheckId(const QString &id, bool extended)
{
    // The composer reads its ID field with the standard conversion and a "$" in front; a text it
    // could not read fails with that conversion's wording, naming the text as typed (without the
    // "$" the user never wrote). After the "$" no blank or sign is taken, so only hexadecimal
    // digits pass.
    int32_t value = 0;
    if (!TryStrToInt(QStringLiteral("$") + id, value))
        return QStringLiteral("'%1' is not a valid integer value").arg(id);
    // The composer's ID field holds 3 digits, 8 for an extended frame.
    const int width = extended ? 8 : 3;
    if (id.size() > width)
        return QStringLiteral("at most %1 hexadecimal digits for %2 frame")
            .arg(width)
            .arg(extended ? QStringLiteral("an extended") : QStringLiteral("a standard"));
    if (!CanId::Fits(value, extended))
        return QStringLiteral("%1 is beyond %2, the largest %3 identifier")
            .arg(id.toUpper(), extended ? QStringLiteral("1FFFFFFF") : QStringLiteral("7FF"),
                 extended ? QStringLiteral("extended (29-bit)") : QStringLiteral("standard (11-bit)"));
    return QString();
}

QString CheckDlc(int dlc)
{
    if (dlc < 0 || dlc > 8)
        return QStringLiteral("must be 0 to 8");
    return QString();
}

QString CheckData(const QString &hexText, int dlc, QByteArray &bytes)
{
    QString digits = hexText;
    digits.remove(QLatin1Char(' '));
    const bool hex = std::all_of(digits.cbegin(), digits.cend(),
                                 [](QChar c) { return c.unicode() < 0x80 && std::isxdigit(c.unicode()); });
    if (!hex || digits.size() % 2 != 0)
        return QStringLiteral("must be pairs of hexadecimal digits, one pair per byte");
    if (digits.size() / 2 > 8)
        return QStringLiteral("at most 8 bytes");
    if (digits.size() / 2 > dlc)
        return QStringLiteral("%1 bytes, more than the DLC %2").arg(digits.size() / 2).arg(dlc);
    bytes = QByteArray::fromHex(digits.toLatin1());
    return QString();
}

QString CheckPeriod(int64_t periodMs)
{
    if (periodMs < 0 || periodMs > MaxPeriodMs)
        return QStringLiteral("must be 1 to %1 ms, or 0 for on demand only").arg(MaxPeriodMs);
    return QString();
}

QString CheckCount(int64_t count)
{
    if (count < 0)
        return QStringLiteral("must be 0 (until stopped) or more");
    return QString();
}

QString CheckCounter(const TTransmitCounter &c, int dlc, bool remote)
{
    if (remote)
        return QStringLiteral("a remote frame has no data to count in");
    if (c.Length < 1 || c.Length > 64)
        return QStringLiteral("length must be 1 to 64 bits");
    if (c.StartBit < 0 || c.StartBit + c.Length > dlc * 8)
        return QStringLiteral("bits %1 to %2 lie outside the %3 data bits of DLC %4")
            .arg(c.StartBit)
            .arg(c.StartBit + c.Length - 1)
            .arg(dlc * 8)
            .arg(dlc);
    return QString();
}

QStringList CheckRow(const TTransmitRow &row)
{
    QStringList problems;
    auto add = [&problems](const char *key, const QString &problem) {
        if (!problem.isEmpty())
            problems << QLatin1String(key) + QStringLiteral(": ") + problem;
    };
    add("id", CheckId(row.Id, row.Extended));
    add("dlc", CheckDlc(row.Dlc));
    QByteArray bytes;
    if (row.Data.size() > 8)
        add("data", QStringLiteral("at most 8 bytes"));
    else if (row.Data.size() > row.Dlc && CheckDlc(row.Dlc).isEmpty())
        add("data", QStringLiteral("%1 bytes, more than the DLC %2").arg(row.Data.size()).arg(row.Dlc));
    add("period_ms", CheckPeriod(row.PeriodMs));
    add("count", CheckCount(row.Count));
    if (row.Counter && CheckDlc(row.Dlc).isEmpty())
        add("counter", CheckCounter(*row.Counter, row.Dlc, row.Remote));
    return problems;
}

QByteArray MessageLine(const TTransmitRow &row)
{
    TComposerFields f;
    f.IdText = row.Id;
    f.ModeText = row.Extended ? QStringLiteral("1") : QStringLiteral("0");
    f.RtrText = row.Remote ? QStringLiteral("1") : QStringLiteral("0");
    f.DlcText = QString::number(row.Dlc);
    for (int k = 0; k < 8 && k < row.Data.size(); ++k)
        f.Data[k] = uint8_t(row.Data[k]);
    return ComposeMessageLine(f).toLatin1();
}

int WireBytes(const QByteArray &messageLine, bool withChecksum)
{
    return int(messageLine.size()) + (withChecksum ? 2 : 0) + 1;
}

uint64_t CounterValue(const QByteArray &data, const TTransmitCounter &c)
{
    uint64_t v = 0;
    for (int i = 0; i < c.Length; ++i) {
        const int bit = c.StartBit + i;
        const int byte = bit / 8;
        if (byte < data.size() && (uint8_t(data[byte]) >> (bit % 8)) & 1)
            v |= uint64_t(1) << i;
    }
    return v;
}

void SetCounterValue(QByteArray &data, const TTransmitCounter &c, uint64_t value)
{
    const int lastByte = (c.StartBit + c.Length - 1) / 8;
    if (data.size() <= lastByte)
        data.append(lastByte + 1 - data.size(), '\0');
    for (int i = 0; i < c.Length; ++i) {
        const int bit = c.StartBit + i;
        const uint8_t mask = uint8_t(1u << (bit % 8));
        uint8_t b = uint8_t(data[bit / 8]);
        b = (value >> i) & 1 ? uint8_t(b | mask) : uint8_t(b & ~mask);
        data[bit / 8] = char(b);
    }
}

void AdvanceCounter(QByteArray &data, const TTransmitCounter &c)
{
    // Unsigned arithmetic wraps modulo 2^64; the mask then wraps to the field.
    const uint64_t mask = c.Length >= 64 ? ~uint64_t(0) : (uint64_t(1) << c.Length) - 1;
    SetCounterValue(data, c, (CounterValue(data, c) + uint64_t(c.Step)) & mask);
}

double LoadBytesPerSecond(const QList<TTransmitRow> &rows, bool withChecksum)
{
    double load = 0;
    for (const TTransmitRow &row : rows) {
        if (!row.Enabled || row.PeriodMs <= 0 || !CheckRow(row).isEmpty())
            continue;
        load += WireBytes(MessageLine(row), withChecksum) * 1000.0 / row.PeriodMs;
    }
    return load;
}

double LineCapacityBytesPerSecond(int32_t baud)
{
    return baud / 10.0;
}

QString LoadText(double load, double capacity)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return QStringLiteral("Load: %1 of %2 bytes/s")
        .arg(english.toString(qint64(std::llround(load))), english.toString(qint64(std::llround(capacity))));
}

QString DataText(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex().toUpper());
}

} // namespace TransmitRows
