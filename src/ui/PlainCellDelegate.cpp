#include "ui/PlainCellDelegate.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>

bool TPlainCellDelegate::DrawAscii(QPainter *painter, const QRect &rect, int flags, const QString &text) const
{
    if (!m_glyphsReady || m_glyphs.font != painter->font()) {
        m_glyphsReady = true;
        m_glyphs.font = painter->font();
        m_glyphs.raw = QRawFont::fromFont(m_glyphs.font);
        m_glyphs.glyph.fill(0);
        if (m_glyphs.raw.isValid()) {
            QChar chars[128];
            for (int c = 0; c < 128; ++c)
                chars[c] = QChar(c < 32 || c == 127 ? ' ' : c);
            int count = 128;
            if (m_glyphs.raw.glyphIndexesForChars(chars, 128, m_glyphs.glyph.data(), &count) && count == 128) {
                const QList<QPointF> advances = m_glyphs.raw.advancesForGlyphIndexes(
                    QList<quint32>(m_glyphs.glyph.begin(), m_glyphs.glyph.end()));
                for (int c = 0; c < 128 && c < advances.size(); ++c)
                    m_glyphs.advance[size_t(c)] = advances[c].x();
            } else {
                m_glyphs.glyph.fill(0);
            }
        }
    }
    // Anything but printable ASCII in this font: the general path, which shapes and falls back.
    qreal width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 32 || u > 126 || m_glyphs.glyph[u] == 0)
            return false;
        width += m_glyphs.advance[u];
    }
    const QFontMetrics metrics(m_glyphs.font);
    qreal x = flags & Qt::AlignRight ? rect.right() + 1 - width : rect.left();
    const qreal baseline = rect.top() + (rect.height() - metrics.height()) / 2.0 + metrics.ascent();
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    for (const QChar c : text) {
        glyphs.append(m_glyphs.glyph[c.unicode()]);
        positions.append(QPointF(x, baseline));
        x += m_glyphs.advance[c.unicode()];
    }
    QGlyphRun run;
    run.setRawFont(m_glyphs.raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter->drawGlyphRun(QPointF(0, 0), run);
    return true;
}

void TPlainCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    else if (option.features & QStyleOptionViewItem::Alternate)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::AlternateBase));
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const QVariant alignment = index.data(Qt::TextAlignmentRole);
    const int flags = (alignment.isValid() ? alignment.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter)) | Qt::TextSingleLine;
    painter->save();
    painter->setClipRect(option.rect);
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect = option.rect.adjusted(4, 0, -4, 0);
    if (!DrawAscii(painter, textRect, flags, text))
        painter->drawText(textRect, flags, text);
    painter->restore();
}
