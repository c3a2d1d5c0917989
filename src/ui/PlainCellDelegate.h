#pragma once
// Draws a table cell as one run of plain text on its row's background: the frame monitor's
// cells are short, single-line and unstyled, and the item view's general delegate (text layout,
// eliding, icons, focus frames per cell) costs several times as much for each repaint of a
// table that changes ten times a second.

#include <QFont>
#include <QRawFont>
#include <QStyledItemDelegate>

#include <array>

class TPlainCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    // Printable ASCII glyphs of the painter's font, looked up once: a cell of such text is then
    // placed glyph by glyph by the advances, without shaping it again on every repaint.
    struct TAsciiGlyphs {
        QFont font;
        QRawFont raw;
        std::array<quint32, 128> glyph{};
        std::array<qreal, 128> advance{};
    };
    bool DrawAscii(QPainter *painter, const QRect &rect, int flags, const QString &text) const;
    mutable TAsciiGlyphs m_glyphs;
    mutable bool m_glyphsReady = false;
};
