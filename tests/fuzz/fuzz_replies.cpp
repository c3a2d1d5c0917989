// The settings-reply decoders and the checksum helpers on arbitrary replies. The reply is handed
// over without a copy and without the terminating zero a QByteArray normally carries, so a read
// one position past the end is a heap overflow that ASan reports.

#include "FuzzBytes.h"
#include "protocol/Framing.h"
#include "protocol/ModuleReplies.h"

#include <QByteArray>

#include <cstring>
#include <vector>

namespace {

qsizetype bodyLength(const QByteArray &reply)
{
    return !reply.isEmpty() && reply.back() == '\r' ? reply.size() - 1 : reply.size();
}

void checkRS232(const QByteArray &reply)
{
    TRS232Settings out;
    out.BaudIndex = -12345;
    const bool ok = DecodeRS232Reply(reply, out);
    FUZZ_CHECK(ok == (bodyLength(reply) >= 9), "RS-232 reply of body length %lld decoded: %d",
               (long long)bodyLength(reply), int(ok));
    if (ok) {
        // Two digits read as hexadecimal: whatever the characters, a bounded number.
        FUZZ_CHECK(out.BaudIndex >= -48 * 17 && out.BaudIndex <= 200 * 17, "BaudIndex %d", out.BaudIndex);
    }
}

void checkCan(const QByteArray &reply, int level)
{
    TCanSettings out;
    out.Code = QStringLiteral("untouched");
    const bool ok = DecodeCanReply(reply, level, out);
    const qsizetype body = bodyLength(reply);
    if (!ok) {
        FUZZ_CHECK(out.Code == QLatin1String("untouched"), "a failed decode changed the result");
        const bool layout20A = body >= 3 && reply.at(2) == '0';
        const qsizetype needed = level >= 2 ? 33 : (layout20A ? 17 : 21);
        FUZZ_CHECK(body < needed, "level %d reply of body length %lld refused", level, (long long)body);
        return;
    }
    const qsizetype width = out.Layout20A ? 3 : 8;
    FUZZ_CHECK(out.Layout20A == (reply.at(2) == '0'), "layout does not follow position 3");
    FUZZ_CHECK(out.Code.size() == width && out.Mask.size() == width,
               "level %d, %s layout: code %lld, mask %lld characters", level, out.Layout20A ? "2.0A" : "2.0B",
               (long long)out.Code.size(), (long long)out.Mask.size());
    FUZZ_CHECK(out.HasPairFields == (level >= 2), "pair fields at level %d", level);
    if (out.HasPairFields) {
        FUZZ_CHECK(out.TxCanId.size() == width, "Tx CAN ID of %lld characters", (long long)out.TxCanId.size());
        FUZZ_CHECK(out.PairFlag.size() == 1 && out.TxIdFlag.size() == 1 && out.RespIdFlag.size() == 1,
                   "flags of one character each");
        FUZZ_CHECK(out.TxCanId != QString(width, QLatin1Char('0')), "all-zero Tx CAN ID kept");
    }
}

void checkFraming(const QByteArray &reply)
{
    const QByteArray sum = Framing::AddChksum(reply);
    FUZZ_CHECK(sum.size() == 2, "checksum of %lld characters", (long long)sum.size());
    for (char c : sum)
        FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), "checksum digit 0x%02x", unsigned(uint8_t(c)));

    // A line framed with its own checksum always passes, whatever ends it.
    QByteArray framed = Framing::FrameLine(reply, true);
    FUZZ_CHECK(framed.size() == reply.size() + 3 && framed.back() == Framing::CR, "framed line");
    FUZZ_CHECK(Framing::Chksum(framed), "own checksum refused");
    // Changing one character of the text breaks it unless the change keeps the low byte of the
    // sum, which a change by 1 never does.
    if (!reply.isEmpty()) {
        framed[0] = char(uint8_t(framed[0]) + 1);
        FUZZ_CHECK(!Framing::Chksum(framed), "checksum passed after a change");
    }

    const bool ok = Framing::Chksum(reply);
    if (reply.size() < 3) {
        FUZZ_CHECK(!ok, "a reply of %lld characters has no checksum", (long long)reply.size());
        return;
    }
    const qsizetype n = reply.size();
    FUZZ_CHECK(ok == (reply.mid(n - 3, 2) == Framing::AddChksum(reply.left(n - 3))),
               "Chksum and AddChksum disagree");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size copy: the fuzzer's own buffer may be followed by readable bytes.
    std::vector<char> exact(data, data + size);
    const QByteArray reply = QByteArray::fromRawData(exact.empty() ? "" : exact.data(), qsizetype(size));
    checkRS232(reply);
    for (int level = 0; level <= 3; ++level)
        checkCan(reply, level);
    checkFraming(reply);
    return 0;
}
