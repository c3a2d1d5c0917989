#include "monitor/CandumpLog.h"

#include "common/HexDigit.h"
#include "common/InputFile.h"
#include "protocol/CanIdentifier.h"

#include <cstring>

namespace {

constexpr uint32_t ErrFlag = 0x20000000u;
constexpr uint32_t RtrFlag = 0x40000000u;
constexpr uint32_t EffFlag = 0x80000000u;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView Trimmed(QByteArrayView s)
{
    while (!s.isEmpty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n'))
        s = s.sliced(1);
    while (!s.isEmpty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.chop(1);
    return s;
}

// A frame's fields as parsed, before they go into the caller's frame: a bad line leaves that as
// it was, and a good one allocates nothing when the frame's buffers are big enough.
struct TParsed {
    int64_t TimeUs = 0;
    uint32_t Id = 0;
    bool Extended = false;
    bool Remote = false;
    bool Fd = false;
    bool Error = false;
    uint8_t Dlc = 0;
    int DataSize = 0;
    char Data[64];
};

// Hex byte pairs, optionally separated by dots (as can-utils' parser allows); at most `max` (64).
bool ParseData(QByteArrayView s, int max, TParsed &f, QString &error)
{
    f.DataSize = 0;
    qsizetype i = 0;
    while (i < s.size()) {
        if (s[i] == '.') {
            ++i;
            continue;
        }
        const int hi = HexDigitValue(s[i]);
        const int lo = i + 1 < s.size() ? HexDigitValue(s[i + 1]) : -1;
        if (hi < 0 || lo < 0) {
            error = QStringLiteral("expected data as pairs of hexadecimal digits, found \"%1\"")
                        .arg(QString::fromLatin1(s.sliced(i)));
            return false;
        }
        if (f.DataSize >= max || f.DataSize >= int(sizeof f.Data)) {
            error = QStringLiteral("expected at most %1 data bytes").arg(max);
            return false;
        }
        f.Data[f.DataSize++] = char(hi << 4 | lo);
        i += 2;
    }
    return true;
}

bool ValidFdLength(qsizetype n)
{
    return n <= 8 || n == 12 || n == 16 || n == 20 || n == 24 || n == 32 || n == 48 || n == 64;
}

bool ParseStamp(QByteArrayView s, int64_t &us)
{
    // "seconds.fraction": the fraction is read as microseconds (padded or cut to six digits).
    const qsizetype dot = s.indexOf('.');
    if (dot <= 0 || dot == s.size() - 1 || dot > 12)
        return false;
    int64_t seconds = 0;
    for (qsizetype i = 0; i < dot; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        seconds = seconds * 10 + (s[i] - '0');
    }
    int64_t micros = 0;
    int digits = 0;
    for (qsizetype i = dot + 1; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        if (digits < 6) {
            micros = micros * 10 + (s[i] - '0');
            ++digits;
        }
    }
    for (; digits < 6; ++digits)
        micros *= 10;
    us = seconds * 1000000 + micros;
    return true;
}

bool ParseFrame(QByteArrayView s, TParsed &f, QString &error)
{
    const qsizetype hash = s.indexOf('#');
    if (hash != 3 && hash != 8) {
        error = QStringLiteral("expected a frame \"ID#DATA\" with 3 or 8 identifier digits, found \"%1\"")
                    .arg(QString::fromLatin1(s));
        return false;
    }
    uint32_t id = 0;
    for (qsizetype i = 0; i < hash; ++i) {
        const int v = HexDigitValue(s[i]);
        if (v < 0) {
            error = QStringLiteral("expected a hexadecimal identifier, found \"%1\"")
                        .arg(QString::fromLatin1(s.first(hash)));
            return false;
        }
        id = id << 4 | uint32_t(v);
    }
    if (hash == 8) {
        if (id & (EffFlag | RtrFlag)) {
            error = QStringLiteral("expected an identifier below 20000000 or an error frame, found \"%1\"")
                        .arg(QString::fromLatin1(s.first(hash)));
            return false;
        }
        f.Error = id & ErrFlag;
        f.Extended = !f.Error;
        id &= 0x1FFFFFFFu;
    } else if (!CanId::Fits(id, false)) {
        error = QStringLiteral("expected a standard identifier up to 7FF, found \"%1\"").arg(QString::fromLatin1(s.first(hash)));
        return false;
    }
    f.Id = id;
    QByteArrayView rest = s.sliced(hash + 1);
    if (rest.startsWith('#')) {
        // CAN FD "##<flags><data>", and CAN XL "###...": neither goes through the module.
        f.Fd = true;
        rest = rest.sliced(1);
        if (rest.startsWith('#'))
            return true;
        if (rest.isEmpty() || HexDigitValue(rest[0]) < 0) {
            error = QStringLiteral("expected a flags digit after \"##\"");
            return false;
        }
        if (!ParseData(rest.sliced(1), 64, f, error))
            return false;
        if (!ValidFdLength(f.DataSize)) {
            error = QStringLiteral("expected a CAN FD length (0-8, 12, 16, 20, 24, 32, 48 or 64 bytes), found %1")
                        .arg(f.DataSize);
            return false;
        }
        f.Dlc = uint8_t(f.DataSize);
        return true;
    }
    // A DLC code above 8 for 8 bytes ("_9" to "_F") says nothing the module can send.
    const qsizetype underscore = rest.indexOf('_');
    if (underscore >= 0) {
        const QByteArrayView code = rest.sliced(underscore + 1);
        if (code.size() != 1 || HexDigitValue(code[0]) < 9) {
            error = QStringLiteral("expected a length code 9 to F after \"_\"");
            return false;
        }
        rest = rest.first(underscore);
    }
    if (rest.startsWith('R') || rest.startsWith('r')) {
        f.Remote = true;
        rest = rest.sliced(1);
        if (rest.size() > 1 || (rest.size() == 1 && (rest[0] < '0' || rest[0] > '8'))) {
            error = QStringLiteral("expected a length 0 to 8 after \"R\", found \"%1\"").arg(QString::fromLatin1(rest));
            return false;
        }
        f.Dlc = rest.isEmpty() ? 0 : uint8_t(rest[0] - '0');
        return true;
    }
    if (!ParseData(rest, 8, f, error))
        return false;
    f.Dlc = uint8_t(f.DataSize);
    return true;
}

} // namespace

bool ParseCandumpLine(QByteArrayView line, TLogFrame &frame, QString &error)
{
    QByteArrayView s = Trimmed(line);
    TParsed f;
    if (!s.startsWith('(')) {
        error = QStringLiteral("expected \"(seconds.microseconds)\" at the start");
        return false;
    }
    const qsizetype close = s.indexOf(')');
    if (close < 0 || !ParseStamp(s.sliced(1, close - 1), f.TimeUs)) {
        error = QStringLiteral("expected a time stamp \"(seconds.microseconds)\"");
        return false;
    }
    s = s.sliced(close + 1);
    if (s.isEmpty() || !IsBlank(s[0])) {
        error = QStringLiteral("expected a blank after the time stamp");
        return false;
    }
    s = Trimmed(s);
    qsizetype blank = 0;
    while (blank < s.size() && !IsBlank(s[blank]))
        ++blank;
    if (blank == 0 || blank == s.size()) {
        error = QStringLiteral("expected an interface name and a frame after the time stamp");
        return false;
    }
    const QByteArrayView interfaceName = s.first(blank);
    s = Trimmed(s.sliced(blank));
    qsizetype end = 0;
    while (end < s.size() && !IsBlank(s[end]))
        ++end;
    const QByteArrayView tail = Trimmed(s.sliced(end));
    if (!tail.isEmpty() && tail != "R" && tail != "T") {
        error = QStringLiteral("expected nothing after the frame but a direction \"R\" or \"T\", found \"%1\"")
                    .arg(QString::fromLatin1(tail));
        return false;
    }
    if (!ParseFrame(s.first(end), f, error))
        return false;
    frame.TimeUs = f.TimeUs;
    frame.Id = f.Id;
    frame.Extended = f.Extended;
    frame.Remote = f.Remote;
    frame.Fd = f.Fd;
    frame.Error = f.Error;
    frame.Dlc = f.Dlc;
    // The buffers of the frame before are reused (a copy shared elsewhere is left alone).
    if (interfaceName != QByteArrayView(frame.Interface))
        frame.Interface = interfaceName.toByteArray();
    frame.Data.resize(f.DataSize);
    if (f.DataSize > 0)
        std::memcpy(frame.Data.data(), f.Data, size_t(f.DataSize));
    return true;
}

bool ReadCandumpFile(const QString &path, QVector<TLogFrame> &frames, QString &error, const TInputCancel *cancel)
{
    TInputStream input;
    if (!input.Open(path, cancel)) {
        error = input.Problem();
        return false;
    }
    if (input.Size() > CandumpFileLimit) {
        error = QStringLiteral("%1: larger than %2 MiB, not read").arg(path).arg(CandumpFileLimit >> 20);
        return false;
    }
    QVector<TLogFrame> out;
    QByteArray line;
    while (input.ReadLine(line)) {
        if (input.Position() > CandumpFileLimit) {
            error = QStringLiteral("%1: larger than %2 MiB, not read").arg(path).arg(CandumpFileLimit >> 20);
            return false;
        }
        if (Trimmed(line).isEmpty())
            continue;
        TLogFrame f;
        QString why;
        if (!ParseCandumpLine(line, f, why)) {
            error = QStringLiteral("%1:%2: %3").arg(path).arg(input.LineNumber()).arg(why);
            return false;
        }
        out.append(std::move(f));
    }
    if (!input.Problem().isEmpty()) {
        error = input.Problem();
        return false;
    }
    frames = std::move(out);
    return true;
}
