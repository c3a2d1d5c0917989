#pragma once
// pcapng capture files of CAN frames, as Wireshark writes them: a section header, one interface
// (link type 227, SocketCAN, named after the log's interface, microsecond stamps) and an
// enhanced packet block per frame holding the 16-byte SocketCAN frame.

#include "monitor/FrameStore.h"

#include <QByteArray>
#include <QByteArrayView>

// The section header and the interface description.
QByteArray PcapngHeader(QByteArrayView interfaceName);
// One enhanced packet block for a CAN frame; nothing for a line that is no frame or whose
// checksum is wrong.
void AppendPcapngRecord(QByteArray &out, const TFrameRow &row);
