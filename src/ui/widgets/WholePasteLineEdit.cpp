#include "ui/widgets/WholePasteLineEdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

bool TWholePasteLineEdit::Fits(const QString &text) const
{
    return text.size() + this->text().size() - selectedText().size() <= maxLength();
}

bool TWholePasteLineEdit::PasteWhole(const QString &text)
{
    if (isReadOnly())
        return false;
    if (!Fits(text)) {
        emit Refused(QStringLiteral("The pasted text has %1 characters; the field holds at most %2. Nothing was "
                                    "pasted.")
                         .arg(text.size())
                         .arg(maxLength()));
        return false;
    }
    insert(text);
    return true;
}

void TWholePasteLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Paste) {
        PasteWhole(QApplication::clipboard()->text());
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TWholePasteLineEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, this, &QLineEdit::paste);
            connect(action, &QAction::triggered, this, [this] { PasteWhole(QApplication::clipboard()->text()); });
        }
    }
    menu->popup(event->globalPos());
}

void TWholePasteLineEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QClipboard *clipboard = QApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
        const QString text = clipboard->text(QClipboard::Selection);
        if (!Fits(text)) {
            PasteWhole(text); // refuses and says why
            event->accept();
            return;
        }
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TWholePasteLineEdit::dropEvent(QDropEvent *event)
{
    const QString text = event->mimeData() ? event->mimeData()->text() : QString();
    if (!Fits(text)) {
        PasteWhole(text);
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}
