// The protocol decoders and the ISO-TP client on frames in any order, any timing: nothing
// crashes or reads past a frame, every transfer keeps within its protocol's length, a transfer
// never ends before it began, and the client never queues a frame longer than eight bytes.

#include "FuzzBytes.h"
#include "protocols/IsoTpClient.h"
#include "protocols/ProtocolFrame.h"

namespace {

// Identifiers each decoder watches, so most frames reach their state machines.
const uint32_t kIds[] = {0x7E0, 0x7E8, 0x7DF, 0x7E1, 0x18DA10F1, 0x18DAF110, 0x18DB33F1, 0x1CECFF00, 0x1CEBFF00,
                         0x1CEC0F00, 0x1CEB0F00, 0x18EA00F9, 0x605, 0x585, 0x000, 0x085, 0x705, 0x7E5};

TBusFrame frameFrom(FuzzBytes &in, int64_t &time)
{
    TBusFrame f;
    const uint8_t head = in.byte();
    f.Id = kIds[head % (sizeof kIds / sizeof kIds[0])];
    f.Extended = f.Id > 0x7FF;
    f.Remote = (head & 0x80) && (head & 0x40);
    f.Dlc = in.byte() % 16; // past 8 too: a decoder must cap what it reads
    for (int i = 0; i < 8; ++i)
        f.Data[i] = in.byte();
    time += int64_t(in.byte()) * int64_t(in.byte()) * 100;
    f.TimeUs = time;
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const TProtocol protocol = TProtocol(1 + in.byte() % 3);
    auto decoder = MakeProtocolDecoder(protocol);
    TIsoTpClient client(TIsoTpClientOptions{});
    QString problem;
    client.Start(in.chunk(64), 0, problem);
    QList<TTransfer> done;
    QList<TIsoTpAnswer> answers;
    int64_t time = 0;
    while (!in.empty()) {
        const TBusFrame f = frameFrom(in, time);
        decoder->Feed(f, done);
        client.Feed(f, answers);
        for (const TBusFrame &out : client.TakeDue(time))
            if (out.Dlc > 8)
                abort();
    }
    decoder->Flush(-1, done);
    for (const TTransfer &t : done) {
        if (t.Payload.size() > 4095 || t.EndUs < t.StartUs)
            abort();
    }
    for (const TIsoTpAnswer &a : answers)
        if (a.Payload.size() > 4095)
            abort();
    return 0;
}
