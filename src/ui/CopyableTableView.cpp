#include "ui/CopyableTableView.h"

#include "ui/PlainCellDelegate.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>

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
