// The protocol decoders and the ISO-TP client on frames in any order, any timing: nothing
// crashes or reads past a frame, every transfer keeps within its protocol's length, a transfer
// never ends before it began, and the client never queues a frame longer than eight bytes.

#include "ProtocolsDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString problem = DriveProtocols(data, size);
    FUZZ_CHECK(problem.isEmpty(), "%s", qPrintable(problem));
    return 0;
}
