// The number field driven by a script of program-set texts and values, typed keys and bound
// changes. After every step the field must hold either nothing (Value 0) or a text that a fresh
// field of the same kind and bound accepts, with the Value that text stands for.
//
// Input: kind, bound choice (+ 4 bytes), MaxLength, upper-case flag, then steps of one opcode
// byte each followed by its operands.

#include "FuzzBytes.h"
#include "common/StrToInt.h"
#include "controls/NumberText.h"
#include "controls/ValEdit1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>

#include <memory>

namespace {

struct Shape {
    TNumberEditKind kind = neDec;
    int32_t maxValue = 0;
};

std::unique_ptr<TNumberEdit> makeField(const Shape &shape)
{
    auto field = std::make_unique<TNumberEdit>();
    field->setKind(shape.kind);
    field->setMaxValue(shape.maxValue);
    return field;
}

// A second field of the same kind and bound that judges texts for the one under test.
class Judge {
public:
    explicit Judge(const Shape &shape) : m_probe(makeField(shape)) {}

    // Whether the field takes `text` by program, and the Value it then holds.
    bool accepts(const QString &text, int32_t &value)
    {
        // "0" is good under every bound this script uses; made the fallback, it tells a
        // refusal apart from an acceptance of any other text.
        m_probe->setText(QString());
        m_probe->setText(QStringLiteral("0"));
        m_probe->setText(QString());
        m_probe->setText(text);
        value = m_probe->Value();
        return m_probe->text() == text;
    }

private:
    std::unique_ptr<TNumberEdit> m_probe;
};

void checkField(const TNumberEdit &field, const Shape &shape, Judge &judge, const char *after)
{
    const QString text = field.text();
    if (text.isEmpty()) {
        FUZZ_CHECK(field.Value() == 0, "after %s: empty text with Value %d", after, field.Value());
        return;
    }
    int32_t value = 0;
    FUZZ_CHECK(judge.accepts(text, value), "after %s: kind %d, MaxValue %d holds \"%s\", which the field refuses",
               after, int(shape.kind), shape.maxValue, qPrintable(text));
    FUZZ_CHECK(value == field.Value(), "after %s: \"%s\" stands for %d, Value is %d", after,
               qPrintable(text), value, field.Value());

    // The accepted text obeys the kind and the bound, read without the field's own code.
    switch (shape.kind) {
    case neDec: {
        int32_t v = 0;
        FUZZ_CHECK(TryStrToInt(text, v) && v == field.Value(), "decimal \"%s\"", qPrintable(text));
        break;
    }
    case neHex:
        FUZZ_CHECK(IsHexText(text), "hexadecimal \"%s\"", qPrintable(text));
        break;
    case neBin:
        FUZZ_CHECK(IsBinText(text), "binary \"%s\"", qPrintable(text));
        break;
    }
    if (shape.maxValue != 0)
        FUZZ_CHECK(field.Value() >= 0 && field.Value() <= shape.maxValue, "Value %d outside 0..%d",
                   field.Value(), shape.maxValue);
}

int32_t chooseBound(FuzzBytes &in)
{
    const uint8_t choice = in.byte();
    const int32_t raw = int32_t(in.u32() & 0x7FFFFFFF);
    switch (choice % 6) {
    case 0: return 0;
    case 1: return 8;
    case 2: return 2047;
    case 3: return 0x1FFFFFFF;
    case 4: return raw % 100000;
    default: return raw;
    }
}

// Keys as the platform delivers them; paste and cut are left out (the clipboard would carry
// state from one input to the next).
void pressKey(TNumberEdit &field, FuzzBytes &in)
{
    const uint8_t which = in.byte();
    const uint8_t code = in.byte();
    int key = 0;
    QString text;
    Qt::KeyboardModifiers mods = (which & 0x80) ? Qt::ShiftModifier : Qt::NoModifier;
    switch (which & 0x7) {
    case 0:
        key = Qt::Key_Backspace;
        text = QStringLiteral("\x08");
        break;
    case 1:
        key = Qt::Key_Delete;
        text = QStringLiteral("\x7f");
        mods = Qt::NoModifier; // Shift+Delete cuts
        break;
    case 2: key = Qt::Key_Left; break;
    case 3: key = Qt::Key_Right; break;
    case 4: key = Qt::Key_Home; break;
    case 5: key = Qt::Key_End; break;
    default:
        // A printable character; the key code follows it for letters and digits.
        text = QString(QChar(char16_t(code < 0x20 ? code + 0x20 : code)));
        key = text.at(0).toUpper().unicode() < 0x80 ? text.at(0).toUpper().unicode() : Qt::Key_unknown;
        break;
    }
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(&field, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(&field, &release);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own globals may already be gone.
    new QApplication(*argc, *argv);
    // Fonts, style and text layout are set up on first use; do it before the leak checks count.
    Shape warm{neHex, 2047};
    auto field = makeField(warm);
    field->setText(QStringLiteral("7FF"));
    FuzzBytes none(nullptr, 0);
    pressKey(*field, none);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    Shape shape;
    shape.kind = TNumberEditKind(in.byte() % 3);
    shape.maxValue = chooseBound(in);
    auto field = makeField(shape);
    field->setMaxLength(in.byte() % 12);
    field->setUpperCase(in.byte() & 1);
    int changes = 0;
    field->OnChange = [&changes](QObject *) { ++changes; };
    Judge judge(shape);
    checkField(*field, shape, judge, "construction");

    for (int step = 0; step < 64 && !in.empty(); ++step) {
        const uint8_t op = in.byte();
        const char *what = "";
        const QString before = field->text();
        const int changesBefore = changes;
        switch (op % 5) {
        case 0:
            field->setText(QString::fromLatin1(in.chunk(40)));
            what = "setText";
            break;
        case 1:
            field->setText(QString::fromUtf8(in.chunk(40)));
            what = "setText (UTF-8)";
            break;
        case 2:
            field->setValue(int32_t(in.u32()));
            what = "setValue";
            break;
        case 3:
            pressKey(*field, in);
            what = "a key";
            // Typing never takes the text past the limit; a longer text set by program stays.
            if (field->MaxLength() > 0 && field->text().size() > before.size())
                FUZZ_CHECK(field->text().size() <= field->MaxLength(), "typed \"%s\" past MaxLength %d",
                           qPrintable(field->text()), field->MaxLength());
            break;
        case 4:
            // Kind and bound stay: a field that changes them may keep a text the new rules
            // refuse until its next change. Only the typing limit moves.
            field->setMaxLength(in.byte() % 12);
            what = "setMaxLength";
            break;
        }
        checkField(*field, shape, judge, what);
        FUZZ_CHECK(field->text() == before || changes > changesBefore,
                   "after %s: text went from \"%s\" to \"%s\" without OnChange", what,
                   qPrintable(before), qPrintable(field->text()));
    }
    field.reset();
    QCoreApplication::sendPostedEvents();
    return 0;
}
