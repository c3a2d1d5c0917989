#include "ui/widgets/CopyableTableView.h"

#include "ui/widgets/PlainCellDelegate.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>

TCopyableTableView::TCopyableTableView(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWordWrap(false);
    setAlternatingRowColors(true);
    // Rows of one height: the view then finds the rows in sight without measuring any.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    setItemDelegate(new TPlainCellDelegate(this));
    SetStrokedGrid(false);
}

void TCopyableTableView::SetStrokedGrid(bool stroked)
{
    // The cells keep their one-pixel gap either way; only who draws the lines changes.
    setGridStyle(stroked ? Qt::SolidLine : Qt::NoPen);
    viewport()->update();
}

void TCopyableTableView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (!showGrid() || gridStyle() != Qt::NoPen || !model())
        return;
    // The lines where QTableView puts them: below each row and right of each column in sight,
    // across the dirty area cut to the cells.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor color = QColor::fromRgba(QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QHeaderView *rows = verticalHeader();
    const QHeaderView *columns = horizontalHeader();
    const bool rightToLeft = isRightToLeft();
    const int lastX = columns->length() - columns->offset() - (rightToLeft ? 0 : 1);
    const int lastY = rows->length() - rows->offset() - 1;
    QPainter painter(viewport());
    for (QRect dirty : event->region()) {
        dirty.setBottom(std::min(dirty.bottom(), lastY));
        if (rightToLeft)
            dirty.setLeft(std::max(dirty.left(), viewport()->width() - lastX));
        else
            dirty.setRight(std::min(dirty.right(), lastX));
        if (!dirty.isValid())
            continue;
        int left = columns->visualIndexAt(dirty.left());
        int right = columns->visualIndexAt(dirty.right());
        if (rightToLeft)
            std::swap(left, right);
        if (left == -1)
            left = 0;
        if (right == -1)
            right = columns->count() - 1;
        int bottom = rows->visualIndexAt(dirty.bottom());
        if (bottom == -1)
            bottom = rows->count() - 1;
        const int top = rows->visualIndexAt(dirty.top());
        if (top == -1 || top > bottom)
            continue;
        while (bottom > top && rows->isSectionHidden(rows->logicalIndex(bottom)))
            --bottom;
        for (int visual = top; visual <= bottom; ++visual) {
            const int row = rows->logicalIndex(visual);
            if (rows->isSectionHidden(row))
                continue;
            const int y = rowViewportPosition(row) + rowHeight(row) - 1;
            painter.fillRect(QRect(dirty.left(), y, dirty.width(), 1), color);
        }
        for (int visual = left; visual <= right; ++visual) {
            const int column = columns->logicalIndex(visual);
            if (columns->isSectionHidden(column))
                continue;
            const int x = columnViewportPosition(column) + (rightToLeft ? 0 : columnWidth(column) - 1);
            painter.fillRect(QRect(x, dirty.top(), 1, dirty.height()), color);
        }
    }
}

QString TCopyableTableView::SelectedRowsText() const
{
    if (!model() || !selectionModel())
        return {};
    // Ranges, not indexes: a million selected rows are one range.
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange &r : selectionModel()->selection())
        ranges.emplace_back(r.top(), r.bottom());
    std::sort(ranges.begin(), ranges.end());
    QString text;
    int last = -1;
    for (const auto &[top, bottom] : ranges) {
        for (int row = std::max(top, last + 1); row <= bottom; ++row) {
            for (int column = 0; column < model()->columnCount(); ++column) {
                if (column)
                    text += QLatin1Char('\t');
                text += model()->index(row, column).data().toString();
            }
            text += QLatin1Char('\n');
            last = row;
        }
    }
    return text;
}

void TCopyableTableView::CopySelectedRows()
{
    const QString text = SelectedRowsText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TCopyableTableView::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Copy) {
        CopySelectedRows();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
