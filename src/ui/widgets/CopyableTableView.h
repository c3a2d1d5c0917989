#pragma once
// src/ui/widgets: the lowest window room, shared widgets (copyable table, cell delegate, whole-paste
// line edit, glyph cache, JPEG pictures). Uses Qt Widgets and common only; every room above may use it.
//
// A table view whose Copy (Ctrl+C) puts every selected row on the clipboard as text: the cells
// as shown, separated by tabs, one row per line. (QTableView copies only the current cell.)
// Its grid lines are filled as one-pixel rectangles: QTableView strokes them with a pen through
// the general path, which cost about a third of each repaint of a busy table.

#include <QTableView>

class TCopyableTableView : public QTableView {
    Q_OBJECT
public:
    explicit TCopyableTableView(QWidget *parent = nullptr);

    // The selected rows as the clipboard gets them.
    QString SelectedRowsText() const;
    void CopySelectedRows();

    // The grid drawn by QTableView itself, as a reference for the filled one.
    void SetStrokedGrid(bool stroked);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
