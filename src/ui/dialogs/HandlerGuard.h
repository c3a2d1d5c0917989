#pragma once
// Every event handler is entered through Guarded: a conversion error that the handler does not
// catch ends that handler and goes to the default error report; no exception crosses the event loop.
// Returns false when the handler ended on an error.

#include "common/StrToInt.h"
#include "ui/dialogs/Dialogs.h"

#include <QString>
#include <exception>
#include <utility>

template <typename F>
bool Guarded(F &&handler) noexcept
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const EConvertError &e) {
        ShowErrorReport(e.message());
    } catch (const std::exception &e) {
        ShowErrorReport(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorReport(QStringLiteral("Unexpected error"));
    }
    return false;
}
