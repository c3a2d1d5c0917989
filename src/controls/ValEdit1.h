#pragma once
// src/controls: the number entry field and its number/text conversions.
// Uses common and Qt Widgets; no other layer of the program.
//
// TNumberEdit: a single-line field that holds one integer in decimal, hexadecimal or binary
// digits. Typed characters outside the field's digits are dropped before the edit control sees
// them; every change of the text is read again, and a text that breaks the field's rules falls
// back to the last good one. OnChange follows every change handling.

#include <QClipboard>
#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <functional>

class QMenu;

enum TNumberEditKind : uint8_t { neDec = 0, neHex = 1, neBin = 2 };

class TNumberEdit : public QLineEdit {
    Q_OBJECT

public:
    // The text "0" set here is not handled: Value stays 0 and LastText empty. Until a Kind is
    // assigned, no character other than Backspace gets through.
    explicit TNumberEdit(QWidget *owner = nullptr);

    // Assigning stores the kind and its digits; the text and Value are left as they are.
    TNumberEditKind Kind() const { return FKind; }
    void setKind(TNumberEditKind kind);

    // Assigning clamps to MaxValue (upwards only), stores, and writes the number into the text;
    // a changed text then goes through the change handling, which may set Value again.
    int32_t Value() const { return FValue; }
    void setValue(int32_t v);

    // 0 means no bound at all, neither upper nor lower.
    int32_t MaxValue() const { return FMaxValue; }
    void setMaxValue(int32_t m);

    // Limits what the user types or pastes (0 = no limit). A text set by program is never cut,
    // and lowering the limit leaves the current text alone. Hides QLineEdit::setMaxLength, whose
    // limit stays at Qt's default.
    int MaxLength() const { return FMaxLength; }
    void setMaxLength(int length);

    // Typed and pasted letters become capitals; a text set by program is left as given.
    bool UpperCase() const { return FUpperCase; }
    void setUpperCase(bool upper) { FUpperCase = upper; }

    QString AllowedChars() const { return FAllowedChars; }
    QString LastText() const { return FLastText; }
    int LastSelStart() const { return FLastSelStart; }

    // Inserts the clipboard text as a user's paste: capitals when UpperCase, cut to the room
    // MaxLength leaves. Hides QLineEdit::paste.
    void paste();

    // The edit control's context menu with its Paste entry routed through paste() above.
    // The caller owns the menu.
    QMenu *CreateContextMenu();

    // Raised with the field as sender at the end of every change handling: after an accepted
    // change, a rejected one, and when the text became empty.
    std::function<void(QObject *sender)> OnChange;

    // Called by an OnChange subscriber whose handling failed and was reported: the change
    // handling ends at every level, so an outer level does not raise OnChange again for the same
    // failure (one failure, one report).
    void AbortChange();

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void Change();
    void Reject();
    void CaptureForCharMessage();
    bool ReadText(const QString &t, int32_t &v) const;
    bool WithinBound(const QString &t, int32_t v) const;
    QString ValueText(int32_t v) const;
    QString AdmitTyped(const QString &chars) const;
    QString FitToRoom(QString s) const;
    void PasteFrom(QClipboard::Mode mode);

    TNumberEditKind FKind = neDec;
    int32_t FValue = 0;
    int32_t FMaxValue = 0;
    QString FAllowedChars;
    QString FLastText;
    int FLastSelStart = 0;
    int FMaxLength = 0;
    bool FUpperCase = false;
    int FChangeDepth = 0;
    bool FChangeAborted = false;
};
