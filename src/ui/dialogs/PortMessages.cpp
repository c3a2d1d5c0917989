#include "ui/dialogs/PortMessages.h"

#include "ui/dialogs/Dialogs.h"

TPortAnswer ShowPortReport(TPortReport report, const QString &text)
{
    TMsgType type = TMsgType::Warning;
    TMsgButtons buttons = TMsgButtons::Ok;
    switch (report) {
    case prOpenError:
    case prTimeout: buttons = TMsgButtons::AbortRetry; break;
    case prPortInUse: type = TMsgType::Plain; break;
    case prLineSettings: break;
    }
    switch (ShowMessageBox(type, text, buttons)) {
    case TMsgAnswer::Abort: return paAbort;
    case TMsgAnswer::Retry: return paRetry;
    default: return paNone;
    }
}
