// The port component's message boxes on a console: k3316-cli runs it with ShowErrors off, so
// none is ever raised; should one be, it is printed and answered with its first button (Abort
// for Abort/Retry), which never waits for a person.

#include "ui/Dialogs.h"

#include <cstdio>

TMsgAnswer ShowMessageBox(TMsgType, const QString &text, TMsgButtons buttons)
{
    std::fprintf(stderr, "k3316-cli: %s\n", text.toLocal8Bit().constData());
    switch (buttons) {
    case TMsgButtons::Ok: return TMsgAnswer::Ok;
    case TMsgButtons::YesNo: return TMsgAnswer::Yes;
    case TMsgButtons::OkCancel: return TMsgAnswer::Ok;
    case TMsgButtons::AbortRetry: return TMsgAnswer::Abort;
    }
    return TMsgAnswer::None;
}
