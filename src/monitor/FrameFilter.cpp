#include "monitor/FrameFilter.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

bool parseHexId(const QString &text, uint32_t &value)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f')))
            return false; // toUInt would take a sign or blanks
    }
    bool ok = false;
    value = text.toUInt(&ok, 16);
    return ok;
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

} // namespace

bool ParseIdRanges(const QString &text, std::vector<TIdRange> &ranges, QString *error)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    // Blanks around a dash belong to the range: "100 - 1FF".
    static const QRegularExpression dash(QStringLiteral("\\s*-\\s*"));
    QString normalised = text;
    normalised.replace(dash, QStringLiteral("-"));
    std::vector<TIdRange> parsed;
    for (const QString &part : normalised.split(separators, Qt::SkipEmptyParts)) {
        const qsizetype at = part.indexOf(QLatin1Char('-'));
        TIdRange range;
        const bool ok = at < 0 ? parseHexId(part, range.first) && (range.last = range.first, true)
                               : parseHexId(part.left(at), range.first) && parseHexId(part.mid(at + 1), range.last)
                                     && range.first <= range.last;
        if (!ok) {
            if (error)
                *error = QStringLiteral("\"%1\" is not an identifier or a range of identifiers (hexadecimal, "
                                        "for example 100-1FF, 7E8)").arg(part);
            return false;
        }
        parsed.push_back(range);
    }
    ranges = std::move(parsed);
    return true;
}

bool TFrameFilter::SetIdentifiers(const QString &text, QString *error)
{
    return ParseIdRanges(text, m_ranges, error);
}

void TFrameFilter::SetText(const QString &text)
{
    m_text = text.toLatin1();
    for (char &c : m_text)
        c = lower(c);
}

bool TFrameFilter::ContainsText(QByteArrayView line) const
{
    const qsizetype n = m_text.size();
    const char first = m_text[0];
    for (qsizetype i = 0; i + n <= line.size(); ++i) {
        if (lower(line[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < n && lower(line[i + k]) == m_text[k])
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

bool TFrameFilter::Matches(const TFrameStore &store, qsizetype row) const
{
    const TFrameRecord &r = store.Record(row);
    if (!(m_kinds & (1u << unsigned(r.kind))))
        return false;
    if (!m_ranges.empty()) {
        if (!IsCanFrame(r.kind))
            return false;
        const bool inRange = std::any_of(m_ranges.begin(), m_ranges.end(),
                                         [&](const TIdRange &range) { return r.id >= range.first && r.id <= range.last; });
        if (!inRange)
            return false;
    }
    if (m_text.isEmpty() || ContainsText(store.Text(row)))
        return true;
    if (!IsCanFrame(r.kind))
        return false;
    const uint64_t key = (IsExtended(r.kind) ? uint64_t(1) << 32 : 0) | r.id;
    if (std::binary_search(m_namedIds.begin(), m_namedIds.end(), key))
        return true;
    return m_decodedText && m_decodedText(store, row).toUtf8().toLower().contains(m_text);
}

void TFrameFilter::Collect(const TFrameStore &store, qsizetype first, qsizetype end, std::vector<uint64_t> &numbers) const
{
    const uint64_t base = store.FirstNumber();
    for (qsizetype row = first; row < end; ++row)
        if (Matches(store, row))
            numbers.push_back(base + uint64_t(row));
}
