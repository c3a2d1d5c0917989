#pragma once
// src/ui/dialogs: the one message-box function, the handler guard, port messages, the About box.
// Uses the widgets room and the layers below src/ui (common, serial).
//
// Every message box of the program goes through ShowMessageBox, so tests can record and answer them.

#include <QFont>
#include <QString>
#include <functional>

class QWidget;

enum class TMsgType { Error, Warning, Information, Confirm, Plain, AppError };
enum class TMsgButtons { Ok, YesNo, OkCancel, AbortRetry };
enum class TMsgAnswer { None, Ok, Cancel, Yes, No, Abort, Retry };

// Caption for a type: "Error", "Warning", "Information", "Confirm"; the application's title for
// Plain and AppError (the default error report).
QString MessageBoxCaption(TMsgType type);

// Shows a modal box and returns the button chosen (None when the box was closed otherwise).
TMsgAnswer ShowMessageBox(TMsgType type, const QString &text, TMsgButtons buttons = TMsgButtons::Ok);

// The application's default error report: error icon, the application's title as caption, OK.
void ShowErrorReport(const QString &text);

// Tests replace the real boxes: the handler sees each box and returns the answer.
using TMessageBoxHandler = std::function<TMsgAnswer(TMsgType, const QString &, TMsgButtons)>;
void SetMessageBoxHandler(TMessageBoxHandler handler); // empty handler restores real boxes

// The window font of every form: a sans-serif at 11 pixels.
QFont StandardFont(int pixelSize = 11);
