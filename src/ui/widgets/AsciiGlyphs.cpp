#include "ui/widgets/AsciiGlyphs.h"

#include <QGlyphRun>
#include <QPainter>
#include <QString>

void TAsciiGlyphs::Load(const QFont &font)
{
    m_ready = true;
    m_font = font;
    m_raw = QRawFont::fromFont(font);
    m_glyph.fill(0);
    if (!m_raw.isValid())
        return;
    QChar chars[128];
    for (int c = 0; c < 128; ++c)
        chars[c] = QChar(c < 32 || c == 127 ? ' ' : c);
    int count = 128;
    if (m_raw.glyphIndexesForChars(chars, 128, m_glyph.data(), &count) && count == 128) {
        const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(QList<quint32>(m_glyph.begin(), m_glyph.end()));
        for (int c = 0; c < 128 && c < advances.size(); ++c)
            m_advance[size_t(c)] = advances[c].x();
    } else {
        m_glyph.fill(0);
    }
}

bool TAsciiGlyphs::Width(const QFont &font, const QString &text, qreal *width)
{
    if (!m_ready || m_font != font)
        Load(font);
    qreal sum = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 32 || u > 126 || m_glyph[u] == 0)
            return false;
        sum += m_advance[u];
    }
    *width = sum;
    return true;
}

void TAsciiGlyphs::Draw(QPainter *painter, qreal x, qreal baseline, const QString &text) const
{
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    for (const QChar c : text) {
        glyphs.append(m_glyph[c.unicode()]);
        positions.append(QPointF(x, baseline));
        x += m_advance[c.unicode()];
    }
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter->drawGlyphRun(QPointF(0, 0), run);
}
