// What a tool may write to `slcan`, on arbitrary bytes in arbitrary pieces: every CR gets exactly
// one answer, the queue for the tool stays bounded, and every frame sent to the module is a
// frame line whose adapter text is a command the tool wrote.
//
// Input: one byte for the piece size, one for the module (bit 0: it takes lines; bits 1-4: its
// rate code), then the bytes the tool writes.

#include "FuzzBytes.h"
#include "bridge/SlcanProtocol.h"
#include "monitor/FrameDecoder.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const int piece = in.byte() % 32 + 1;
    const uint8_t module = in.byte();
    const QByteArray stream = in.rest();

    QList<QByteArray> sent;
    TSlcanProtocol protocol(TSlcanProtocol::TSetup{Slcan::CodeRate(char('0' + (module >> 1) % 11)), "0205", "0205",
                                                   [&](const QByteArray &line) {
                                                       sent << line;
                                                       return (module & 1) != 0;
                                                   },
                                                   [](const QString &) {}});
    QByteArray answers;
    for (qsizetype pos = 0; pos < stream.size(); pos += piece) {
        protocol.FeedCommands(QByteArrayView(stream).sliced(pos, std::min<qsizetype>(piece, stream.size() - pos)));
        // The module's echo of what went out, so frames for the tool mix with the answers.
        for (const QByteArray &line : std::as_const(sent))
            protocol.ModuleLine(line, int64_t(pos) * 1000);
        FUZZ_CHECK(protocol.Pending().size() <= Slcan::FrameRoom + Slcan::AnswerSlack + 64, "%lld bytes queued",
                   (long long)protocol.Pending().size());
        if (!protocol.AcceptsCommands() || pos % 3 == 0) {
            answers += protocol.Pending().toByteArray();
            protocol.Consumed(protocol.Pending().size());
        }
        for (const QByteArray &line : std::as_const(sent)) {
            const TDecodedLine frame = DecodeLine(line);
            FUZZ_CHECK(IsCanFrame(frame.kind) && frame.checksum == TChecksum::None, "sent %s", line.constData());
            const QByteArray text = TSlcanProtocol::FormatFrame(frame, false, 0).chopped(1);
            FUZZ_CHECK(stream.toUpper().contains(text.toUpper() + '\r'), "sent %s, not written as %s", line.constData(),
                       text.constData());
        }
        sent.clear();
    }
    answers += protocol.Pending().toByteArray();
    const TSlcanCounts &c = protocol.Counts();
    // Frames for the tool end in CR too: take them out of the answer count.
    const qsizetype answered = answers.count('\r') + answers.count('\a') - qsizetype(c.toTool);
    FUZZ_CHECK(answered == stream.count('\r'), "%lld answers to %lld commands", (long long)answered,
               (long long)stream.count('\r'));
    return 0;
}
