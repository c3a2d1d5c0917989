#pragma once
// The reader of each format, made by OpenLogReader once the format is known.

#include "logs/LogReader.h"

std::unique_ptr<TLogReader> MakeCandumpReader(TByteSource &in, const QString &name);
std::unique_ptr<TLogReader> MakeAscReader(TByteSource &in, const QString &name);
std::unique_ptr<TLogReader> MakeTrcReader(TByteSource &in, const QString &name);
std::unique_ptr<TLogReader> MakeCsvReader(TByteSource &in, const QString &name);
std::unique_ptr<TLogReader> MakePcapReader(TByteSource &in, const QString &name);
std::unique_ptr<TLogReader> MakePcapngReader(TByteSource &in, const QString &name);
std::unique_ptr<TLogReader> MakeBlfReader(TByteSource &in, const QString &name);

// The length a CAN FD length code stands for (0-8 as they are, then 12 to 64).
int FdCodeLength(int code);
