#pragma once
// Which rows a view shows: identifiers (a list of values and ranges such as "100-1FF, 7E8"),
// kinds, and a text the line must contain (letters of either case). An empty part lets every
// row through; a row must pass all three.

#include "monitor/FrameStore.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

struct TIdRange {
    uint32_t first = 0;
    uint32_t last = 0;
    bool operator==(const TIdRange &) const = default;
};

// "100-1FF, 7E8": hexadecimal identifiers and inclusive ranges, separated by commas or blanks.
// False with a message naming the first part that is not one, the list then untouched.
bool ParseIdRanges(const QString &text, std::vector<TIdRange> &ranges, QString *error);

class TFrameFilter {
public:
    static constexpr uint32_t AllKinds = (1u << FrameKindCount) - 1;

    bool SetIdentifiers(const QString &text, QString *error);
    void SetKinds(uint32_t mask) { m_kinds = mask & AllKinds; } // bit n: TFrameKind n
    void SetText(const QString &text);
    // Identifiers (extended flag in bit 32) whose names match the text: their frames pass the
    // text part too. Sorted; the names come from a CAN database, which this layer does not know.
    void SetNamedIdentifiers(std::vector<uint64_t> keys) { m_namedIds = std::move(keys); }
    // Another text a frame is known by (what a protocol reads in it): the text part looks there too.
    using TFrameText = std::function<QString(const TFrameStore &store, qsizetype row)>;
    void SetDecodedText(TFrameText text) { m_decodedText = std::move(text); }

    bool PassesAll() const { return m_ranges.empty() && m_kinds == AllKinds && m_text.isEmpty(); }
    bool Matches(const TFrameStore &store, qsizetype row) const;
    // Rows in [first, end) that pass, appended to `numbers` by their number (FirstNumber() + row).
    void Collect(const TFrameStore &store, qsizetype first, qsizetype end, std::vector<uint64_t> &numbers) const;

private:
    bool ContainsText(QByteArrayView line) const;

    std::vector<TIdRange> m_ranges;
    uint32_t m_kinds = AllKinds;
    QByteArray m_text; // lower case
    std::vector<uint64_t> m_namedIds;
    TFrameText m_decodedText;
};
