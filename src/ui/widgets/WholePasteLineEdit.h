#pragma once
// A line edit that takes a paste (keys, context menu, middle button, drop) whole or not at
// all: text longer than the field can hold is refused with a message instead of being cut, so
// what the field shows is always what the user put there.

#include <QLineEdit>

class TWholePasteLineEdit : public QLineEdit {
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

    // Inserts `text` at the cursor, over the selection; false (and Refused) when the field
    // would then hold more than maxLength() characters.
    bool PasteWhole(const QString &text);

signals:
    void Refused(const QString &message);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool Fits(const QString &text) const;
};
