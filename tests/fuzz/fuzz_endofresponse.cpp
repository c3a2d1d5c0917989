// The end-of-response text of the serial component: literal characters, with "#<number>"
// standing for one byte. Any text must give a terminator, and a text without "#" must come
// through one byte per character, so that a reply wait always has something to wait for.

#include "FuzzBytes.h"
#include "serial/QCCom32.h"

#include <QString>

namespace {

void check(const QString &text)
{
    const QByteArray terminator = TQCCom32::ParseEndOfResponse(text);
    if (text.contains(QLatin1Char('#')))
        return; // numbers shrink it, "#" alone gives nothing: only "no crash" applies
    FUZZ_CHECK(terminator.size() == text.size(), "%lld characters gave %lld bytes",
               (long long)text.size(), (long long)terminator.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const char want = c <= 0xFF ? char(c) : '?';
        FUZZ_CHECK(terminator.at(i) == want, "byte %lld is 0x%02x for U+%04x", (long long)i,
                   unsigned(uint8_t(terminator.at(i))), unsigned(c));
    }
}

// "#<n>" must give exactly the low byte of n.
void checkNumber(uint32_t n)
{
    const QString text = QLatin1Char('#') + QString::number(n & 0x7FFFFFFF);
    const QByteArray terminator = TQCCom32::ParseEndOfResponse(text);
    FUZZ_CHECK(terminator.size() == 1 && uint8_t(terminator.at(0)) == (n & 0xFF), "%s gave %s",
               qPrintable(text), terminator.toHex().constData());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *chars = reinterpret_cast<const char *>(data);
    check(QString::fromLatin1(chars, qsizetype(size)));
    check(QString::fromUtf8(chars, qsizetype(size)));
    FuzzBytes in(data, size);
    checkNumber(in.u32());
    return 0;
}
