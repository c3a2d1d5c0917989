#include "controls/ValEdit1.h"

#include "common/StrToInt.h"
#include "controls/NumberText.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

namespace {

constexpr QChar BackspaceChar(0x08);

// The character message the key press would have produced in a Windows edit control, or an
// empty string when it produces none (Delete, arrows, Home/End, Insert, function keys).
// Decided by key and modifiers first: X11 gives Delete the text "\x7f" and Ctrl+V "\x16".
QString CharMessageOf(const QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    switch (e->key()) {
    case Qt::Key_Backspace:
        return QString(QChar(ctrl ? 0x7F : 0x08));
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QString(QChar(ctrl ? 0x0A : 0x0D));
    case Qt::Key_Escape:
        return QString(QChar(0x1B));
    default:
        break;
    }
    // Ctrl+letter is a control character; Ctrl+Alt is AltGr and types what the layout says.
    if (ctrl && !alt && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
        return QString(QChar(e->key() - Qt::Key_A + 1));
    // Anything QLineEdit could insert counts as typed, whatever the modifiers, so no key
    // combination slips a character past the filter.
    const QString t = e->text();
    if (t.isEmpty())
        return {};
    const QChar c = t.front();
    if (c.isPrint() || c.isHighSurrogate() || c.category() == QChar::Other_Format
        || c.category() == QChar::Other_PrivateUse)
        return t;
    return {};
}

bool IsParentKey(const QString &chars)
{
    return chars.size() == 1 && (chars.front() == QChar(0x0D) || chars.front() == QChar(0x0A) || chars.front() == QChar(0x1B));
}

} // namespace

TNumberEdit::TNumberEdit(QWidget *owner)
    : QLineEdit(owner)
{
    setText(QStringLiteral("0"));
    // A Windows edit control takes no dropped text; a drop would bypass the typing rules.
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

void TNumberEdit::setKind(TNumberEditKind kind)
{
    FKind = kind;
    switch (kind) {
    case neHex:
        FAllowedChars = QStringLiteral("0123456789abcdefABCDEF");
        break;
    case neBin:
        FAllowedChars = QStringLiteral("01");
        break;
    case neDec:
    default:
        FAllowedChars = QStringLiteral("0123456789");
        break;
    }
}

void TNumberEdit::setValue(int32_t v)
{
    if (FMaxValue != 0 && v > FMaxValue)
        v = FMaxValue;
    FValue = v;
    setText(ValueText(v));
}

void TNumberEdit::setMaxValue(int32_t m)
{
    FMaxValue = m;
    if (m != 0 && m < FValue)
        setValue(m);
}

void TNumberEdit::setMaxLength(int length)
{
    FMaxLength = std::max(length, 0);
}

QString TNumberEdit::ValueText(int32_t v) const
{
    switch (FKind) {
    case neHex:
        return IntToHexText(v);
    case neBin:
        return IntToBinText(v);
    case neDec:
    default:
        return IntToStr(v);
    }
}

bool TNumberEdit::ReadText(const QString &t, int32_t &v) const
{
    // Characters that only a paste or a program can bring in are rejected like a decimal text
    // that does not convert, instead of being valued as something.
    switch (FKind) {
    case neHex:
        v = HexTextToInt(t);
        return IsHexText(t);
    case neBin:
        v = BinTextToInt(t);
        return IsBinText(t);
    case neDec:
    default:
        return TryStrToInt(t, v);
    }
}

bool TNumberEdit::WithinBound(const QString &t, int32_t v) const
{
    if (FMaxValue == 0)
        return true;
    if (v > FMaxValue || v < 0)
        return false;
    // The length test refuses leading zeros that would make the text longer than the bound.
    const QString bound = ValueText(FMaxValue);
    if (t.size() != bound.size())
        return t.size() < bound.size();
    // Digit by digit; lower-case hexadecimal digits weigh what their capitals do.
    const QString digits = FKind == neHex ? t.toUpper() : t;
    return QString::compare(digits, bound, Qt::CaseSensitive) <= 0;
}

void TNumberEdit::AbortChange()
{
    if (FChangeDepth > 0)
        FChangeAborted = true;
}

void TNumberEdit::Change()
{
    ++FChangeDepth;
    const QString t = text();
    if (t.isEmpty()) {
        FValue = 0;
    } else {
        int32_t v = 0;
        if (ReadText(t, v) && WithinBound(t, v)) {
            FValue = v;
            FLastText = t;
        } else {
            Reject();
        }
    }
    // A copy, so that a subscriber may replace OnChange while it runs.
    if (!FChangeAborted)
        if (const auto handler = OnChange)
            handler(this);
    if (--FChangeDepth == 0)
        FChangeAborted = false;
}

void TNumberEdit::Reject()
{
    // Putting LastText back is itself a change when it differs: the change handling runs again,
    // nested, reads Value from it and raises OnChange for it before we go on.
    setText(FLastText);
    deselect();
    setCursorPosition(std::clamp(FLastSelStart, 0, int(text().size())));
}

void TNumberEdit::CaptureForCharMessage()
{
    FLastText = text();
    FLastSelStart = hasSelectedText() ? selectionStart() : cursorPosition();
}

QString TNumberEdit::FitToRoom(QString s) const
{
    if (FMaxLength > 0) {
        const qsizetype kept = text().size() - selectedText().size();
        s.truncate(std::max<qsizetype>(FMaxLength - kept, 0));
    }
    return s;
}

QString TNumberEdit::AdmitTyped(const QString &chars) const
{
    QString kept;
    for (QChar c : chars)
        if (FAllowedChars.contains(c))
            kept += c;
    if (FUpperCase)
        kept = kept.toUpper();
    return FitToRoom(kept);
}

void TNumberEdit::PasteFrom(QClipboard::Mode mode)
{
    if (isReadOnly())
        return;
    QString s = QGuiApplication::clipboard()->text(mode);
    if (FUpperCase)
        s = s.toUpper();
    s = FitToRoom(s);
    // Nothing that fits leaves the text and its selection alone, as a full Windows edit does.
    if (!s.isEmpty())
        insert(s);
}

void TNumberEdit::paste()
{
    PasteFrom(QClipboard::Clipboard);
}

QMenu *TNumberEdit::CreateContextMenu()
{
    QMenu *menu = createStandardContextMenu();
    const auto actions = menu->actions();
    // Qt 6.4 names no actions; the entry is found by its (translated) caption.
    const QString pasteCaption = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction *action : actions) {
        if (action->objectName() == QLatin1String("edit-paste")
            || action->text().section(QLatin1Char('\t'), 0, 0) == pasteCaption) {
            action->disconnect(this);
            connect(action, &QAction::triggered, this, [this] { paste(); });
        }
    }
    return menu;
}

bool TNumberEdit::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        // QLineEdit claims Ctrl+V, Ctrl+C, Ctrl+X, Ctrl+Z, Ctrl+A for itself. A character the
        // filter drops is not the field's to claim: leave it to the window's shortcuts, and
        // the key press that may follow is dropped by keyPressEvent.
        auto *ke = static_cast<QKeyEvent *>(e);
        const QString chars = CharMessageOf(ke);
        if (!chars.isEmpty() && chars.front() != BackspaceChar) {
            bool known = true;
            for (QChar c : chars)
                known = known && FAllowedChars.contains(c);
            if (!known) {
                ke->ignore();
                return true;
            }
        }
    }
    return QLineEdit::event(e);
}

void TNumberEdit::keyPressEvent(QKeyEvent *e)
{
    const QString chars = CharMessageOf(e);
    if (chars.isEmpty()) {
        // No character message: the change handling judges what the key produces. Only the
        // paste keys are taken over, for the length limit and the capitals.
        if (e->matches(QKeySequence::Paste)) {
            const bool selection = QGuiApplication::clipboard()->supportsSelection() && e->key() == Qt::Key_Insert
                && (e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) == (Qt::ControlModifier | Qt::ShiftModifier);
            PasteFrom(selection ? QClipboard::Selection : QClipboard::Clipboard);
            e->accept();
            return;
        }
        QLineEdit::keyPressEvent(e);
        return;
    }

    CaptureForCharMessage();
    if (chars.front() == BackspaceChar) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    const QString typed = AdmitTyped(chars);
    if (typed.isEmpty()) {
        // Dropped, or no room left. Enter and Escape go on to the parent (default buttons).
        if (IsParentKey(chars))
            e->ignore();
        else
            e->accept();
        return;
    }
    if (typed == chars) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    QKeyEvent admitted(e->type(), e->key(), e->modifiers(), e->nativeScanCode(), e->nativeVirtualKey(),
                       e->nativeModifiers(), typed, e->isAutoRepeat(), e->count(), e->device());
    QLineEdit::keyPressEvent(&admitted);
    e->setAccepted(admitted.isAccepted());
}

void TNumberEdit::inputMethodEvent(QInputMethodEvent *e)
{
    // Committed input-method text is typed text: it goes through the same filter.
    const QString commit = e->commitString();
    if (commit.isEmpty()) {
        QLineEdit::inputMethodEvent(e);
        return;
    }
    CaptureForCharMessage();
    const QString typed = AdmitTyped(commit);
    if (typed == commit) {
        QLineEdit::inputMethodEvent(e);
        return;
    }
    QInputMethodEvent admitted(e->preeditString(), e->attributes());
    admitted.setCommitString(typed, e->replacementStart(), e->replacementLength());
    QLineEdit::inputMethodEvent(&admitted);
    e->setAccepted(admitted.isAccepted());
}

void TNumberEdit::contextMenuEvent(QContextMenuEvent *e)
{
    QMenu *menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
    e->accept();
}

void TNumberEdit::mouseReleaseEvent(QMouseEvent *e)
{
    // X11 pastes the primary selection on a middle click; it obeys the same limits as a paste.
    if (e->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        if (!isReadOnly()) {
            deselect();
            PasteFrom(QClipboard::Selection);
        }
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}
