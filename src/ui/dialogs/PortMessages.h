#pragma once
// The serial component's reports shown as the program's message boxes.

#include "serial/QCCom32.h"

// Shows one report in the box its kind calls for and returns the user's choice.
TPortAnswer ShowPortReport(TPortReport report, const QString &text);
