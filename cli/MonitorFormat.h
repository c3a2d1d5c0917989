#pragma once
// How `k3316-cli monitor` prints a received line: plain lines with their time, or a candump
// log line / CSV row for CAN frames.
//
// Stand-in: the candump and CSV writers belong to the frame stream (src/monitor), shared with
// the Frame Monitor's export; these two functions are to be replaced by them when it lands.

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <optional>

struct TCanFrameText {
    uint32_t Id = 0;
    bool Extended = false;
    bool Remote = false;
    int Dlc = 0;
    QByteArray Data; // the data bytes, as hex digits
};

// A "t"/"T"/"e"/"E" message line (without CR; a checksum the module added already removed).
std::optional<TCanFrameText> DecodeFrameLine(const QByteArray &line);

// "2026-12-09T15:49:24.123456 line": local time, the line with non-printable bytes as \xHH.
QByteArray FormatPlainLine(const QDateTime &time, const QByteArray &line);
// "(1765295364.123456) can0 123#1122"; nothing for a line that is no frame.
QByteArray FormatCandumpLine(const QDateTime &time, const QByteArray &line);
// The CSV header, and one row per line: time,line,id,extended,remote,dlc,data.
QByteArray CsvHeader();
QByteArray FormatCsvLine(const QDateTime &time, const QByteArray &line);
