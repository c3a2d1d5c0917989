#pragma once
// A table view whose Copy (Ctrl+C) puts every selected row on the clipboard as text: the cells
// as shown, separated by tabs, one row per line. (QTableView copies only the current cell.)

#include <QTableView>

class TCopyableTableView : public QTableView {
    Q_OBJECT
public:
    explicit TCopyableTableView(QWidget *parent = nullptr);

    // The selected rows as the clipboard gets them.
    QString SelectedRowsText() const;
    void CopySelectedRows();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
