#include "ui/widgets/PlainCellDelegate.h"

#include <QFontMetrics>
#include <QPainter>

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
    qreal width = 0;
    if (m_glyphs.Width(painter->font(), text, &width)) {
        const QFontMetrics metrics(painter->font());
        const qreal x = flags & Qt::AlignRight ? textRect.right() + 1 - width : textRect.left();
        const qreal baseline = textRect.top() + (textRect.height() - metrics.height()) / 2.0 + metrics.ascent();
        m_glyphs.Draw(painter, x, baseline, text);
    } else {
        painter->drawText(textRect, flags, text);
    }
    painter->restore();
}
