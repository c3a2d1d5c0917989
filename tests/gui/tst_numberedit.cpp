// The number field driven by key events as the platform delivers them.

#include "controls/ValEdit1.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <memory>

namespace {

// A shown, focused field in a window that records the keys its children pass on.
class Host : public QWidget {
public:
    QList<int> passedKeys;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        // QTest presses the modifier keys on their own; those are no characters.
        if (e->key() != Qt::Key_Shift && e->key() != Qt::Key_Control)
            passedKeys << e->key();
    }
};

struct Seen {
    QString text;
    int value;
};

struct Field {
    Host host;
    TNumberEdit *edit;
    QList<Seen> changes; // what each OnChange saw

    Field(TNumberEditKind kind, int maxLength = 0, int32_t maxValue = 0, bool upper = false)
        : edit(new TNumberEdit(&host))
    {
        edit->setKind(kind);
        edit->setMaxLength(maxLength);
        edit->setMaxValue(maxValue);
        edit->setUpperCase(upper);
        edit->OnChange = [this](QObject *sender) {
            QCOMPARE(sender, edit);
            changes << Seen{edit->text(), edit->Value()};
        };
        host.resize(200, 40);
        edit->setGeometry(10, 10, 120, 21);
        host.show();
        host.activateWindow();
        edit->setFocus();
    }

    // Sets a starting text through the change handling and forgets the notifications.
    void start(const QString &text)
    {
        edit->setText(text);
        changes.clear();
    }
};

// A key press and release with the text X11 gives the key.
void press(QWidget *w, Qt::Key key, const QString &text, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::sendKeyEvent(QTest::Press, w, key, text, mods);
    QTest::sendKeyEvent(QTest::Release, w, key, text, mods);
}

void backspace(QWidget *w) { press(w, Qt::Key_Backspace, QStringLiteral("\b")); }
void del(QWidget *w) { press(w, Qt::Key_Delete, QStringLiteral("\x7f")); }
void ctrl(QWidget *w, Qt::Key letter)
{
    press(w, letter, QString(QChar(letter - Qt::Key_A + 1)), Qt::ControlModifier);
}
void shiftInsert(QWidget *w) { press(w, Qt::Key_Insert, QString(), Qt::ShiftModifier); }

void typeChar(QWidget *w, QChar c)
{
    const ushort u = c.toUpper().unicode();
    Qt::Key key = Qt::Key(u);
    if (c == QLatin1Char(' '))
        key = Qt::Key_Space;
    press(w, key, QString(c), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
}

void type(QWidget *w, const QString &s)
{
    for (QChar c : s)
        typeChar(w, c);
}

void commit(QWidget *w, const QString &s)
{
    QInputMethodEvent e;
    e.setCommitString(s);
    QCoreApplication::sendEvent(w, &e);
}

} // namespace

Q_DECLARE_METATYPE(TNumberEditKind)

class TestNumberEdit : public QObject {
    Q_OBJECT

private slots:
    void init() { QGuiApplication::clipboard()->clear(); }

    void freshFieldHoldsAnUnhandledZero()
    {
        TNumberEdit edit;
        QCOMPARE(edit.text(), QStringLiteral("0"));
        QCOMPARE(edit.Kind(), neDec);
        QCOMPARE(edit.Value(), 0);
        QCOMPARE(edit.MaxValue(), 0);
        QCOMPARE(edit.LastText(), QString()); // the "0" did not go through the change handling
        QCOMPARE(edit.LastSelStart(), 0);
        QCOMPARE(edit.AllowedChars(), QString());
        QVERIFY(!edit.OnChange);
    }

    void withoutKindOnlyBackspacePasses()
    {
        Host host;
        TNumberEdit edit(&host);
        int raised = 0;
        edit.OnChange = [&](QObject *) { ++raised; };
        type(&edit, QStringLiteral("15"));
        QCOMPARE(edit.text(), QStringLiteral("0"));
        backspace(&edit);
        QCOMPARE(edit.text(), QString());
        QCOMPARE(raised, 1);
    }

    void kindSetsItsDigits_data()
    {
        QTest::addColumn<TNumberEditKind>("kind");
        QTest::addColumn<QString>("digits");
        QTest::newRow("decimal") << neDec << "0123456789";
        QTest::newRow("hexadecimal") << neHex << "0123456789abcdefABCDEF";
        QTest::newRow("binary") << neBin << "01";
    }
    void kindSetsItsDigits()
    {
        QFETCH(TNumberEditKind, kind);
        QFETCH(QString, digits);
        Field f(kind);
        f.start(QString());
        QCOMPARE(f.edit->AllowedChars(), digits);
        type(f.edit, digits);
        QCOMPARE(f.edit->text(), digits);
        QCOMPARE(f.changes.size(), digits.size());
    }

    void foreignCharactersChangeNothing_data()
    {
        QTest::addColumn<TNumberEditKind>("kind");
        QTest::addColumn<QString>("typed");
        for (const auto &[kind, name] : {std::pair{neDec, "dec"}, std::pair{neHex, "hex"}, std::pair{neBin, "bin"}}) {
            QTest::addRow("G in %s", name) << kind << "G";
            QTest::addRow("minus in %s", name) << kind << "-";
            QTest::addRow("blank in %s", name) << kind << " ";
            QTest::addRow("plus in %s", name) << kind << "+";
        }
        QTest::newRow("2 in bin") << neBin << "2";
        QTest::newRow("a in dec") << neDec << "a";
    }
    void foreignCharactersChangeNothing()
    {
        QFETCH(TNumberEditKind, kind);
        QFETCH(QString, typed);
        Field f(kind);
        f.start(QStringLiteral("110"));
        f.edit->setCursorPosition(1);
        QSignalSpy edited(f.edit, &QLineEdit::textEdited);
        type(f.edit, typed);
        QCOMPARE(f.edit->text(), QStringLiteral("110"));
        QCOMPARE(f.edit->cursorPosition(), 1);
        QCOMPARE(f.edit->LastSelStart(), 1); // captured although dropped
        QCOMPARE(edited.size(), 0);
        QCOMPARE(f.changes.size(), 0);
        QVERIFY(f.host.passedKeys.isEmpty());
    }

    void droppedCharacterStillCapturesLastText()
    {
        Field f(neDec, 0, 8);
        f.start(QStringLiteral("5"));
        f.edit->selectAll();
        backspace(f.edit);
        QCOMPARE(f.edit->text(), QString());
        QCOMPARE(f.edit->LastText(), QStringLiteral("5")); // an emptied text is not taken
        type(f.edit, QStringLiteral("G"));
        QCOMPARE(f.edit->LastText(), QString());
        // A rejected program text now falls back to the captured empty text, not to "5".
        f.edit->setText(QStringLiteral("9"));
        QCOMPARE(f.edit->text(), QString());
        QCOMPARE(f.edit->Value(), 0);
    }

    void backspaceEmptyingTheFieldReadsZero()
    {
        Field f(neHex, 2, 0, true);
        f.start(QStringLiteral("7"));
        QCOMPARE(f.edit->Value(), 7);
        backspace(f.edit);
        QCOMPARE(f.edit->text(), QString());
        QCOMPARE(f.edit->Value(), 0);
        QCOMPARE(f.changes.size(), 1);
        QCOMPARE(f.changes[0].value, 0);
        // Backspace in an empty field changes no text and raises nothing.
        backspace(f.edit);
        QCOMPARE(f.changes.size(), 1);
    }

    void clipboardControlKeysDoNothing()
    {
        Field f(neDec, 5);
        f.start(QStringLiteral("123"));
        QClipboard *cb = QGuiApplication::clipboard();
        cb->setText(QStringLiteral("45"));
        f.edit->end(false);
        ctrl(f.edit, Qt::Key_V);
        QCOMPARE(f.edit->text(), QStringLiteral("123"));

        f.edit->selectAll();
        ctrl(f.edit, Qt::Key_X);
        QCOMPARE(f.edit->text(), QStringLiteral("123"));
        QCOMPARE(cb->text(), QStringLiteral("45"));
        ctrl(f.edit, Qt::Key_C);
        QCOMPARE(cb->text(), QStringLiteral("45"));
        QVERIFY(f.edit->hasSelectedText()); // Ctrl+A would have kept it too; Ctrl+Z must not undo
        ctrl(f.edit, Qt::Key_Z);
        QCOMPARE(f.edit->text(), QStringLiteral("123"));
        QCOMPARE(f.changes.size(), 0);
    }

    void droppedControlKeysAreLeftToWindowShortcuts()
    {
        Field f(neDec);
        QAction action(&f.host);
        action.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
        f.host.addAction(&action);
        QSignalSpy fired(&action, &QAction::triggered);
        QVERIFY(QTest::qWaitForWindowActive(&f.host));
        f.edit->setFocus();
        QTRY_VERIFY(f.edit->hasFocus());
        QGuiApplication::clipboard()->setText(QStringLiteral("7"));
        QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(fired.size(), 1);
        QCOMPARE(f.edit->text(), QStringLiteral("0"));
    }

    void shiftInsertPastesAndIsJudged()
    {
        Field f(neHex, 3, 2047, true);
        f.start(QStringLiteral("1"));
        QClipboard *cb = QGuiApplication::clipboard();

        cb->setText(QStringLiteral("7fe"));
        f.edit->selectAll();
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("7FE"));
        QCOMPARE(f.edit->Value(), 0x7FE);

        cb->setText(QStringLiteral("800"));
        f.edit->selectAll();
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("7FE"));
        QCOMPARE(f.edit->Value(), 0x7FE);
    }

    void pasteOfForeignCharactersFallsBack_data()
    {
        QTest::addColumn<TNumberEditKind>("kind");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("pasted");
        QTest::newRow("hex with blank") << neHex << "A" << " 1";
        QTest::newRow("hex with sign") << neHex << "A" << "-1";
        QTest::newRow("hex with prefix") << neHex << "A" << "$1";
        QTest::newRow("bin with 2") << neBin << "1" << "12";
        QTest::newRow("dec with letter") << neDec << "5" << "1A";
        QTest::newRow("dec out of range") << neDec << "5" << "2147483648";
    }
    void pasteOfForeignCharactersFallsBack()
    {
        QFETCH(TNumberEditKind, kind);
        QFETCH(QString, start);
        QFETCH(QString, pasted);
        Field f(kind);
        f.start(start);
        const int before = f.edit->Value();
        QGuiApplication::clipboard()->setText(pasted);
        f.edit->selectAll();
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), start);
        QCOMPARE(f.edit->Value(), before);
        QVERIFY(!f.changes.isEmpty());
    }

    void pasteIsCutToTheRoomLeft()
    {
        Field f(neHex, 3, 0, true);
        f.start(QStringLiteral("1"));
        QGuiApplication::clipboard()->setText(QStringLiteral("abcdef"));
        f.edit->end(false);
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("1AB"));

        // Full and nothing selected: nothing happens.
        f.changes.clear();
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("1AB"));
        QCOMPARE(f.changes.size(), 0);

        // A selection makes room.
        f.edit->setSelection(1, 2);
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("1AB"));
        f.edit->setSelection(0, 1);
        QGuiApplication::clipboard()->setText(QStringLiteral("ef"));
        shiftInsert(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("EAB"));
    }

    void contextMenuPasteObeysTheSameRules()
    {
        Field f(neHex, 2, 0, true);
        f.start(QString());
        QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
        std::unique_ptr<QMenu> menu(f.edit->CreateContextMenu());
        QAction *paste = nullptr;
        for (QAction *a : menu->actions())
            if (a->text().startsWith(QLatin1String("&Paste")))
                paste = a;
        QVERIFY(paste);
        paste->trigger();
        QCOMPARE(f.edit->text(), QStringLiteral("AB"));
        QCOMPARE(f.edit->Value(), 0xAB);
        QCOMPARE(f.changes.size(), 1);
    }

    void deleteIsNotFilteredButJudged()
    {
        Field f(neBin, 0, 0);
        f.start(QStringLiteral("101"));
        f.edit->setCursorPosition(2);
        type(f.edit, QStringLiteral("x")); // captures position 2
        f.edit->setCursorPosition(0);
        del(f.edit);
        QCOMPARE(f.edit->text(), QStringLiteral("01"));
        QCOMPARE(f.edit->Value(), 1);
        QCOMPARE(f.changes.size(), 1);
        QCOMPARE(f.edit->LastSelStart(), 2); // no character message, nothing captured
        QCOMPARE(f.edit->LastText(), QStringLiteral("01"));
    }

    void rejectedKeystrokeFallsBackWithTwoNotifications()
    {
        // The DLC field: MaxValue 8, one character.
        Field f(neDec, 1, 8);
        f.start(QStringLiteral("5"));
        f.edit->selectAll();
        type(f.edit, QStringLiteral("9"));
        QCOMPARE(f.edit->text(), QStringLiteral("5"));
        QCOMPARE(f.edit->Value(), 5);
        QCOMPARE(f.edit->cursorPosition(), 0);
        QVERIFY(!f.edit->hasSelectedText());
        QCOMPARE(f.changes.size(), 2);
        // The inner notification already saw the restored text.
        QCOMPARE(f.changes[0].text, QStringLiteral("5"));
        QCOMPARE(f.changes[0].value, 5);
        QCOMPARE(f.changes[1].text, QStringLiteral("5"));
    }

    void rejectedKeystrokePutsTheCaretWhereItWas()
    {
        Field f(neDec, 2, 8);
        f.start(QStringLiteral("5"));
        f.edit->end(false);
        type(f.edit, QStringLiteral("0"));
        QCOMPARE(f.edit->text(), QStringLiteral("5"));
        QCOMPARE(f.edit->cursorPosition(), 1);
        QCOMPARE(f.edit->LastSelStart(), 1);
        // A leading zero makes the text longer than "8": refused although the number fits.
        f.edit->home(false);
        type(f.edit, QStringLiteral("0"));
        QCOMPARE(f.edit->text(), QStringLiteral("5"));
        QCOMPARE(f.edit->cursorPosition(), 0);
    }

    void typedTextIsLimitedByMaxLength()
    {
        Field f(neDec, 3);
        f.start(QString());
        type(f.edit, QStringLiteral("12345"));
        QCOMPARE(f.edit->text(), QStringLiteral("123"));
        QCOMPARE(f.changes.size(), 3);
        // A character that replaces a selection fits.
        f.edit->setSelection(1, 1);
        type(f.edit, QStringLiteral("9"));
        QCOMPARE(f.edit->text(), QStringLiteral("193"));
        QCOMPARE(f.edit->Value(), 193);
        // Qt's own limit is not used, so program texts are not cut by it.
        QCOMPARE(f.edit->maxLength(), QLineEdit().maxLength());
    }

    void programTextIsNeverCut()
    {
        Field f(neHex, 3, 0, true);
        f.start(QStringLiteral("1"));
        f.edit->setText(QStringLiteral("12345678"));
        QCOMPARE(f.edit->text(), QStringLiteral("12345678"));
        QCOMPARE(f.edit->Value(), 0x12345678);
        f.edit->setMaxLength(2);
        QCOMPARE(f.edit->text(), QStringLiteral("12345678"));

        // With a bound, the long text reaches the change handling and is refused there.
        Field g(neHex, 3, 2047, true);
        g.start(QStringLiteral("1"));
        g.edit->setText(QStringLiteral("00000001"));
        QCOMPARE(g.edit->text(), QStringLiteral("1"));
        QCOMPARE(g.changes.size(), 2);
    }

    void upperCaseAppliesToTypedLetters()
    {
        Field upper(neHex, 8, 0, true);
        upper.start(QString());
        type(upper.edit, QStringLiteral("ab1f"));
        QCOMPARE(upper.edit->text(), QStringLiteral("AB1F"));
        QCOMPARE(upper.edit->Value(), 0xAB1F);
        upper.edit->setText(QStringLiteral("cd"));
        QCOMPARE(upper.edit->text(), QStringLiteral("cd")); // program text left as given

        Field lower(neHex, 8, 0, false);
        lower.start(QString());
        type(lower.edit, QStringLiteral("ab"));
        QCOMPARE(lower.edit->text(), QStringLiteral("ab"));
    }

    void hexBounds_data()
    {
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("value");
        QTest::newRow("11-bit top") << 2047 << "7FF" << true << 2047;
        QTest::newRow("11-bit zeros") << 2047 << "000" << true << 0;
        QTest::newRow("11-bit over") << 2047 << "800" << false << 1;
        QTest::newRow("11-bit leading zero") << 2047 << "0001" << false << 1;
        QTest::newRow("11-bit lower case within") << 2047 << "7fe" << true << 0x7FE;
        QTest::newRow("29-bit zeros") << 0x1FFFFFFF << "00000000" << true << 0;
        QTest::newRow("29-bit top") << 0x1FFFFFFF << "1FFFFFFF" << true << 0x1FFFFFFF;
        QTest::newRow("29-bit over") << 0x1FFFFFFF << "20000000" << false << 1;
        QTest::newRow("29-bit negative") << 0x1FFFFFFF << "FFFFFFFF" << false << 1;
        QTest::newRow("unbounded minus one") << 0 << "FFFFFFFF" << true << -1;
        QTest::newRow("unbounded most negative") << 0 << "80000000" << true << INT_MIN;
        QTest::newRow("unbounded ninth digit") << 0 << "100000002" << true << 2;
    }
    void hexBounds()
    {
        QFETCH(int, maxValue);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(int, value);
        Field f(neHex, 8, maxValue, true);
        f.start(QStringLiteral("1"));
        f.edit->setText(text);
        QCOMPARE(f.edit->text(), accepted ? text : QStringLiteral("1"));
        QCOMPARE(f.edit->Value(), value);
        QCOMPARE(f.edit->LastText(), accepted ? text : QStringLiteral("1"));
    }

    void decimalTexts_data()
    {
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("value");
        QTest::newRow("bound") << 8 << "8" << true << 8;
        QTest::newRow("over") << 8 << "9" << false << 3;
        QTest::newRow("leading zero") << 8 << "08" << false << 3;
        QTest::newRow("negative") << 8 << "-1" << false << 3;
        QTest::newRow("same length greater") << 500 << "501" << false << 3;
        QTest::newRow("unbounded negative") << 0 << "-5" << true << -5;
        QTest::newRow("standard conversion prefix") << 0 << "$10" << true << 16;
        QTest::newRow("not a number") << 0 << "12a" << false << 3;
        QTest::newRow("trailing blank") << 0 << "12 " << false << 3;
        QTest::newRow("out of range") << 0 << "2147483648" << false << 3;
        QTest::newRow("lowest") << 0 << "-2147483648" << true << INT_MIN;
    }
    void decimalTexts()
    {
        QFETCH(int, maxValue);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(int, value);
        Field f(neDec, 0, maxValue);
        f.start(QStringLiteral("3"));
        f.edit->setText(text); // a failed conversion must not escape the field
        QCOMPARE(f.edit->text(), accepted ? text : QStringLiteral("3"));
        QCOMPARE(f.edit->Value(), value);
        QCOMPARE(f.changes.size(), accepted ? 1 : 2);
    }

    void valueWritesText()
    {
        Field hex(neHex);
        hex.edit->setValue(255);
        QCOMPARE(hex.edit->text(), QStringLiteral("FF"));
        hex.edit->setValue(-1);
        QCOMPARE(hex.edit->text(), QStringLiteral("FFFFFFFF"));
        QCOMPARE(hex.edit->Value(), -1);

        Field bin(neBin);
        bin.edit->setValue(5);
        QCOMPARE(bin.edit->text(), QStringLiteral("101"));
        QCOMPARE(bin.changes.size(), 1);
        bin.edit->setValue(5); // same text: no change handling
        QCOMPARE(bin.changes.size(), 1);
    }

    void valueAboveTheBoundIsClamped()
    {
        Field dlc(neDec, 1, 8);
        dlc.edit->setValue(20);
        QCOMPARE(dlc.edit->text(), QStringLiteral("8"));
        QCOMPARE(dlc.edit->Value(), 8);
        QCOMPARE(dlc.edit->LastText(), QStringLiteral("8"));
    }

    void negativeValueWithABoundFallsBack()
    {
        Field f(neDec, 1, 8);
        f.edit->setValue(-5);
        QCOMPARE(f.edit->text(), QString()); // LastText was still empty
        QCOMPARE(f.edit->Value(), 0);
        QCOMPARE(f.changes.size(), 2);

        Field g(neDec, 1, 8);
        g.start(QStringLiteral("3"));
        g.edit->setValue(-5);
        QCOMPARE(g.edit->text(), QStringLiteral("3"));
        QCOMPARE(g.edit->Value(), 3);
    }

    void maxValueBelowValueRewritesText()
    {
        Field f(neHex, 3, 0, true);
        f.start(QStringLiteral("7FF"));
        f.edit->setMaxValue(255);
        QCOMPARE(f.edit->text(), QStringLiteral("FF"));
        QCOMPARE(f.edit->Value(), 255);
        QCOMPARE(f.changes.size(), 1);

        f.edit->setMaxValue(4095);
        f.edit->setMaxValue(0);
        QCOMPARE(f.edit->text(), QStringLiteral("FF"));
        QCOMPARE(f.edit->Value(), 255);
        QCOMPARE(f.changes.size(), 1);
    }

    void kindChangeKeepsTextAndValue()
    {
        Field f(neHex, 8, 0, true);
        f.start(QStringLiteral("1F"));
        f.edit->setKind(neDec);
        QCOMPARE(f.edit->text(), QStringLiteral("1F"));
        QCOMPARE(f.edit->Value(), 0x1F);
        QCOMPARE(f.changes.size(), 0);
        f.edit->end(false);
        type(f.edit, QStringLiteral("A"));
        QCOMPARE(f.edit->text(), QStringLiteral("1F"));
        // The next written value follows the new kind.
        f.edit->setValue(12);
        QCOMPARE(f.edit->text(), QStringLiteral("12"));
    }

    void enterAndEscapeReachTheParent()
    {
        Field f(neDec);
        QSignalSpy returned(f.edit, &QLineEdit::returnPressed);
        press(f.edit, Qt::Key_Return, QStringLiteral("\r"));
        press(f.edit, Qt::Key_Escape, QStringLiteral("\x1b"));
        QCOMPARE(f.host.passedKeys, QList<int>({Qt::Key_Return, Qt::Key_Escape}));
        QCOMPARE(returned.size(), 0);
        QCOMPARE(f.edit->text(), QStringLiteral("0"));
        QCOMPARE(f.edit->LastText(), QStringLiteral("0")); // captured as character messages
    }

    void inputMethodTextIsFiltered()
    {
        Field f(neHex, 4, 0, true);
        f.start(QString());
        commit(f.edit, QStringLiteral("g"));
        QCOMPARE(f.edit->text(), QString());
        commit(f.edit, QStringLiteral("a-1"));
        QCOMPARE(f.edit->text(), QStringLiteral("A1"));
        commit(f.edit, QStringLiteral("bcd"));
        QCOMPARE(f.edit->text(), QStringLiteral("A1BC"));
    }

    void subscriberMayReplaceItselfWhileRaised()
    {
        Field f(neDec);
        int first = 0;
        int second = 0;
        f.edit->OnChange = [&](QObject *) {
            ++first;
            f.edit->OnChange = [&](QObject *) { ++second; };
        };
        f.edit->setText(QStringLiteral("1"));
        f.edit->setText(QStringLiteral("2"));
        QCOMPARE(first, 1);
        QCOMPARE(second, 1);
    }
};

QTEST_MAIN(TestNumberEdit)
#include "tst_numberedit.moc"
