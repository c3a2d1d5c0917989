#pragma once
// A frame read from a log as the monitor's rows take it: the module line that carries it (what
// the receive list would have shown) and its decoded fields, so every log writer, filter and
// database decoder reads it as if the module had received it.

#include "monitor/CandumpLog.h"
#include "monitor/FrameStore.h"

// Fills `row` (its text pointing into `text`; with `withText` false the text stays empty, for
// writers that do not write it: all but CSV and raw). False for a frame no module line can
// carry (CAN FD, error frames, more than 8 bytes): writers leave those out and count them.
bool LogFrameToRow(const TLogFrame &frame, QByteArray &text, TFrameRow &row, bool withText = true);
