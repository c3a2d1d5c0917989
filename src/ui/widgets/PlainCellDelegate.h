#pragma once
// Draws a table cell as one run of plain text on its row's background: the frame monitor's
// cells are short, single-line and unstyled, and the item view's general delegate (text layout,
// eliding, icons, focus frames per cell) costs several times as much for each repaint of a
// table that changes ten times a second.

#include "ui/widgets/AsciiGlyphs.h"

#include <QStyledItemDelegate>

class TPlainCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    mutable TAsciiGlyphs m_glyphs;
};
