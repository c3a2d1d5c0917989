#pragma once
// The protocol decoders and the ISO-TP client on frames taken from bytes, in any order and any
// timing: the fuzz target runs it, and the unit test on random bytes.

#include "FuzzBytes.h"
#include "protocols/IsoTpClient.h"
#include "protocols/ProtocolFrame.h"

// What one frame takes of the input: the identifier's pick, the DLC, eight bytes, the gap.
inline constexpr int kProtocolsFrameBytes = 12;

// The first byte picks the decoder, a chunk is the client's request, the rest are frames on the
// identifiers the decoders watch. Returns the first bound broken (a transfer past its protocol's
// length or ending before it began, a client frame over eight bytes), empty when none is.
inline QString DriveProtocols(const uint8_t *data, size_t size)
{
    static const uint32_t ids[] = {0x7E0,      0x7E8,      0x7DF,      0x7E1,      0x18DA10F1, 0x18DAF110,
                                   0x18DB33F1, 0x1CECFF00, 0x1CEBFF00, 0x1CEC0F00, 0x1CEB0F00, 0x18EA00F9,
                                   0x605,      0x585,      0x000,      0x085,      0x705,      0x7E5};
    FuzzBytes in(data, size);
    auto decoder = MakeProtocolDecoder(TProtocol(1 + in.byte() % 3));
    TIsoTpClient client(TIsoTpClientOptions{});
    QString problem;
    client.Start(in.chunk(64), 0, problem);
    QList<TTransfer> done;
    QList<TIsoTpAnswer> answers;
    int64_t time = 0;
    while (!in.empty()) {
        TBusFrame f;
        const uint8_t head = in.byte();
        f.Id = ids[head % std::size(ids)];
        f.Extended = f.Id > 0x7FF;
        f.Remote = (head & 0x80) && (head & 0x40);
        f.Dlc = in.byte() % 16; // past 8 too: a decoder must cap what it reads
        for (int i = 0; i < 8; ++i)
            f.Data[i] = in.byte();
        time += int64_t(in.byte()) * int64_t(in.byte()) * 100;
        f.TimeUs = time;
        decoder->Feed(f, done);
        client.Feed(f, answers);
        for (const TBusFrame &out : client.TakeDue(time))
            if (out.Dlc > 8)
                return QStringLiteral("the client queued a frame of DLC %1").arg(out.Dlc);
    }
    decoder->Flush(-1, done);
    for (const TTransfer &t : done)
        if (t.Payload.size() > 4095 || t.EndUs < t.StartUs)
            return QStringLiteral("%1 bytes, %2 to %3 us: ").arg(t.Payload.size()).arg(t.StartUs).arg(t.EndUs) + t.Meaning;
    for (const TIsoTpAnswer &a : answers)
        if (a.Payload.size() > 4095)
            return QStringLiteral("an answer of %1 bytes").arg(a.Payload.size());
    return QString();
}
