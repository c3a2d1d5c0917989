#include "dbc/FrameJson.h"

#include "monitor/FrameText.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Written into a buffer sized beforehand: a decode of a million frames writes its records here.
char *Put(char *p, const char *text, size_t size)
{
    std::memcpy(p, text, size);
    return p + size;
}
template <size_t N>
char *Put(char *p, const char (&text)[N])
{
    return Put(p, text, N - 1);
}

// Identifiers no message has that a writer remembers, at most.
constexpr qsizetype UnknownIdsKept = 65536;

// Room for any number to_chars writes: "-9223372036854775808", "-2.2250738585072014e-308".
constexpr qsizetype NumberRoom = 32;

// A value of at most 15 significant digits and 4 decimals (most signals': 0.5, -40, 12.25) as
// std::to_chars writes it, without its general search: such a decimal is the only one of that
// few digits that reads back as the value, so its digits are the shortest, and the form is the
// shorter of fixed and scientific (fixed on a tie). False for any other value.
bool PutShortDecimal(char *&out, double value)
{
    static const double scale[] = {1, 10, 100, 1000, 10000};
    if (value == 0) {
        out = std::signbit(value) ? Put(out, "-0") : Put(out, "0");
        return true;
    }
    for (int k = 0; k < 5; ++k) {
        const double t = value * scale[k];
        if (!(std::fabs(t) < 1e15))
            return false;
        if (std::nearbyint(t) != t || t / scale[k] != value)
            continue;
        const bool negative = t < 0;
        uint64_t m = uint64_t(negative ? -t : t);
        int decimals = k; // value = m / 10^decimals
        while (m % 10 == 0) {
            m /= 10;
            --decimals;
        }
        char digits[20];
        const int n = int(std::to_chars(digits, digits + sizeof digits, m).ptr - digits);
        const int exponent = n - 1 - decimals; // of the first digit
        const int scientific = n + (n > 1) + 4;  // d.ddde+XX: |exponent| < 100 here
        const int fixed = exponent >= 0 ? exponent + 1 + (decimals > 0 ? decimals + 1 : 0) : 1 - exponent + n;
        char *p = out;
        if (negative)
            *p++ = '-';
        if (fixed <= scientific) {
            if (exponent < 0) {
                p = Put(p, "0.");
                for (int i = 0; i < -exponent - 1; ++i)
                    *p++ = '0';
                p = Put(p, digits, size_t(n));
            } else if (decimals <= 0) {
                p = Put(p, digits, size_t(n));
                for (int i = 0; i < -decimals; ++i)
                    *p++ = '0';
            } else {
                p = Put(p, digits, size_t(n - decimals));
                *p++ = '.';
                p = Put(p, digits + n - decimals, size_t(decimals));
            }
        } else {
            *p++ = digits[0];
            if (n > 1) {
                *p++ = '.';
                p = Put(p, digits + 1, size_t(n - 1));
            }
            *p++ = 'e';
            *p++ = exponent < 0 ? '-' : '+';
            const int e = exponent < 0 ? -exponent : exponent;
            *p++ = char('0' + e / 10);
            *p++ = char('0' + e % 10);
        }
        out = p;
        return true;
    }
    return false;
}

char *PutNumber(char *p, double value)
{
    if (!std::isfinite(value))
        return Put(p, "null");
    const char *begin = p;
    if (!PutShortDecimal(p, value))
        p = std::to_chars(p, p + NumberRoom, value).ptr;
    for (const char *c = begin; c != p; ++c)
        if (*c == '.' || *c == 'e')
            return p;
    return Put(p, ".0");
}

char *PutEpochSeconds(char *p, int64_t timeUs)
{
    int64_t seconds = timeUs / 1000000;
    int64_t micros = timeUs % 1000000;
    if (micros < 0) {
        micros += 1000000;
        --seconds;
    }
    char stamp[64] = {};
    char *s = stamp + 32;
    for (int i = 0; i < 6; ++i, micros /= 10)
        *--s = char('0' + micros % 10);
    *--s = '.';
    const bool negative = seconds < 0;
    uint64_t whole = negative ? uint64_t(0) - uint64_t(seconds) : uint64_t(seconds);
    do {
        *--s = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (negative)
        *--s = '-';
    // At most 21 characters: copied as 32, the rest overwritten by what follows.
    const size_t size = size_t(stamp + 32 - s);
    std::memcpy(p, s, 32);
    return p + size;
}

char *PutHex(char *p, uint32_t value, int digits)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *p++ = hexDigits[(value >> shift) & 0xF];
    return p;
}

QByteArray JsonString(const QString &text)
{
    QByteArray out;
    AppendJsonString(out, text.toUtf8());
    return out;
}

// A message's fragments of text sit in one buffer with room after the last, so each is copied
// in blocks of 16 bytes: a call to memcpy per name costs more than the copy.
constexpr qsizetype CopyBlock = 16;

struct TFragment {
    uint32_t At = 0, Size = 0;
};

} // namespace

struct TFrameJsonMessage {
    struct TSignal {
        TFragment Absent;   // "Speed": {"raw": null, "value": null, "unit": "km/h", "text": null}
        TFragment Head;     // "Speed": {"raw": 
        TFragment Tail;     // , "unit": "km/h", "text": 
        TFragment TailNull; // , "unit": "km/h", "text": null}
        bool Bits = true;   // raw as its unsigned bits (floats and unsigned integers)
        std::vector<std::pair<int64_t, TFragment>> Texts; // value texts: a string, or null for ""
    };
    const TDbcMessage &Message;
    QByteArray Text; // every fragment, then CopyBlock bytes of room
    TFragment Name;  // "Engine"
    std::vector<TSignal> Signals;
    qsizetype Room = 0; // the most its signals can write, with room for the last block

    explicit TFrameJsonMessage(const TDbcMessage &message) : Message(message)
    {
        Name = add(JsonString(message.Name));
        Signals.reserve(size_t(message.Signals.size()));
        Room = Name.Size + CopyBlock;
        for (const TDbcSignal &s : message.Signals) {
            TSignal t;
            const QByteArray name = JsonString(s.Name), unit = JsonString(s.Unit);
            t.Absent = add(name + ": {\"raw\": null, \"value\": null, \"unit\": " + unit + ", \"text\": null}");
            t.Head = add(name + ": {\"raw\": ");
            t.Tail = add(", \"unit\": " + unit + ", \"text\": ");
            t.TailNull = add(", \"unit\": " + unit + ", \"text\": null}");
            t.Bits = s.ValueType != TDbcSignal::TValueType::Integer || !s.Signed;
            qsizetype longestText = 4; // null
            for (auto it = s.ValueTexts.cbegin(); it != s.ValueTexts.cend(); ++it) { // sorted by value
                t.Texts.emplace_back(it.key(), add(it.value().isEmpty() ? QByteArray("null") : JsonString(it.value())));
                longestText = std::max<qsizetype>(longestText, t.Texts.back().second.Size);
            }
            Room += 2 + std::max<qsizetype>(t.Absent.Size, t.Head.Size + NumberRoom + 11 + NumberRoom + t.Tail.Size + longestText + 1);
            Signals.push_back(std::move(t));
        }
        Text.append(CopyBlock, '\0');
    }

    char *put(char *p, TFragment f) const
    {
        const char *from = Text.constData() + f.At;
        for (uint32_t i = 0; i < f.Size; i += CopyBlock)
            std::memcpy(p + i, from + i, CopyBlock);
        return p + f.Size;
    }

    // The signals read from a frame, as AppendSignalsJson writes them, at `p` with Room bytes free.
    char *PutSignals(char *p, const TSignalReading *readings, qsizetype count) const
    {
        for (qsizetype i = 0; i < count; ++i) {
            const TSignalReading &r = readings[i];
            const TSignal &t = Signals[size_t(r.Index)];
            if (i)
                p = Put(p, ", ");
            if (!r.Present) {
                p = put(p, t.Absent);
                continue;
            }
            p = put(p, t.Head);
            p = t.Bits ? std::to_chars(p, p + NumberRoom, r.RawBits).ptr : std::to_chars(p, p + NumberRoom, r.Raw).ptr;
            p = Put(p, ", \"value\": ");
            p = PutNumber(p, r.Value);
            const auto it = !r.Text ? t.Texts.end()
                                    : std::lower_bound(t.Texts.begin(), t.Texts.end(), r.Raw,
                                                       [](const auto &entry, int64_t value) { return entry.first < value; });
            if (it == t.Texts.end() || it->first != r.Raw) {
                p = put(p, t.TailNull);
            } else {
                p = put(p, t.Tail);
                p = put(p, it->second);
                *p++ = '}';
            }
        }
        return p;
    }

private:
    TFragment add(const QByteArray &fragment)
    {
        const TFragment f{uint32_t(Text.size()), uint32_t(fragment.size())};
        Text += fragment;
        return f;
    }
};

void AppendJsonNumber(QByteArray &out, double value)
{
    char buffer[NumberRoom + 2];
    out.append(buffer, PutNumber(buffer, value) - buffer);
}

void AppendJsonString(QByteArray &out, QByteArrayView text)
{
    // Plain ASCII, the usual case, needs no decoding to tell it is UTF-8.
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
    QByteArray latin1;
    if (!ascii) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(text);
        if (utf8.hasError()) {
            latin1 = QString::fromLatin1(text).toUtf8();
            text = latin1;
        }
    }
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (uchar(c) < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(uchar(c)));
                out += escaped;
            } else {
                out += c; // UTF-8 as it is
            }
        }
    }
    out += '"';
}

void AppendSignalsJson(QByteArray &out, const TDbcMessage &message, const uint8_t *data, int size)
{
    const TFrameJsonMessage text(message);
    std::vector<TSignalReading> readings(size_t(message.Signals.size()));
    const qsizetype count = ReadSignals(message, data, size, readings.data());
    const qsizetype at = out.size();
    out.resize(at + text.Room);
    char *const begin = out.data() + at;
    out.resize(at + (text.PutSignals(begin, readings.data(), count) - begin));
}

TFrameJsonWriter::TFrameJsonWriter(const TDbcDatabase *database) : m_database(database) {}

TFrameJsonWriter::~TFrameJsonWriter() = default;

const TFrameJsonMessage *TFrameJsonWriter::messageText(const TDecodedLine &line)
{
    if (!m_database)
        return nullptr;
    const bool extended = IsExtended(line.kind);
    const uint64_t key = uint64_t(line.id) | (extended ? uint64_t(1) << 32 : 0);
    const auto it = m_messages.constFind(key);
    if (it != m_messages.constEnd())
        return *it;
    const TDbcMessage *message = m_database->Find(line.id, extended);
    const TFrameJsonMessage *text = nullptr;
    if (message) {
        m_texts.push_back(std::make_unique<TFrameJsonMessage>(*message));
        text = m_texts.back().get();
        m_readings.resize(std::max(m_readings.size(), size_t(message->Signals.size())));
    }
    // Identifiers no message has are remembered too, but not without end: a log of random
    // extended identifiers would otherwise grow with its length.
    if (text || m_messages.size() < UnknownIdsKept)
        m_messages.insert(key, text);
    return text;
}

void TFrameJsonWriter::Append(QByteArray &out, int64_t timeUs, QByteArrayView text, const TDecodedLine &line)
{
    // The frame's fields take at most 250 bytes: 21 for the time, 8 for an identifier, 16 for data.
    constexpr qsizetype FrameRoom = 320;
    if (!IsCanFrame(line.kind)) {
        const qsizetype at = out.size();
        out.resize(at + FrameRoom);
        char *p = out.data() + at;
        p = Put(p, "{\"time\": ");
        p = PutEpochSeconds(p, timeUs);
        p = Put(p, ", \"kind\": \"");
        const char *kind = FrameKindName(line.kind);
        p = Put(p, kind, std::strlen(kind));
        p = Put(p, "\", \"raw\": ");
        out.resize(p - out.constData());
        AppendJsonString(out, text);
        out += '}';
        return;
    }
    const TFrameJsonMessage *message = messageText(line);
    const qsizetype at = out.size();
    out.resize(at + FrameRoom + (message ? message->Room : 0));
    char *p = out.data() + at;
    p = Put(p, "{\"time\": ");
    p = PutEpochSeconds(p, timeUs);
    p = Put(p, ", \"kind\": \"");
    *p++ = *FrameKindName(line.kind); // one letter for a frame
    p = Put(p, "\", \"id\": \"");
    p = PutHex(p, line.id, IsExtended(line.kind) ? 8 : 3);
    p = Put(p, "\", \"extended\": ");
    p = IsExtended(line.kind) ? Put(p, "true") : Put(p, "false");
    p = Put(p, ", \"remote\": ");
    p = IsRemote(line.kind) ? Put(p, "true") : Put(p, "false");
    p = Put(p, ", \"dlc\": ");
    p = std::to_chars(p, p + NumberRoom, unsigned(line.dlc)).ptr;
    p = Put(p, ", \"data\": \"");
    const int bytes = IsRemote(line.kind) ? 0 : std::min<int>(line.dlc, 8);
    for (int i = 0; i < bytes; ++i)
        p = PutHex(p, line.data[i], 2);
    p = Put(p, "\", \"checksum\": ");
    p = line.checksum == TChecksum::Right ? Put(p, "\"ok\"") : line.checksum == TChecksum::Wrong ? Put(p, "\"wrong\"") : Put(p, "null");
    p = Put(p, ", \"message\": ");
    if (message) {
        p = message->put(p, message->Name);
        p = Put(p, ", \"signals\": {");
        const qsizetype count = ReadSignals(message->Message, line.data, bytes, m_readings.data());
        p = message->PutSignals(p, m_readings.data(), count);
    } else {
        p = Put(p, "null, \"signals\": {");
    }
    p = Put(p, "}}");
    out.resize(p - out.constData());
}

QByteArray FrameJsonRecord(int64_t timeUs, QByteArrayView text, const TDecodedLine &line, const TDbcDatabase *database)
{
    TFrameJsonWriter writer(database);
    QByteArray out;
    writer.Append(out, timeUs, text, line);
    return out;
}
