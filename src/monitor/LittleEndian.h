#pragma once
// Little-endian integers appended to a byte array, as the binary log formats (pcap, pcapng,
// BLF) store them.

#include <QByteArray>

#include <cstdint>

inline void AppendLe16(QByteArray &out, uint16_t v)
{
    const char bytes[2] = {char(v), char(v >> 8)};
    out.append(bytes, 2);
}

inline void AppendLe32(QByteArray &out, uint32_t v)
{
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(bytes, 4);
}

inline void AppendLe64(QByteArray &out, uint64_t v)
{
    AppendLe32(out, uint32_t(v));
    AppendLe32(out, uint32_t(v >> 32));
}
