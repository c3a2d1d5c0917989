// The virtual module's line handling on arbitrary bytes, in configuration and operation mode.
// Whatever arrives, the module must keep going and everything it sends must be whole lines:
// each ends in CR, begins like a reply ("!", "?") or a bus message ("t", "T", "e", "E"), and
// carries a good checksum when the module adds them. At a mismatched line speed the receiver
// sees only garbage bytes and no CR at all.
//
// Input: eight option bytes (see readOptions), then the bytes the utility sends, delivered in
// chunks with the clock moving on between them.

#include "FuzzBytes.h"
#include "VirtualModule.h"
#include "protocol/Framing.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace {

struct Script {
    Sim::SimOptions options;
    int lineSpeed = 0; // 0 unknown, 1 the module's, 2 another one
    int chunk = 1;
    uint64_t stepMs = 0;
};

Script readOptions(FuzzBytes &in)
{
    Script s;
    const uint8_t flags = in.byte();
    s.options.mode = (flags & 0x01) ? Sim::SimMode::Operation : Sim::SimMode::Configuration;
    s.options.echo = flags & 0x02;
    s.options.busNoise = flags & 0x04;
    s.options.rs232.checksum = (flags & 0x08) ? 1 : 0;
    s.options.rs232.respond = (flags & 0x10) ? 1 : 0;
    s.options.trafficNow = flags & 0x20;
    s.lineSpeed = (flags >> 6) % 3;

    s.options.firmware = QByteArray::number(in.byte() % 4) + ".05";
    s.options.rs232.baudIndex = in.byte() % 12;
    const uint8_t rate = in.byte();
    s.options.trafficRate = rate < 128 ? Sim::TrafficOff : rate == 255 ? Sim::TrafficMax : rate % 50 + 1;
    const uint8_t count = in.byte();
    // Bounded, but past one batch of takeOutput() at most: endless traffic only costs time.
    s.options.trafficCount = count == 255 ? Sim::VirtualModule::TrafficBatch + 44 : count % 20;
    s.options.delayMs = in.byte() % 50;
    s.options.seed = 1;
    s.chunk = in.byte() % 16 + 1;
    s.stepMs = in.byte();
    return s;
}

void checkOutput(const Sim::VirtualModule &module, const QByteArray &out, bool garbled)
{
    if (out.isEmpty())
        return;
    if (garbled) {
        for (char c : out)
            FUZZ_CHECK(uint8_t(c) == 0x80 || uint8_t(c) == 0xF8, "garbled byte 0x%02x", unsigned(uint8_t(c)));
        return;
    }
    FUZZ_CHECK(out.endsWith(Framing::CR), "output does not end in CR: %s", out.right(40).toHex().constData());
    qsizetype start = 0;
    while (start < out.size()) {
        const qsizetype end = out.indexOf(Framing::CR, start);
        const QByteArray line = out.mid(start, end - start + 1); // with its CR
        start = end + 1;
        FUZZ_CHECK(line.size() >= 2, "empty line sent");
        FUZZ_CHECK(QByteArray("!?tTeE").contains(line.front()), "line begins with 0x%02x: %s",
                   unsigned(uint8_t(line.front())), line.toHex().constData());
        if (module.checksummed())
            FUZZ_CHECK(Framing::Chksum(line), "bad checksum on %s", line.toHex().constData());
        FUZZ_CHECK(line.size() <= Sim::VirtualModule::MaxLineLength + 16, "line of %lld bytes",
                   (long long)line.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const Script script = readOptions(in);
    const QByteArray stream = in.rest();

    uint64_t now = 1000;
    Sim::VirtualModule module(script.options, now);
    const int32_t own = module.moduleBaud();
    const int32_t lineBaud = script.lineSpeed == 0 ? 0 : script.lineSpeed == 1 ? own : (own == 9600 ? 19200 : 9600);
    const bool garbled = script.lineSpeed == 2;
    module.setLineBaud(lineBaud); // the utility sets the line up before it sends anything

    for (qsizetype pos = 0; pos < stream.size(); pos += script.chunk) {
        module.receive(stream.mid(pos, script.chunk), lineBaud, now);
        now += script.stepMs;
        checkOutput(module, module.takeOutput(now), garbled);
    }
    // Let everything still scheduled come out; endless traffic gives a batch per call.
    for (int i = 0; i < 4; ++i) {
        now += 60000;
        checkOutput(module, module.takeOutput(now), garbled);
    }

    // Every CR ended one line, kept without its CR and cut at the line limit.
    const QList<QByteArray> parts = stream.split(Framing::CR);
    const qsizetype lines = parts.size() - 1;
    FUZZ_CHECK(module.receivedLineCount() == lines, "%lld lines sent, %lld counted", (long long)lines,
               (long long)module.receivedLineCount());
    if (lines > 0) {
        const QList<QByteArray> kept = module.receivedLines();
        const QByteArray last = parts.at(lines - 1).left(Sim::VirtualModule::MaxLineLength);
        FUZZ_CHECK(!kept.isEmpty() && kept.back() == last, "last line kept as %s, sent as %s",
                   kept.isEmpty() ? "(nothing)" : kept.back().toHex().constData(), last.toHex().constData());
    }
    return 0;
}
