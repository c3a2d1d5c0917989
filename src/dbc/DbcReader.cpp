#include "dbc/DbcReader.h"

#include "dbc/SignalCodec.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

enum class TTok { End, Ident, Number, String, Punct };

struct TToken {
    TTok Kind = TTok::End;
    int Pos = 0;       // first byte of the token
    int Size = 0;      // bytes of the token (strings: with their quotes)
    int Line = 1;
    int LineStart = 0; // first byte of the token's line
    bool FirstOnLine = false;
};

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

class TLexer {
public:
    explicit TLexer(const QByteArray &text) : m_t(text.constData()), m_n(int(text.size())) {}

    // False for a string that is never closed; `tok` then points at its opening quote.
    bool Next(TToken &tok)
    {
        for (;;) {
            while (m_pos < m_n && (m_t[m_pos] == ' ' || m_t[m_pos] == '\t' || m_t[m_pos] == '\r' || m_t[m_pos] == '\n'
                                   || m_t[m_pos] == '\f' || m_t[m_pos] == '\v')) {
                if (EndsLine(m_pos))
                    NewLine(m_pos + 1);
                ++m_pos;
            }
            if (m_pos + 1 < m_n && m_t[m_pos] == '/' && m_t[m_pos + 1] == '/') { // not DBC, but harmless to allow
                while (m_pos < m_n && m_t[m_pos] != '\n' && m_t[m_pos] != '\r')
                    ++m_pos;
                continue;
            }
            break;
        }
        tok.Pos = m_pos;
        tok.Line = m_line;
        tok.LineStart = m_lineStart;
        tok.FirstOnLine = m_line != m_lastTokenLine;
        m_lastTokenLine = m_line;
        if (m_pos >= m_n) {
            tok.Kind = TTok::End;
            tok.Size = 0;
            return true;
        }
        const char c = m_t[m_pos];
        int end = m_pos + 1;
        if (IsIdentStart(c)) {
            tok.Kind = TTok::Ident;
            while (end < m_n && IsIdentChar(m_t[end]))
                ++end;
        } else if (StartsNumber(m_pos)) {
            tok.Kind = TTok::Number;
            end = m_pos;
            if (m_t[end] == '+' || m_t[end] == '-')
                ++end;
            // digits, a point, more digits, an exponent; anything glued on makes it a bad number
            while (end < m_n && (IsIdentChar(m_t[end]) || m_t[end] == '.'
                                 || ((m_t[end] == '+' || m_t[end] == '-') && (m_t[end - 1] == 'e' || m_t[end - 1] == 'E'))))
                ++end;
        } else if (c == '"') {
            tok.Kind = TTok::String;
            while (end < m_n && m_t[end] != '"') {
                if (m_t[end] == '\\' && end + 1 < m_n && (m_t[end + 1] == '"' || m_t[end + 1] == '\\'))
                    ++end;
                if (EndsLine(end))
                    NewLine(end + 1);
                ++end;
            }
            if (end >= m_n) {
                tok.Size = end - m_pos;
                return false;
            }
            ++end;
        } else {
            tok.Kind = TTok::Punct;
        }
        tok.Size = end - m_pos;
        m_pos = end;
        return true;
    }

    // The lexer is a few positions: a copy reads ahead.
    TToken Peek() const
    {
        TLexer ahead = *this;
        TToken t;
        ahead.Next(t);
        return t;
    }

private:
    // A line ends at LF, and at a CR not followed by LF (old Macintosh files).
    bool EndsLine(int p) const { return m_t[p] == '\n' || (m_t[p] == '\r' && (p + 1 >= m_n || m_t[p + 1] != '\n')); }
    // "5", "-5", "+.5", ".5", "-.5"
    bool StartsNumber(int p) const
    {
        if (m_t[p] == '+' || m_t[p] == '-')
            ++p;
        if (p < m_n && m_t[p] == '.')
            ++p;
        return p < m_n && IsDigit(m_t[p]);
    }
    void NewLine(int start)
    {
        ++m_line;
        m_lineStart = start;
    }

    const char *m_t;
    int m_n;
    int m_pos = 0;
    int m_line = 1;
    int m_lineStart = 0;
    int m_lastTokenLine = 0;
};

const QString CycleTimeAttribute = QStringLiteral("GenMsgCycleTime");

class TParser {
public:
    TParser(const QByteArray &text, const QString &fileName, std::vector<TDbcReadMessage> &messages, QString &error)
        : m_text(text), m_file(fileName), m_lexer(text), m_messages(messages), m_error(error)
    {
    }

    bool Parse()
    {
        if (!Advance())
            return false;
        while (m_tok.Kind != TTok::End) {
            bool ok = true;
            if (m_tok.Kind != TTok::Ident)
                ok = SkipStatement();
            else if (Is("VERSION"))
                ok = Advance() && ExpectString(nullptr);
            else if (Is("NS_"))
                ok = ParseNewSymbols();
            else if (Is("BU_"))
                ok = ParseNodes();
            else if (Is("BO_"))
                ok = ParseMessage();
            else if (Is("SG_"))
                ok = ParseSignal();
            else if (Is("CM_"))
                ok = ParseComment();
            else if (Is("BA_DEF_"))
                ok = ParseAttributeDefinition();
            else if (Is("BA_DEF_DEF_"))
                ok = ParseAttributeDefault();
            else if (Is("BA_"))
                ok = ParseAttribute();
            else if (Is("VAL_"))
                ok = ParseValues();
            else if (Is("VAL_TABLE_"))
                ok = ParseValueTable();
            else if (Is("SIG_VALTYPE_"))
                ok = ParseValueType();
            else if (Is("SG_MUL_VAL_"))
                ok = ParseExtendedMultiplexing();
            else
                ok = SkipStatement();
            if (!ok)
                return false;
        }
        return Finish();
    }

private:
    // --- tokens -------------------------------------------------------------------------------
    bool Advance()
    {
        if (!m_lexer.Next(m_tok))
            return Fail(m_tok, QStringLiteral("expected a closing '\"' for the string that begins here"));
        return true;
    }
    QByteArrayView Text(const TToken &t) const { return QByteArrayView(m_text.constData() + t.Pos, t.Size); }
    bool Is(const char *word) const { return m_tok.Kind == TTok::Ident && Text(m_tok) == QByteArrayView(word); }
    bool IsPunct(char c) const { return m_tok.Kind == TTok::Punct && m_text[m_tok.Pos] == c; }
    bool IsKeyword(const TToken &t) const
    {
        if (t.Kind != TTok::Ident)
            return false;
        const QByteArrayView word = Text(t);
        if (word == "VERSION")
            return true;
        if (!word.endsWith('_'))
            return false;
        for (char c : word)
            if (!((c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_'))
                return false;
        return true;
    }

    int Column(const TToken &t) const
    {
        int column = 1;
        for (int i = t.LineStart; i < t.Pos; ++i)
            if ((uchar(m_text[i]) & 0xC0) != 0x80) // characters, not bytes
                ++column;
        return column;
    }
    QString Found(const TToken &t) const
    {
        switch (t.Kind) {
        case TTok::End: return QStringLiteral("the end of the file");
        case TTok::String: return QStringLiteral("a string");
        default: break;
        }
        QByteArray shown = Text(t).first(qMin<qsizetype>(40, t.Size)).toByteArray();
        return QStringLiteral("'%1'").arg(QString::fromUtf8(shown));
    }
    bool Fail(const TToken &t, const QString &what)
    {
        m_error = QStringLiteral("%1:%2:%3: %4").arg(m_file).arg(t.Line).arg(Column(t)).arg(what);
        return false;
    }
    bool Expected(const QString &what) { return Fail(m_tok, QStringLiteral("expected %1, found %2").arg(what, Found(m_tok))); }

    bool ExpectPunct(char c)
    {
        if (!IsPunct(c))
            return Expected(QStringLiteral("'%1'").arg(QLatin1Char(c)));
        return Advance();
    }
    bool ExpectIdent(QString *out, const QString &what)
    {
        if (m_tok.Kind != TTok::Ident)
            return Expected(what);
        if (out)
            *out = QString::fromUtf8(Text(m_tok));
        return Advance();
    }
    bool ExpectString(QString *out)
    {
        if (m_tok.Kind != TTok::String)
            return Expected(QStringLiteral("a string in double quotes"));
        if (out) {
            const QByteArrayView inner = Text(m_tok).sliced(1, m_tok.Size - 2);
            QByteArray plain;
            plain.reserve(inner.size());
            for (qsizetype i = 0; i < inner.size(); ++i) {
                if (inner[i] == '\\' && i + 1 < inner.size() && (inner[i + 1] == '"' || inner[i + 1] == '\\'))
                    ++i;
                plain += inner[i];
            }
            *out = QString::fromUtf8(plain);
        }
        return Advance();
    }
    bool ExpectDouble(double &out, const QString &what)
    {
        if (m_tok.Kind == TTok::Number) {
            QByteArrayView t = Text(m_tok);
            if (t.startsWith('+'))
                t = t.sliced(1);
            const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
            if (ec == std::errc::result_out_of_range && end == t.data() + t.size()) {
                // Tools write the double's limits rounded to 15 digits, just past them
                // (-1.79769313486232E+308): the limit is meant. A tiny number is 0.
                const char *e = std::find_if(t.data(), t.data() + t.size(), [](char c) { return c == 'e' || c == 'E'; });
                const bool huge = e != t.data() + t.size() && e + 1 < t.data() + t.size() && e[1] != '-';
                const double limit = std::numeric_limits<double>::max();
                out = huge ? (t.startsWith('-') ? -limit : limit) : 0.0;
                return Advance();
            }
            if (ec == std::errc() && end == t.data() + t.size() && std::isfinite(out))
                return Advance();
        }
        return Expected(what);
    }
    bool ExpectInteger(int64_t &out, int64_t lowest, int64_t highest, const QString &what)
    {
        if (m_tok.Kind == TTok::Number) {
            QByteArrayView t = Text(m_tok);
            if (t.startsWith('+'))
                t = t.sliced(1);
            const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
            if (ec == std::errc() && end == t.data() + t.size() && out >= lowest && out <= highest)
                return Advance();
        }
        return Expected(what);
    }
    bool ExpectSemicolon() { return ExpectPunct(';'); }

    // An unknown statement ends at its ';' or where the next line begins with a keyword.
    bool SkipStatement()
    {
        if (!Advance())
            return false;
        while (m_tok.Kind != TTok::End) {
            if (IsPunct(';'))
                return Advance();
            if (m_tok.FirstOnLine && IsKeyword(m_tok))
                return true;
            if (!Advance())
                return false;
        }
        return true;
    }

    // A node name or unit repeated on every signal shares one string's memory.
    // `word` lies in the text, which outlives the parser's lookups.
    QString Shared(QByteArrayView word)
    {
        const auto it = m_shared.constFind(word);
        if (it != m_shared.constEnd())
            return *it;
        return *m_shared.insert(word, QString::fromUtf8(word));
    }
    bool ExpectSharedString(QString &out)
    {
        const QByteArrayView written = Text(m_tok); // the same text unescapes the same
        const auto it = m_tok.Kind == TTok::String ? m_shared.constFind(written) : m_shared.constEnd();
        if (it != m_shared.constEnd()) {
            out = *it;
            return Advance();
        }
        if (!ExpectString(&out))
            return false;
        m_shared.insert(written, out);
        return true;
    }

    // Most signals of a file name the same few receivers: one list, shared by all of them.
    // The list is looked up by its text first, its names only when it is new.
    bool ParseReceivers(QStringList &receivers)
    {
        const int begin = m_tok.Pos;
        int end = begin;
        m_words.clear();
        while (!m_tok.FirstOnLine && (m_tok.Kind == TTok::Ident || IsPunct(','))) {
            if (m_tok.Kind == TTok::Ident)
                m_words.push_back(Text(m_tok));
            end = m_tok.Pos + m_tok.Size;
            if (!Advance())
                return false;
        }
        if (m_words.empty())
            return true;
        const QByteArrayView key(m_text.constData() + begin, end - begin);
        if (const auto it = m_sharedLists.constFind(key); it != m_sharedLists.constEnd()) {
            receivers = *it;
            return true;
        }
        for (QByteArrayView word : m_words)
            receivers << Shared(word);
        m_sharedLists.insert(key, receivers);
        return true;
    }

    // --- sections -----------------------------------------------------------------------------
    bool ParseNewSymbols()
    {
        if (!Advance())
            return false;
        if (IsPunct(':') && !Advance())
            return false;
        // The list is keywords, one a line and usually indented; it ends at BS_ (which always
        // follows it) or at a statement: a word in column 1 with more on its line.
        while (m_tok.Kind == TTok::Ident && !Is("BS_") && !Is("BU_") && !Is("BO_") && !Is("VERSION")) {
            if (m_tok.FirstOnLine && m_tok.Pos == m_tok.LineStart) {
                const TToken next = m_lexer.Peek();
                if (next.Kind != TTok::End && !next.FirstOnLine)
                    break;
            }
            if (!Advance())
                return false;
        }
        return true;
    }

    bool ParseNodes()
    {
        if (!Advance() || !ExpectPunct(':'))
            return false;
        while (m_tok.Kind == TTok::Ident && !m_tok.FirstOnLine)
            if (!Advance())
                return false;
        return true;
    }

    static uint64_t IdKey(uint32_t id, bool extended) { return uint64_t(id) | (extended ? uint64_t(1) << 32 : 0); }

    // A message's signals are all read once the next message begins: their array is cut to
    // size, as a big database holds tens of thousands of them.
    void CloseMessage()
    {
        if (m_current)
            m_current->Signals.squeeze();
        m_current = nullptr;
    }

    bool ParseMessage()
    {
        CloseMessage();
        const int line = m_tok.Line;
        if (!Advance())
            return false;
        const TToken idTok = m_tok;
        int64_t rawId = 0;
        QString name, transmitter;
        int64_t dlc = 0;
        if (!ExpectInteger(rawId, 0, 0xFFFFFFFFll, QStringLiteral("a message identifier (decimal, bit 31 for extended)")))
            return false;
        const bool extended = (rawId & 0x80000000ll) != 0;
        const uint32_t id = uint32_t(rawId & 0x7FFFFFFF);
        if (!ExpectIdent(&name, QStringLiteral("a message name")) || !ExpectPunct(':')
            || !ExpectInteger(dlc, 0, 64, QStringLiteral("a message length from 0 to 64 bytes")))
            return false;
        if (m_tok.Kind == TTok::Ident && !m_tok.FirstOnLine && !IsKeyword(m_tok)) {
            transmitter = Shared(Text(m_tok));
            if (!Advance())
                return false;
        }

        if (extended && id > 0x1FFFFFFF) {
            // Vector's holder of signals that belong to no message: no frame has this identifier.
            m_scratch = TDbcMessage{};
            m_current = &m_scratch;
            return true;
        }
        if (!extended && id > 0x7FF)
            return Fail(idTok, QStringLiteral("expected a standard identifier up to 2047 (0x7FF), or bit 31 set for an extended one; found %1").arg(rawId));
        const uint64_t key = IdKey(id, extended);
        if (const auto it = m_byId.constFind(key); it != m_byId.constEnd())
            return Fail(idTok, QStringLiteral("message identifier 0x%1 is defined twice (first on line %2)")
                                   .arg(id, 0, 16).arg(m_messages[*it].Line));
        if (const auto it = m_byName.constFind(name); it != m_byName.constEnd())
            return Fail(idTok, QStringLiteral("message name %1 is defined twice (first on line %2)").arg(name).arg(m_messages[*it].Line));

        auto message = std::make_unique<TDbcMessage>();
        message->Id = id;
        message->Extended = extended;
        message->Name = name;
        message->Dlc = int(dlc);
        message->Transmitter = transmitter;
        m_current = message.get();
        m_byId.insert(key, int(m_messages.size()));
        m_byRawId.insert(uint32_t(rawId), int(m_messages.size()));
        m_byName.insert(name, int(m_messages.size()));
        m_messages.push_back(TDbcReadMessage{std::move(message), line});
        return true;
    }

    bool ParseSignal()
    {
        if (!m_current)
            return Fail(m_tok, QStringLiteral("expected a BO_ message before its signal SG_"));
        if (!Advance())
            return false;
        TDbcSignal s;
        const TToken nameTok = m_tok;
        if (!ExpectIdent(&s.Name, QStringLiteral("a signal name")))
            return false;
        if (m_tok.Kind == TTok::Ident) {
            const QByteArrayView mux = Text(m_tok);
            if (mux == "M") {
                s.Mux = TDbcSignal::TMux::Multiplexor;
            } else if (mux.size() > 1 && mux[0] == 'm') {
                QByteArrayView digits = mux.sliced(1);
                if (digits.endsWith('M'))
                    return Fail(m_tok, QStringLiteral("a multiplexed multiplexor (%1) is extended multiplexing, which is not supported")
                                           .arg(QString::fromUtf8(mux)));
                int64_t value = 0;
                const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
                if (ec != std::errc() || end != digits.data() + digits.size())
                    return Expected(QStringLiteral("':', 'M' or 'm' and the multiplexor value"));
                s.Mux = TDbcSignal::TMux::Multiplexed;
                s.MuxValue = value;
            } else {
                return Expected(QStringLiteral("':', 'M' or 'm' and the multiplexor value"));
            }
            if (!Advance())
                return false;
        }
        int64_t start = 0, length = 0, order = 0;
        if (!ExpectPunct(':'))
            return false;
        const TToken startTok = m_tok;
        if (!ExpectInteger(start, 0, 511, QStringLiteral("a start bit from 0 to 511"))
            || !ExpectPunct('|') || !ExpectInteger(length, 1, 64, QStringLiteral("a length from 1 to 64 bits"))
            || !ExpectPunct('@'))
            return false;
        if (!ExpectInteger(order, 0, 1, QStringLiteral("byte order 0 (big-endian) or 1 (little-endian)")))
            return false;
        if (IsPunct('+'))
            s.Signed = false;
        else if (IsPunct('-'))
            s.Signed = true;
        else
            return Expected(QStringLiteral("'+' (unsigned) or '-' (signed)"));
        if (!Advance())
            return false;
        s.StartBit = int(start);
        s.Length = int(length);
        s.LittleEndian = order == 1;
        const int lastBit = s.LittleEndian ? s.StartBit + s.Length - 1 : (s.StartBit / 8) * 8 + 7 - s.StartBit % 8 + s.Length - 1;
        if (lastBit > 511)
            return Fail(startTok, QStringLiteral("signal %1 runs past the 64th byte").arg(s.Name));
        if (!ExpectPunct('(') || !ExpectDouble(s.Factor, QStringLiteral("a factor")) || !ExpectPunct(',')
            || !ExpectDouble(s.Offset, QStringLiteral("an offset")) || !ExpectPunct(')') || !ExpectPunct('[')
            || !ExpectDouble(s.Minimum, QStringLiteral("a minimum")) || !ExpectPunct('|')
            || !ExpectDouble(s.Maximum, QStringLiteral("a maximum")) || !ExpectPunct(']') || !ExpectSharedString(s.Unit))
            return false;
        if (!ParseReceivers(s.Receivers))
            return false;
        for (const TDbcSignal &other : m_current->Signals)
            if (other.Name == s.Name)
                return Fail(nameTok, QStringLiteral("signal %1 is defined twice in message %2").arg(s.Name, m_current->Name));
        m_current->Signals.append(s);
        return true;
    }

    // A message named by its identifier as written in the file, or null (then the statement's
    // information is dropped, as other tools do).
    TDbcMessage *MessageByRawId(int64_t rawId)
    {
        const auto it = m_byRawId.constFind(uint32_t(rawId));
        return it == m_byRawId.constEnd() ? nullptr : m_messages[*it].Message.get();
    }
    static TDbcSignal *SignalByName(TDbcMessage *message, const QString &name)
    {
        if (message)
            for (TDbcSignal &s : message->Signals)
                if (s.Name == name)
                    return &s;
        return nullptr;
    }
    bool ExpectMessageId(int64_t &rawId) { return ExpectInteger(rawId, 0, 0xFFFFFFFFll, QStringLiteral("a message identifier")); }

    bool ParseComment()
    {
        if (!Advance())
            return false;
        QString text, name;
        int64_t rawId = 0;
        if (m_tok.Kind == TTok::String)
            return ExpectString(nullptr) && ExpectSemicolon();
        if (Is("BU_") || Is("EV_"))
            return Advance() && ExpectIdent(nullptr, QStringLiteral("a name")) && ExpectString(nullptr) && ExpectSemicolon();
        if (Is("BO_")) {
            if (!Advance() || !ExpectMessageId(rawId) || !ExpectString(&text) || !ExpectSemicolon())
                return false;
            if (TDbcMessage *m = MessageByRawId(rawId))
                m->Comment = text;
            return true;
        }
        if (Is("SG_")) {
            if (!Advance() || !ExpectMessageId(rawId) || !ExpectIdent(&name, QStringLiteral("a signal name"))
                || !ExpectString(&text) || !ExpectSemicolon())
                return false;
            if (TDbcSignal *s = SignalByName(MessageByRawId(rawId), name))
                s->Comment = text;
            return true;
        }
        return SkipStatement();
    }

    // An attribute's value as an integer number of milliseconds.
    bool ExpectCycleTime(int &out)
    {
        double value = 0;
        if (!ExpectDouble(value, QStringLiteral("a cycle time in milliseconds")))
            return false;
        out = value < 0 || value > std::numeric_limits<int>::max() ? -1 : int(std::lround(value));
        return true;
    }

    bool ParseAttributeDefinition()
    {
        if (!Advance())
            return false;
        if (m_tok.Kind == TTok::Ident && !Advance()) // the kind of object it applies to
            return false;
        QString name;
        if (!ExpectString(&name))
            return false;
        if (name == CycleTimeAttribute)
            m_cycleTimeDefined = true;
        while (m_tok.Kind != TTok::End && !IsPunct(';')) {
            if (m_tok.FirstOnLine && IsKeyword(m_tok))
                return Expected(QStringLiteral("';'"));
            if (!Advance())
                return false;
        }
        return ExpectSemicolon();
    }

    bool ParseAttributeDefault()
    {
        QString name;
        if (!Advance() || !ExpectString(&name))
            return false;
        if (name == CycleTimeAttribute) {
            int value = -1;
            if (!ExpectCycleTime(value))
                return false;
            m_cycleTimeDefault = value;
            return ExpectSemicolon();
        }
        if (m_tok.Kind == TTok::End || IsPunct(';'))
            return Expected(QStringLiteral("a value"));
        return Advance() && ExpectSemicolon();
    }

    bool ParseAttribute()
    {
        QString name;
        if (!Advance() || !ExpectString(&name))
            return false;
        if (name != CycleTimeAttribute || !Is("BO_"))
            return SkipAttributeRest();
        int64_t rawId = 0;
        int value = -1;
        if (!Advance() || !ExpectMessageId(rawId) || !ExpectCycleTime(value) || !ExpectSemicolon())
            return false;
        if (const auto it = m_byRawId.constFind(uint32_t(rawId)); it != m_byRawId.constEnd()) {
            m_messages[*it].Message->CycleTimeMs = value;
            m_cycleTimeSet.resize(m_messages.size());
            m_cycleTimeSet[*it] = true;
        }
        return true;
    }
    bool SkipAttributeRest()
    {
        while (m_tok.Kind != TTok::End && !IsPunct(';')) {
            if (m_tok.FirstOnLine && IsKeyword(m_tok))
                return Expected(QStringLiteral("';'"));
            if (!Advance())
                return false;
        }
        return ExpectSemicolon();
    }

    // "value "text" value "text" ... ;"
    // The same pairs written again (as on every signal of a kind) share the first one's map.
    bool ParseValuePairs(QMap<int64_t, QString> &texts)
    {
        const int begin = m_tok.Pos;
        while (!IsPunct(';')) {
            int64_t value = 0;
            QString text;
            if (!ExpectInteger(value, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                               QStringLiteral("an integer value or ';'"))
                || !ExpectString(&text))
                return false;
            texts.insert(value, text);
        }
        const size_t key = qHash(QByteArrayView(m_text.constData() + begin, m_tok.Pos - begin));
        const auto it = m_sharedTexts.constFind(key);
        if (it != m_sharedTexts.constEnd() && *it == texts)
            texts = *it;
        else if (it == m_sharedTexts.constEnd())
            m_sharedTexts.insert(key, texts);
        return ExpectSemicolon();
    }

    bool ParseValues()
    {
        if (!Advance())
            return false;
        if (m_tok.Kind == TTok::Ident) // an environment variable's texts
            return SkipStatement();
        int64_t rawId = 0;
        QString name;
        if (!ExpectMessageId(rawId) || !ExpectIdent(&name, QStringLiteral("a signal name")))
            return false;
        QMap<int64_t, QString> texts;
        if (m_tok.Kind == TTok::Ident) { // the name of a VAL_TABLE_
            const TToken tableTok = m_tok;
            QString table;
            if (!ExpectIdent(&table, {}))
                return false;
            if (!m_tables.contains(table))
                return Fail(tableTok, QStringLiteral("expected the name of a VAL_TABLE_ defined before, found '%1'").arg(table));
            texts = m_tables.value(table);
            if (!ExpectSemicolon())
                return false;
        } else if (!ParseValuePairs(texts)) {
            return false;
        }
        if (TDbcSignal *s = SignalByName(MessageByRawId(rawId), name))
            s->ValueTexts = texts;
        return true;
    }

    bool ParseValueTable()
    {
        QString name;
        if (!Advance() || !ExpectIdent(&name, QStringLiteral("a value table name")))
            return false;
        QMap<int64_t, QString> texts;
        if (!ParseValuePairs(texts))
            return false;
        m_tables.insert(name, texts);
        return true;
    }

    bool ParseValueType()
    {
        int64_t rawId = 0, type = 0;
        QString name;
        if (!Advance() || !ExpectMessageId(rawId) || !ExpectIdent(&name, QStringLiteral("a signal name")))
            return false;
        if (IsPunct(':') && !Advance())
            return false;
        const TToken typeTok = m_tok;
        if (!ExpectInteger(type, 0, 2, QStringLiteral("0 (integer), 1 (32-bit float) or 2 (64-bit float)")) || !ExpectSemicolon())
            return false;
        TDbcSignal *s = SignalByName(MessageByRawId(rawId), name);
        if (!s)
            return true;
        const int bits = type == 1 ? 32 : 64;
        if (type != 0 && s->Length != bits)
            return Fail(typeTok, QStringLiteral("expected a %1-bit signal for a %2, but %3 has %4 bits")
                                     .arg(bits).arg(type == 1 ? QStringLiteral("32-bit float") : QStringLiteral("64-bit float"), name)
                                     .arg(s->Length));
        s->ValueType = type == 0 ? TDbcSignal::TValueType::Integer
                     : type == 1 ? TDbcSignal::TValueType::Float32 : TDbcSignal::TValueType::Float64;
        return true;
    }

    // Extended multiplexing is taken only where it says what mN says already: one multiplexor,
    // one value per signal. Anything more is refused, so no signal is shown for the wrong frame.
    bool ParseExtendedMultiplexing()
    {
        const TToken first = m_tok;
        int64_t rawId = 0;
        QString name, muxName;
        if (!Advance() || !ExpectMessageId(rawId) || !ExpectIdent(&name, QStringLiteral("a signal name"))
            || !ExpectIdent(&muxName, QStringLiteral("the multiplexor's name")))
            return false;
        QVector<QPair<int64_t, int64_t>> ranges;
        for (;;) {
            // "3-5" reads as the numbers "3" and "-5"
            int64_t low = 0, high = 0;
            if (!ExpectInteger(low, 0, std::numeric_limits<int64_t>::max(), QStringLiteral("a range such as 1-1")))
                return false;
            if (IsPunct('-') && !Advance())
                return false;
            // Its lowest value has no positive counterpart: no range ends there.
            if (!ExpectInteger(high, std::numeric_limits<int64_t>::min() + 1, std::numeric_limits<int64_t>::max(),
                               QStringLiteral("the end of the range")))
                return false;
            ranges.append({low, high < 0 ? -high : high});
            if (IsPunct(';'))
                break;
            if (!ExpectPunct(','))
                return false;
        }
        if (!ExpectSemicolon())
            return false;
        TDbcMessage *m = MessageByRawId(rawId);
        TDbcSignal *s = SignalByName(m, name);
        TDbcSignal *mux = SignalByName(m, muxName);
        if (!s || !mux)
            return true;
        const bool plain = mux->Mux == TDbcSignal::TMux::Multiplexor && s->Mux == TDbcSignal::TMux::Multiplexed
                        && ranges.size() == 1 && ranges[0].first == s->MuxValue && ranges[0].second == s->MuxValue;
        if (!plain)
            return Fail(first, QStringLiteral("extended multiplexing of %1 in %2 is not supported: only one multiplexor "
                                              "and one value per signal (its mN) can be read")
                                   .arg(name, m->Name));
        return true;
    }

    bool Finish()
    {
        CloseMessage();
        // The lookups are done with: their memory goes before the layouts take theirs.
        m_byId = {};
        m_byRawId = {};
        m_byName = {};
        m_tables = {};
        m_shared = {};
        m_sharedLists = {};
        m_sharedTexts = {};
        m_cycleTimeSet.resize(m_messages.size());
        for (size_t i = 0; i < m_messages.size(); ++i) {
            TDbcReadMessage &read = m_messages[i];
            TDbcMessage &m = *read.Message;
            int multiplexors = 0, multiplexed = 0;
            for (const TDbcSignal &s : m.Signals) {
                multiplexors += s.Mux == TDbcSignal::TMux::Multiplexor;
                multiplexed += s.Mux == TDbcSignal::TMux::Multiplexed;
            }
            if (multiplexors > 1)
                m_error = QStringLiteral("%1:%2:1: message %3 has %4 multiplexor signals (M); extended multiplexing is not supported")
                              .arg(m_file).arg(read.Line).arg(m.Name).arg(multiplexors);
            else if (multiplexed > 0 && multiplexors == 0)
                m_error = QStringLiteral("%1:%2:1: message %3 has multiplexed signals (mN) but no multiplexor (M)")
                              .arg(m_file).arg(read.Line).arg(m.Name);
            if (!m_error.isEmpty())
                return false;
            if (m_cycleTimeDefined && !m_cycleTimeSet[i])
                m.CycleTimeMs = m_cycleTimeDefault;
            PrepareLayout(m);
        }
        return true;
    }

    const QByteArray &m_text;
    const QString &m_file;
    TLexer m_lexer;
    TToken m_tok;
    std::vector<TDbcReadMessage> &m_messages;
    QString &m_error;

    TDbcMessage *m_current = nullptr;
    TDbcMessage m_scratch;
    QHash<uint64_t, int> m_byId;
    QHash<uint32_t, int> m_byRawId;
    QHash<QString, int> m_byName;
    QHash<QString, QMap<int64_t, QString>> m_tables;
    QHash<QByteArrayView, QString> m_shared; // names and quoted strings as written
    QHash<QByteArrayView, QStringList> m_sharedLists;
    std::vector<QByteArrayView> m_words; // of the receiver list being read
    QHash<size_t, QMap<int64_t, QString>> m_sharedTexts; // by the hash of their text in the file
    bool m_cycleTimeDefined = false;
    int m_cycleTimeDefault = -1;
    std::vector<bool> m_cycleTimeSet; // by message index: its own cycle time was given
};

} // namespace

namespace {

// Checked in place: decoding a big file to UTF-16 only to see whether it decodes would take
// twice its size.
bool IsValidUtf8(const QByteArray &text)
{
    const auto *p = reinterpret_cast<const uchar *>(text.constData());
    const auto *end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        uint32_t c = 0;
        if ((*p & 0xE0) == 0xC0) { more = 1; c = *p & 0x1F; }
        else if ((*p & 0xF0) == 0xE0) { more = 2; c = *p & 0x0F; }
        else if ((*p & 0xF8) == 0xF0) { more = 3; c = *p & 0x07; }
        else return false;
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        static const uint32_t lowest[4] = {0, 0x80, 0x800, 0x10000};
        if (c < lowest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        p += more + 1;
    }
    return true;
}

bool IsWordChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

// Whether a keyword that only a CAN database has stands as a word at the start of a line.
bool LooksLikeDatabase(const QByteArray &text)
{
    for (const char *word : {"VERSION", "NS_", "BU_", "BO_"}) {
        const qsizetype n = qsizetype(std::strlen(word));
        for (qsizetype at = text.indexOf(word); at >= 0; at = text.indexOf(word, at + 1)) {
            qsizetype before = at - 1;
            while (before >= 0 && (text[before] == ' ' || text[before] == '\t'))
                --before;
            const bool lineStart = before < 0 || text[before] == '\n' || text[before] == '\r'
                                   || (before == 2 && text.startsWith("\xEF\xBB\xBF"));
            if (lineStart && (at + n >= text.size() || !IsWordChar(text[at + n])))
                return true;
        }
    }
    return false;
}

} // namespace

QByteArray DbcTextAsUtf8(const QByteArray &text)
{
    if (IsValidUtf8(text))
        return text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    // Windows-1252: Latin-1 but for 0x80..0x9F
    static const char16_t high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
        0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    QString wide(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const uchar c = uchar(text[i]);
        wide[i] = QChar(c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c));
    }
    return wide.toUtf8();
}

bool ReadDbcText(const QByteArray &text, const QString &fileName, std::vector<TDbcReadMessage> &messages, QString &error)
{
    messages.clear();
    error.clear();
    if (text.size() > 256 * 1024 * 1024) { // positions are counted in int
        error = QStringLiteral("%1:1:1: expected a CAN database of at most 256 MB").arg(fileName);
        return false;
    }
    if (!LooksLikeDatabase(text)) {
        error = QStringLiteral("%1: not a CAN database").arg(fileName);
        return false;
    }
    const QByteArray utf8 = DbcTextAsUtf8(text);
    TParser parser(utf8, fileName, messages, error);
    if (!parser.Parse()) {
        messages.clear();
        return false;
    }
    return true;
}
