// The text formats: candump -l, Vector ASC, PEAK TRC and CSV (ours and python-can's).

#include "logs/ByteSource.h"
#include "logs/LogFormats.h"

#include "common/HexDigit.h"

#include <QDateTime>
#include <QTimeZone>

#include <array>
#include <cmath>

namespace {

constexpr int64_t UsPerDay = 86400LL * 1000000;

// Digit values of every byte for bases up to 16; 0xFF for a byte that is no digit.
constexpr std::array<uint8_t, 256> digitValues = [] {
    std::array<uint8_t, 256> t {};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = HexDigitValue(char(c)) < 0 ? 0xFF : uint8_t(HexDigitValue(char(c)));
    return t;
}();

inline unsigned HexValue(char c)
{
    return digitValues[uint8_t(c)];
}

// Whitespace-separated words of a line, without allocating.
class TWords {
public:
    explicit TWords(QByteArrayView line) : m_rest(line) {}
    bool Next(QByteArrayView &word)
    {
        qsizetype i = 0;
        while (i < m_rest.size() && (m_rest[i] == ' ' || m_rest[i] == '\t'))
            ++i;
        qsizetype j = i;
        while (j < m_rest.size() && m_rest[j] != ' ' && m_rest[j] != '\t')
            ++j;
        word = m_rest.sliced(i, j - i);
        m_rest = m_rest.sliced(j);
        return !word.isEmpty();
    }
    QByteArrayView Rest() const { return m_rest.trimmed(); }
    // `count` words of two hexadecimal digits each, as most logs write data bytes; false (and
    // nothing taken) when the words are not all so, for the general parse to say why.
    bool HexBytes(int count, uint8_t *out)
    {
        const char *p = m_rest.data();
        const char *end = p + m_rest.size();
        for (int i = 0; i < count; ++i) {
            if (p == end || (*p != ' ' && *p != '\t'))
                return false;
            while (p != end && (*p == ' ' || *p == '\t'))
                ++p;
            if (end - p < 2)
                return false;
            const unsigned hi = HexValue(p[0]), lo = HexValue(p[1]);
            if (hi > 15 || lo > 15 || (end - p > 2 && p[2] != ' ' && p[2] != '\t'))
                return false;
            out[i] = uint8_t(hi << 4 | lo);
            p += 2;
        }
        m_rest = QByteArrayView(p, end - p);
        return true;
    }

private:
    QByteArrayView m_rest;
};

bool ParseUnsigned(QByteArrayView s, int base, uint64_t max, uint64_t &value)
{
    if (s.isEmpty() || s.size() > 20)
        return false;
    uint64_t v = 0;
    // 15 hexadecimal or 19 decimal digits cannot overflow: checked once at the end.
    const bool mayOverflow = s.size() > (base == 16 ? 15 : 19);
    for (char c : s) {
        const unsigned d = HexValue(c);
        if (d >= unsigned(base))
            return false;
        v = v * uint64_t(base) + d;
        if (mayOverflow && v > max)
            return false;
    }
    if (v > max)
        return false;
    value = v;
    return true;
}

// "12.345678" as a count of units where `scale` units make one of the text's (1000000 for
// seconds to microseconds, 1000 for milliseconds); digits past the unit are rounded.
bool ParseDecimal(QByteArrayView s, int64_t scale, int64_t &value)
{
    bool negative = false;
    if (s.startsWith('-')) {
        negative = true;
        s = s.sliced(1);
    }
    const qsizetype dot = s.indexOf('.');
    const QByteArrayView whole = dot < 0 ? s : s.first(dot);
    const QByteArrayView fraction = dot < 0 ? QByteArrayView() : s.sliced(dot + 1);
    uint64_t w = 0;
    if (whole.isEmpty() && fraction.isEmpty())
        return false;
    if (!whole.isEmpty() && !ParseUnsigned(whole, 10, uint64_t(INT64_MAX / scale) - 1, w))
        return false;
    int64_t f = 0;
    int64_t unit = scale;
    bool roundUp = false;
    bool past = false; // a digit beyond the unit was seen
    for (char c : fraction) {
        if (c < '0' || c > '9')
            return false;
        if (unit > 1) {
            unit /= 10;
            f += (c - '0') * unit;
        } else if (!past) {
            past = true;
            roundUp = c >= '5';
        }
    }
    value = int64_t(w) * scale + f + (roundUp ? 1 : 0);
    if (negative)
        value = -value;
    return true;
}

// Local wall-clock time to microseconds since the epoch.
int64_t LocalToEpochUs(const QDate &date, const QTime &time, int extraUs = 0)
{
    return QDateTime(date, time).toMSecsSinceEpoch() * 1000 + extraUs;
}

// A text line reader with its line count; blank lines are the caller's to skip.
class TTextReader : public TLogReader {
protected:
    using TLogReader::TLogReader;
    // One copy of each channel's name, shared by its frames.
    const QByteArray &Channel(QByteArrayView name)
    {
        if (name != QByteArrayView(m_channel))
            m_channel = name.toByteArray();
        return m_channel;
    }
    // Gives the frame the channel's one copy; no copy at all when it holds it already.
    void SetChannel(TLogFrame &f, QByteArrayView name)
    {
        const QByteArray &channel = Channel(name);
        if (f.Interface.constData() != channel.constData())
            f.Interface = channel;
    }
    QByteArray m_channel;
    bool NextLine(QByteArrayView &line)
    {
        if (!m_in.ReadLine(line)) {
            if (!m_in.Error().isEmpty())
                return FailAtLine(m_line + 1, QStringLiteral("read failed: %1").arg(m_in.Error()));
            return false;
        }
        ++m_line;
        return true;
    }
    uint64_t m_line = 0;
};

// candump -l: "(1765280000.123456) can0 123#11AB", and "#" comment lines.
class TCandumpReader : public TTextReader {
public:
    TCandumpReader(TByteSource &in, const QString &name) : TTextReader(TLogKind::Candump, in, name)
    {
        m_absolute = true;
    }

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        QByteArrayView line;
        while (NextLine(line)) {
            const QByteArrayView t = line.trimmed();
            if (t.isEmpty() || t.startsWith('#')) {
                ++m_skipped;
                continue;
            }
            QString why;
            if (!ParseCandumpLine(t, frame, why))
                return FailAtLine(m_line, why);
            // One copy of each interface name, shared by its frames.
            if (frame.Interface.constData() != m_interface.constData()) {
                if (frame.Interface == m_interface)
                    frame.Interface = m_interface;
                else
                    m_interface = frame.Interface;
            }
            return true;
        }
        return false;
    }

private:
    QByteArray m_interface;
};

const char *const monthNames[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
const char *const germanMonths[] = {nullptr, nullptr, "mär", "apr", "mai", nullptr, nullptr, nullptr, nullptr, "okt", nullptr, "dez"};

int MonthOf(QByteArrayView word)
{
    const QByteArray lower = word.toByteArray().toLower();
    for (int m = 0; m < 12; ++m)
        if (lower == monthNames[m] || (germanMonths[m] && lower == QByteArray(germanMonths[m])))
            return m + 1;
    return 0;
}

// ASC's date: "Mon Dec 10 06:14:20.123 pm 2026", with or without milliseconds or am/pm.
bool ParseAscDate(QByteArrayView text, int64_t &us)
{
    TWords words(text);
    QByteArrayView w[6];
    int n = 0;
    while (n < 6 && words.Next(w[n]))
        ++n;
    if (n < 5)
        return false;
    const int month = MonthOf(w[1]);
    uint64_t day = 0, year = 0;
    if (!month || !ParseUnsigned(w[2], 10, 31, day))
        return false;
    QByteArrayView clock = w[3];
    bool pm = false, twelve = false;
    if (n == 6) {
        const QByteArray half = w[4].toByteArray().toLower();
        if (half != "am" && half != "pm")
            return false;
        twelve = true;
        pm = half == "pm";
        if (!ParseUnsigned(w[5], 10, 9999, year))
            return false;
    } else if (!ParseUnsigned(w[4], 10, 9999, year)) {
        return false;
    }
    uint64_t h = 0, m = 0, s = 0;
    int64_t fractionUs = 0;
    const qsizetype c1 = clock.indexOf(':');
    const qsizetype c2 = clock.lastIndexOf(':');
    if (c1 <= 0 || c2 <= c1)
        return false;
    const QByteArrayView secText = clock.sliced(c2 + 1);
    int64_t secUs = 0;
    if (!ParseUnsigned(clock.first(c1), 10, 23, h) || !ParseUnsigned(clock.sliced(c1 + 1, c2 - c1 - 1), 10, 59, m)
        || !ParseDecimal(secText, 1000000, secUs) || secUs < 0 || secUs >= 61 * 1000000LL)
        return false;
    s = uint64_t(secUs / 1000000);
    fractionUs = secUs % 1000000;
    if (twelve) {
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (pm ? 12 : 0);
    }
    const QDate date(int(year), month, int(day));
    if (!date.isValid())
        return false;
    us = LocalToEpochUs(date, QTime(int(h), int(m), int(std::min<uint64_t>(s, 59))), int(fractionUs));
    return true;
}

bool IsTimeWord(QByteArrayView w)
{
    return !w.isEmpty() && w[0] >= '0' && w[0] <= '9' && w.contains('.');
}

// Vector ASC.
class TAscReader : public TTextReader {
public:
    TAscReader(TByteSource &in, const QString &name) : TTextReader(TLogKind::Asc, in, name) {}

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        QByteArrayView line;
        while (NextLine(line)) {
            const QByteArrayView t = line.trimmed();
            if (t.isEmpty() || t.startsWith("//")) {
                ++m_skipped;
                continue;
            }
            TWords words(t);
            QByteArrayView first;
            words.Next(first);
            if (!IsTimeWord(first)) {
                if (!Header(first, t))
                    return false;
                continue;
            }
            int64_t timeUs = 0;
            if (!ParseDecimal(first, 1000000, timeUs) || timeUs < 0)
                return FailAtLine(m_line, QStringLiteral("expected a time in seconds, found \"%1\"").arg(Latin(first)));
            if (m_relative) {
                m_sumUs += timeUs;
                timeUs = m_sumUs;
            }
            // Parsed into the caller's frame: its data buffer is reused from frame to frame.
            TLogFrame &f = frame;
            f.Extended = f.Remote = f.Fd = f.Error = false;
            f.Id = 0;
            f.Dlc = 0;
            f.Data.resize(0);
            f.TimeUs = m_startUs + timeUs;
            const int result = Event(words, f);
            if (result < 0)
                return false;
            if (result == 0) {
                ++m_skipped;
                continue;
            }
            return true;
        }
        return false;
    }

private:
    static QString Latin(QByteArrayView s) { return QString::fromLatin1(s.first(std::min<qsizetype>(s.size(), 60))); }

    // The lines before and around the events; false after a problem.
    bool Header(QByteArrayView first, QByteArrayView line)
    {
        const QByteArray word = first.toByteArray().toLower();
        if (word == "date") {
            int64_t us = 0;
            if (!ParseAscDate(line.sliced(4), us))
                return FailAtLine(m_line, QStringLiteral("expected a date \"date Mon Dec 10 06:14:20.123 pm 2026\""));
            m_startUs = us;
            m_absolute = true;
        } else if (word == "base") {
            TWords w(line);
            QByteArrayView x;
            w.Next(x);
            w.Next(x);
            const QByteArray base = x.toByteArray().toLower();
            if (base != "hex" && base != "dec")
                return FailAtLine(m_line, QStringLiteral("expected \"base hex\" or \"base dec\""));
            m_base = base == "hex" ? 16 : 10;
            if (w.Next(x) && x.compare("timestamps", Qt::CaseInsensitive) == 0 && w.Next(x))
                m_relative = x.compare("relative", Qt::CaseInsensitive) == 0;
        } else if (word == "begin") {
            // "Begin Triggerblock Mon Dec 10 ...": the start of the measurement, if dated.
            TWords w(line);
            QByteArrayView x;
            w.Next(x);
            w.Next(x);
            int64_t us = 0;
            if (!w.Rest().isEmpty() && ParseAscDate(w.Rest(), us)) {
                m_startUs = us;
                m_absolute = true;
            }
            m_sumUs = 0;
        }
        ++m_skipped; // "end triggerblock", "internal events logged" and the like say nothing of frames
        return true;
    }

    bool ParseId(QByteArrayView w, TLogFrame &f)
    {
        f.Extended = w.endsWith('x') || w.endsWith('X');
        if (f.Extended)
            w.chop(1);
        uint64_t id = 0;
        if (!ParseUnsigned(w, m_base, f.Extended ? 0x1FFFFFFF : 0x7FF, id))
            return false;
        f.Id = uint32_t(id);
        return true;
    }

    // `count` data bytes in the file's base.
    int ParseData(TWords &words, int count, TLogFrame &f)
    {
        f.Data.resize(count);
        if (m_base == 16 && words.HexBytes(count, reinterpret_cast<uint8_t *>(f.Data.data())))
            return 1;
        for (int i = 0; i < count; ++i) {
            QByteArrayView w;
            uint64_t b = 0;
            if (!words.Next(w) || !ParseUnsigned(w, m_base, 255, b))
                return FailAtLine(m_line, QStringLiteral("expected %1 data bytes").arg(count)) ? 1 : -1;
            f.Data[i] = char(b);
        }
        return 1;
    }

    // After the time: 1 for a frame, 0 for an event that is none, -1 after a problem.
    int Event(TWords &words, TLogFrame &f)
    {
        QByteArrayView channel;
        if (!words.Next(channel))
            return 0;
        if (channel.size() == 5 && channel.compare("CANFD", Qt::CaseInsensitive) == 0)
            return FdEvent(words, f);
        uint64_t ch = 0;
        if (!ParseUnsigned(channel, 10, 65535, ch))
            return 0; // "Start of measurement", statistics and other events
        SetChannel(f, channel);
        QByteArrayView id;
        if (!words.Next(id))
            return 0;
        if (id.size() == 10 && id.compare("ErrorFrame", Qt::CaseInsensitive) == 0) {
            f.Error = true;
            return 1;
        }
        QByteArrayView dir, type;
        if (!words.Next(dir) || dir.size() != 2 || (dir[0] != 'R' && dir[0] != 'T') || dir[1] != 'x')
            return 0; // chip states, J1939 and other events
        if (!ParseId(id, f))
            return FailAtLine(m_line, QStringLiteral("expected an identifier, found \"%1\"").arg(Latin(id))) ? 1 : -1;
        if (!words.Next(type))
            return FailAtLine(m_line, QStringLiteral("expected \"d\" or \"r\" after the direction")) ? 1 : -1;
        QByteArrayView dlcWord;
        uint64_t dlc = 0;
        const char typeChar = type.size() == 1 ? type[0] : '\0';
        if (typeChar == 'r' || typeChar == 'R') {
            f.Remote = true;
            if (words.Next(dlcWord) && ParseUnsigned(dlcWord, 16, 15, dlc))
                f.Dlc = uint8_t(dlc);
            return 1;
        }
        if (typeChar != 'd' && typeChar != 'D')
            return FailAtLine(m_line, QStringLiteral("expected \"d\" or \"r\" after the direction, found \"%1\"")
                                          .arg(Latin(type)))
                       ? 1
                       : -1;
        if (!words.Next(dlcWord) || !ParseUnsigned(dlcWord, 16, 15, dlc))
            return FailAtLine(m_line, QStringLiteral("expected a length code 0 to F")) ? 1 : -1;
        f.Dlc = uint8_t(dlc);
        return ParseData(words, std::min<int>(int(dlc), 8), f);
    }

    // "CANFD 1 Rx 123 [name] BRS ESI DLC LENGTH DATA..." or "CANFD 1 Rx ErrorFrame ..."
    int FdEvent(TWords &words, TLogFrame &f)
    {
        QByteArrayView channel, dir, id, x;
        uint64_t ch = 0;
        if (!words.Next(channel) || !ParseUnsigned(channel, 10, 65535, ch) || !words.Next(dir) || !words.Next(id))
            return FailAtLine(m_line, QStringLiteral("expected \"CANFD channel direction identifier ...\"")) ? 1 : -1;
        SetChannel(f, channel);
        f.Fd = true;
        if (id.compare("ErrorFrame", Qt::CaseInsensitive) == 0) {
            f.Error = true;
            return 1;
        }
        if (!ParseId(id, f))
            return FailAtLine(m_line, QStringLiteral("expected an identifier, found \"%1\"").arg(Latin(id))) ? 1 : -1;
        // An optional symbolic name stands before the BRS digit.
        if (!words.Next(x))
            return FailAtLine(m_line, QStringLiteral("expected BRS, ESI, DLC and length")) ? 1 : -1;
        if (!(x == "0" || x == "1") && !words.Next(x))
            return FailAtLine(m_line, QStringLiteral("expected BRS, ESI, DLC and length")) ? 1 : -1;
        QByteArrayView esi, dlcWord, lengthWord;
        uint64_t dlc = 0, length = 0;
        if (!words.Next(esi) || !words.Next(dlcWord) || !words.Next(lengthWord) || !ParseUnsigned(dlcWord, 16, 15, dlc)
            || !ParseUnsigned(lengthWord, 10, 64, length))
            return FailAtLine(m_line, QStringLiteral("expected BRS, ESI, DLC and length")) ? 1 : -1;
        if (length == 0) {
            f.Remote = true;
            f.Dlc = uint8_t(dlc);
            return 1;
        }
        f.Dlc = uint8_t(length);
        return ParseData(words, int(length), f);
    }

    int m_base = 16;
    bool m_relative = false;
    int64_t m_startUs = 0;
    int64_t m_sumUs = 0;
};

// PEAK TRC 1.x and 2.x.
class TTrcReader : public TTextReader {
public:
    TTrcReader(TByteSource &in, const QString &name) : TTextReader(TLogKind::Trc, in, name) {}

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        QByteArrayView line;
        while (NextLine(line)) {
            const QByteArrayView t = line.trimmed();
            if (t.isEmpty()) {
                ++m_skipped;
                continue;
            }
            if (t.startsWith(';')) {
                if (!Header(t))
                    return false;
                ++m_skipped;
                continue;
            }
            TLogFrame f;
            const int result = m_version >= 20 ? Line2(t, f) : Line1(t, f);
            if (result < 0)
                return false;
            if (result == 0) {
                ++m_skipped;
                continue;
            }
            if (f.Interface.isEmpty())
                f.Interface = "1";
            frame = std::move(f);
            return true;
        }
        return false;
    }

private:
    bool Header(QByteArrayView t)
    {
        if (t.startsWith(";$FILEVERSION=")) {
            const QByteArrayView v = t.sliced(14).trimmed();
            if (v == "1.1" || v == "1.0")
                m_version = 11;
            else if (v == "2.0")
                m_version = 20;
            else if (v == "2.1")
                m_version = 21;
            else
                return FailAtLine(m_line, QStringLiteral("TRC version %1 is not read (1.1, 2.0, 2.1 are)")
                                              .arg(QString::fromLatin1(v)));
            if (m_columns.isEmpty())
                m_columns = m_version == 20 ? "NOTIdlD" : "NOTBIdRLD";
        } else if (t.startsWith(";$STARTTIME=")) {
            // Days since 1899-12-30, local time, the fraction a part of a day.
            int64_t dayUs = 0;
            if (!ParseDecimal(t.sliced(12).trimmed(), UsPerDay, dayUs))
                return FailAtLine(m_line, QStringLiteral("expected a start time in days"));
            const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
            const int64_t days = dayUs / UsPerDay;
            const QDateTime day = base.addDays(days);
            m_startUs = day.toMSecsSinceEpoch() * 1000 + dayUs % UsPerDay;
            m_absolute = true;
        } else if (t.startsWith(";$COLUMNS=")) {
            m_columns.clear();
            for (char c : t.sliced(10))
                if (c != ',' && c != ' ')
                    m_columns += c;
        }
        return true;
    }

    bool Offset(QByteArrayView w, TLogFrame &f)
    {
        int64_t us = 0;
        if (!ParseDecimal(w, 1000, us))
            return FailAtLine(m_line, QStringLiteral("expected a time offset in milliseconds, found \"%1\"")
                                          .arg(QString::fromLatin1(w)));
        f.TimeUs = m_startUs + us;
        return true;
    }

    bool Id(QByteArrayView w, TLogFrame &f)
    {
        uint64_t id = 0;
        if (!ParseUnsigned(w, 16, 0xFFFFFFFF, id) || (w.size() <= 4 && id > 0x7FF) || id > 0x1FFFFFFF)
            return FailAtLine(m_line, QStringLiteral("expected an identifier, found \"%1\"").arg(QString::fromLatin1(w)));
        f.Id = uint32_t(id);
        f.Extended = w.size() > 4;
        return true;
    }

    int Data(TWords &words, int count, TLogFrame &f)
    {
        f.Data.resize(count);
        for (int i = 0; i < count; ++i) {
            QByteArrayView w;
            uint64_t b = 0;
            if (!words.Next(w) || !ParseUnsigned(w, 16, 255, b))
                return FailAtLine(m_line, QStringLiteral("expected %1 data bytes").arg(count)) ? 1 : -1;
            f.Data[i] = char(b);
        }
        return 1;
    }

    // "1)  1059.9  Rx  0300  8  00 11 ..." (1.1) or "1)  1059  0300  8  00 ..." (1.0)
    int Line1(QByteArrayView t, TLogFrame &f)
    {
        TWords words(t);
        QByteArrayView number, offset, type, id, dlcWord;
        if (!words.Next(number) || !number.endsWith(')') || !words.Next(offset) || !words.Next(type))
            return FailAtLine(m_line, QStringLiteral("expected \"number) offset type identifier length data\"")) ? 1 : -1;
        if (!Offset(offset, f))
            return -1;
        f.Interface = "1";
        if (type == "Rx" || type == "Tx") {
            words.Next(id);
        } else if (type == "Error") {
            f.Error = true;
            return 1;
        } else if (m_version == 0 && HexDigitValue(type.isEmpty() ? 'x' : type[0]) >= 0) {
            id = type; // 1.0 has no direction column
        } else {
            return 0; // warnings, bus states
        }
        if (!Id(id, f))
            return -1;
        uint64_t dlc = 0;
        if (!words.Next(dlcWord) || !ParseUnsigned(dlcWord, 10, 8, dlc))
            return FailAtLine(m_line, QStringLiteral("expected a length 0 to 8")) ? 1 : -1;
        f.Dlc = uint8_t(dlc);
        if (words.Rest().startsWith("RTR")) {
            f.Remote = true;
            return 1;
        }
        return Data(words, int(dlc), f);
    }

    // Columns by ";$COLUMNS": N number, O offset, T type, B bus, I id, d direction, R reserved,
    // L length code, l length in bytes, D data.
    int Line2(QByteArrayView t, TLogFrame &f)
    {
        TWords words(t);
        QByteArrayView type;
        int dataBytes = -1;
        int dlcCode = -1;
        for (char c : m_columns) {
            QByteArrayView w;
            if (c == 'D')
                break;
            if (!words.Next(w))
                return FailAtLine(m_line, QStringLiteral("expected the columns %1").arg(QString::fromLatin1(m_columns))) ? 1 : -1;
            uint64_t v = 0;
            switch (c) {
            case 'O':
                if (!Offset(w, f))
                    return -1;
                break;
            case 'T':
                type = w;
                if (type != "DT" && type != "RR" && type != "FD" && type != "FB" && type != "FE" && type != "BI"
                    && type != "ER")
                    return 0; // bus states, events, warnings
                if (type == "ER") {
                    f.Error = true;
                    return 1;
                }
                break;
            case 'B': f.Interface = Channel(w); break;
            case 'I':
                if (!Id(w, f))
                    return -1;
                break;
            case 'L':
                if (!ParseUnsigned(w, 16, 15, v))
                    return FailAtLine(m_line, QStringLiteral("expected a length code, found \"%1\"").arg(QString::fromLatin1(w))) ? 1 : -1;
                dlcCode = int(v);
                break;
            case 'l':
                if (!ParseUnsigned(w, 10, 64, v))
                    return FailAtLine(m_line, QStringLiteral("expected a length, found \"%1\"").arg(QString::fromLatin1(w))) ? 1 : -1;
                dataBytes = int(v);
                break;
            default: break;
            }
        }
        f.Fd = type != "DT" && type != "RR";
        if (dataBytes < 0)
            dataBytes = dlcCode < 0 ? 0 : (f.Fd ? FdCodeLength(dlcCode) : std::min(dlcCode, 8));
        f.Dlc = uint8_t(f.Fd ? dataBytes : (dlcCode >= 0 ? dlcCode : dataBytes));
        if (type == "RR") {
            f.Remote = true;
            return 1;
        }
        return Data(words, dataBytes, f);
    }

    int m_version = 0; // 11, 20, 21; 0 until a header says
    QByteArray m_columns;
    int64_t m_startUs = 0;
};

// "2026-12-09T15:45:12.123456Z"
bool ParseIsoUtc(QByteArrayView s, int64_t &us)
{
    if (s.size() < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' || !s.endsWith('Z'))
        return false;
    uint64_t y = 0, mo = 0, d = 0, h = 0, mi = 0;
    int64_t secUs = 0;
    if (!ParseUnsigned(s.first(4), 10, 9999, y) || !ParseUnsigned(s.sliced(5, 2), 10, 12, mo)
        || !ParseUnsigned(s.sliced(8, 2), 10, 31, d) || !ParseUnsigned(s.sliced(11, 2), 10, 23, h)
        || !ParseUnsigned(s.sliced(14, 2), 10, 59, mi) || !ParseDecimal(s.sliced(17, s.size() - 18), 1000000, secUs)
        || secUs < 0 || secUs >= 61000000)
        return false;
    const QDate date{int(y), int(mo), int(d)};
    if (!date.isValid())
        return false;
    us = QDateTime(date, QTime(int(h), int(mi)), QTimeZone::utc()).toMSecsSinceEpoch() * 1000 + secUs;
    return true;
}

// The Frame Monitor's CSV ("time,kind,id,dlc,data,checksum,raw") and python-can's
// ("timestamp,arbitration_id,extended,remote,error,dlc,data").
class TCsvReader : public TTextReader {
public:
    TCsvReader(TByteSource &in, const QString &name) : TTextReader(TLogKind::Csv, in, name) { m_absolute = true; }

protected:
    bool ReadFrame(TLogFrame &frame) override
    {
        QByteArrayView line;
        while (NextLine(line)) {
            if (line.trimmed().isEmpty()) {
                ++m_skipped;
                continue;
            }
            if (m_layout == 0) {
                if (line.startsWith("time,kind,id,dlc,data"))
                    m_layout = 1;
                else if (line.startsWith("timestamp,arbitration_id,extended,remote,error,dlc,data"))
                    m_layout = 2;
                else
                    return FailAtLine(m_line, QStringLiteral("expected the header \"time,kind,id,dlc,data,...\""));
                ++m_skipped;
                continue;
            }
            std::array<QByteArrayView, 7> field;
            QByteArrayView rest = line;
            for (int i = 0; i < 7; ++i) {
                const qsizetype comma = rest.indexOf(',');
                field[i] = comma < 0 ? rest : rest.first(comma);
                rest = comma < 0 ? QByteArrayView() : rest.sliced(comma + 1);
            }
            TLogFrame f;
            const int result = m_layout == 1 ? Ours(field, f) : PythonCan(field, f);
            if (result < 0)
                return false;
            if (result == 0) {
                ++m_skipped;
                continue;
            }
            frame = std::move(f);
            return true;
        }
        return false;
    }

private:
    int Bad(const QString &what) { return FailAtLine(m_line, what) ? 1 : -1; }

    int Ours(const std::array<QByteArrayView, 7> &field, TLogFrame &f)
    {
        const QByteArrayView kind = field[1];
        if (kind != "t" && kind != "T" && kind != "e" && kind != "E")
            return 0; // module replies and other lines
        if (!ParseIsoUtc(field[0], f.TimeUs))
            return Bad(QStringLiteral("expected a time \"2026-12-09T15:45:12.123456Z\""));
        f.Interface = "k3316";
        f.Extended = kind == "e" || kind == "E";
        f.Remote = kind == "T" || kind == "E";
        uint64_t id = 0, dlc = 0;
        if (!ParseUnsigned(field[2], 16, f.Extended ? 0x1FFFFFFF : 0x7FF, id))
            return Bad(QStringLiteral("expected an identifier, found \"%1\"").arg(QString::fromLatin1(field[2])));
        if (!ParseUnsigned(field[3], 10, 8, dlc))
            return Bad(QStringLiteral("expected a length 0 to 8"));
        f.Id = uint32_t(id);
        f.Dlc = uint8_t(dlc);
        if (f.Remote)
            return 1;
        const QByteArrayView data = field[4];
        if (data.size() != qsizetype(2 * dlc))
            return Bad(QStringLiteral("expected %1 data bytes").arg(dlc));
        f.Data.resize(qsizetype(dlc));
        for (qsizetype i = 0; i < qsizetype(dlc); ++i) {
            const int hi = HexDigitValue(data[2 * i]), lo = HexDigitValue(data[2 * i + 1]);
            if (hi < 0 || lo < 0)
                return Bad(QStringLiteral("expected data as hexadecimal digits"));
            f.Data[i] = char(hi << 4 | lo);
        }
        return 1;
    }

    int PythonCan(const std::array<QByteArrayView, 7> &field, TLogFrame &f)
    {
        int64_t us = 0;
        if (!ParseDecimal(field[0], 1000000, us))
            return Bad(QStringLiteral("expected a time in seconds"));
        f.TimeUs = us;
        QByteArrayView idText = field[1];
        if (idText.startsWith("0x") || idText.startsWith("0X"))
            idText = idText.sliced(2);
        uint64_t id = 0, dlc = 0;
        f.Extended = field[2] == "1";
        f.Remote = field[3] == "1";
        f.Error = field[4] == "1";
        if (!ParseUnsigned(idText, 16, 0x1FFFFFFF, id) || (!f.Extended && id > 0x7FF))
            return Bad(QStringLiteral("expected an identifier, found \"%1\"").arg(QString::fromLatin1(field[1])));
        if (!ParseUnsigned(field[5], 10, 64, dlc))
            return Bad(QStringLiteral("expected a length"));
        f.Id = uint32_t(id);
        f.Interface = "0";
        f.Data = QByteArray::fromBase64(field[6].toByteArray());
        f.Fd = f.Data.size() > 8;
        f.Dlc = uint8_t(dlc);
        if (f.Remote)
            f.Data.clear();
        return 1;
    }

    int m_layout = 0; // 1 ours, 2 python-can's
};

} // namespace

std::unique_ptr<TLogReader> MakeCandumpReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TCandumpReader>(in, name);
}
std::unique_ptr<TLogReader> MakeAscReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TAscReader>(in, name);
}
std::unique_ptr<TLogReader> MakeTrcReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TTrcReader>(in, name);
}
std::unique_ptr<TLogReader> MakeCsvReader(TByteSource &in, const QString &name)
{
    return std::make_unique<TCsvReader>(in, name);
}
