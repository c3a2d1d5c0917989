#pragma once
// pcap capture files of CAN frames, link type 227 (LINKTYPE_CAN_SOCKETCAN), as Wireshark and
// tcpdump read them. Each frame is the 16 bytes of a SocketCAN `struct can_frame`: the
// identifier big-endian with the extended (0x80000000) and remote (0x40000000) flags, the
// length, three zero bytes, then eight data bytes (zeros past the length), the form a Linux
// capture of a CAN interface has.

#include "monitor/FrameStore.h"

#include <QByteArray>

constexpr uint32_t PcapLinkTypeSocketCan = 227;
constexpr uint32_t SocketCanExtendedFlag = 0x80000000u;
constexpr uint32_t SocketCanRemoteFlag = 0x40000000u;

// The 16 bytes of the SocketCAN frame of a CAN frame's line.
void AppendSocketCanFrame(QByteArray &out, const TDecodedLine &d);

// The file's 24-byte header (little-endian, microsecond time stamps).
QByteArray PcapHeader();
// One record (16-byte record header and the 16-byte frame) for a CAN frame; nothing for a line
// that is no frame or whose checksum is wrong.
void AppendPcapRecord(QByteArray &out, const TFrameRow &row);
