#pragma once
// How `k3316-cli monitor` prints what it receives. The log formats (candump, CSV, pcap, ASC,
// TRC) come from the frame stream's log encoder (src/monitor), the same the Frame Monitor's
// Save As uses; JSON Lines and the CSV of decoded signals come from src/dbc; "lines" is the
// tool's own: the local time and the line as the window lists it.

#include "cli/CliOptions.h"
#include "monitor/LogWriters.h"

#include <QByteArray>

#include <cstdint>

class TDbcDatabase;

class TMonitorPrinter {
public:
    // `startUs`: when the monitor began; ASC and TRC count their times from it. With a
    // `database`, JSON names messages and signals and CSV prints one row a decoded signal.
    TMonitorPrinter(TMonitorFormat format, int64_t startUs, const TDbcDatabase *database = nullptr);
    // The first bytes of the output (the CSV, pcap, ASC and TRC headers; nothing for the others).
    QByteArray Header() const;
    // One record with its line end; empty when the format leaves the line out (the log formats
    // but CSV keep only CAN frames with no wrong checksum). `text` is the line without its end;
    // `timeUs` microseconds since the epoch.
    QByteArray Record(QByteArrayView text, int64_t timeUs);
    // The last bytes (ASC's "End TriggerBlock"; nothing for the others).
    QByteArray Footer();
    // Frames left out because their checksum was wrong.
    uint64_t LeftOut() const { return m_encoder.LeftOut(); }
    bool IsBinary() const { return m_encoder.IsBinary(); }

private:
    bool SignalCsv() const { return m_format == TMonitorFormat::Csv && m_database; }

    TMonitorFormat m_format;
    TLogEncoder m_encoder;
    const TDbcDatabase *m_database;
};

// The log format a monitor format writes through (Candump for "lines", which uses none).
TLogFormat LogFormatOf(TMonitorFormat format);
