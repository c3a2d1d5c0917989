#include "ui/dialogs/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

namespace {

TMessageBoxHandler &handlerSlot()
{
    static TMessageBoxHandler handler;
    return handler;
}

} // namespace

QString MessageBoxCaption(TMsgType type)
{
    switch (type) {
    case TMsgType::Error: return QStringLiteral("Error");
    case TMsgType::Warning: return QStringLiteral("Warning");
    case TMsgType::Information: return QStringLiteral("Information");
    case TMsgType::Confirm: return QStringLiteral("Confirm");
    case TMsgType::Plain:
    case TMsgType::AppError: break;
    }
    return QStringLiteral("K-3316 Utility");
}

void SetMessageBoxHandler(TMessageBoxHandler handler)
{
    handlerSlot() = std::move(handler);
}

TMsgAnswer ShowMessageBox(TMsgType type, const QString &text, TMsgButtons buttons)
{
    if (handlerSlot())
        return handlerSlot()(type, text, buttons);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(MessageBoxCaption(type));
    box.setText(text);
    switch (type) {
    case TMsgType::Error:
    case TMsgType::AppError: box.setIcon(QMessageBox::Critical); break;
    case TMsgType::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgType::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgType::Confirm: box.setIcon(QMessageBox::Question); break;
    case TMsgType::Plain: box.setIcon(QMessageBox::NoIcon); break;
    }

    struct Choice { QMessageBox::StandardButton button; TMsgAnswer answer; const char *caption; };
    std::vector<Choice> choices;
    switch (buttons) {
    case TMsgButtons::Ok: choices = {{QMessageBox::Ok, TMsgAnswer::Ok, "OK"}}; break;
    case TMsgButtons::YesNo:
        choices = {{QMessageBox::Yes, TMsgAnswer::Yes, "&Yes"}, {QMessageBox::No, TMsgAnswer::No, "&No"}};
        break;
    case TMsgButtons::OkCancel:
        choices = {{QMessageBox::Ok, TMsgAnswer::Ok, "OK"}, {QMessageBox::Cancel, TMsgAnswer::Cancel, "Cancel"}};
        break;
    case TMsgButtons::AbortRetry:
        choices = {{QMessageBox::Abort, TMsgAnswer::Abort, "&Abort"}, {QMessageBox::Retry, TMsgAnswer::Retry, "&Retry"}};
        break;
    }
    QMessageBox::StandardButtons set;
    for (const Choice &c : choices)
        set |= c.button;
    box.setStandardButtons(set);
    for (const Choice &c : choices)
        box.button(c.button)->setText(QString::fromLatin1(c.caption));
    box.setDefaultButton(choices.begin()->button);

    const int result = box.exec();
    for (const Choice &c : choices)
        if (result == c.button)
            return c.answer;
    return TMsgAnswer::None;
}

void ShowErrorReport(const QString &text)
{
    ShowMessageBox(TMsgType::AppError, text, TMsgButtons::Ok);
}

QFont StandardFont(int pixelSize)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    return font;
}
