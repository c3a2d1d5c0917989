// The pcap and pcapng readers on arbitrary bytes: the first byte picks the format.

#include "FuzzLogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzReadLog(data + 1, size - 1, data[0] & 1 ? TLogKind::Pcapng : TLogKind::Pcap);
    return 0;
}
