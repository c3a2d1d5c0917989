// The BLF reader on arbitrary bytes, compressed containers included.

#include "FuzzLogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzReadLog(data, size, TLogKind::Blf);
    return 0;
}
