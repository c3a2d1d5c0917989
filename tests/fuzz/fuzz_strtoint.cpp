// The standard integer conversion against a second, table-free reading of its grammar:
//   blanks* [+-]? ( decimal digits | ("$"|"x"|"X"|"0x"|"0X") hex digits )
// Both entry points must agree with each other and with the grammar, and every accepted value
// must survive the decimal and hexadecimal round trips.

#include "FuzzBytes.h"
#include "common/StrToInt.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace {

bool isDec(char16_t c) { return c >= u'0' && c <= u'9'; }

std::optional<uint32_t> hexValue(char16_t c)
{
    if (isDec(c)) return uint32_t(c - u'0');
    if (c >= u'a' && c <= u'f') return uint32_t(c - u'a' + 10);
    if (c >= u'A' && c <= u'F') return uint32_t(c - u'A' + 10);
    return std::nullopt;
}

// What the text should convert to, or nothing when it is no integer.
std::optional<int32_t> expected(const std::u16string &s)
{
    size_t i = s.find_first_not_of(u' ');
    if (i == std::u16string::npos)
        return std::nullopt;
    bool negative = false;
    if (s[i] == u'+' || s[i] == u'-')
        negative = s[i++] == u'-';
    const std::u16string body = s.substr(i);

    std::u16string digits;
    bool hex = false;
    for (const std::u16string prefix : {u"$", u"x", u"X", u"0x", u"0X"}) {
        if (body.size() > prefix.size() && body.compare(0, prefix.size(), prefix) == 0) {
            // A prefix with nothing after it is no number either way.
            hex = true;
            digits = body.substr(prefix.size());
            break;
        }
    }
    if (!hex)
        digits = body;
    if (digits.empty())
        return std::nullopt;

    if (hex) {
        const size_t first = digits.find_first_not_of(u'0');
        const std::u16string significant = first == std::u16string::npos ? u"" : digits.substr(first);
        uint64_t magnitude = 0;
        for (char16_t c : digits)
            if (!hexValue(c))
                return std::nullopt;
        if (significant.size() > 8)
            return std::nullopt;
        for (char16_t c : significant)
            magnitude = magnitude * 16 + *hexValue(c);
        const uint32_t pattern = uint32_t(magnitude);
        return int32_t(negative ? 0u - pattern : pattern);
    }

    for (char16_t c : digits)
        if (!isDec(c))
            return std::nullopt;
    const size_t first = digits.find_first_not_of(u'0');
    const std::u16string significant = first == std::u16string::npos ? u"0" : digits.substr(first);
    if (significant.size() > 10)
        return std::nullopt;
    int64_t magnitude = 0;
    for (char16_t c : significant)
        magnitude = magnitude * 10 + (c - u'0');
    const int64_t v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return int32_t(v);
}

void check(const QString &text)
{
    int32_t tried = 0x5A5A5A5A;
    const bool ok = TryStrToInt(text, tried);

    std::optional<int32_t> thrown;
    QString message;
    try {
        thrown = StrToInt(text);
    } catch (const EConvertError &e) {
        message = e.message();
    }
    FUZZ_CHECK(ok == thrown.has_value(), "TryStrToInt says %d, StrToInt disagrees", int(ok));
    if (!ok) {
        FUZZ_CHECK(message == QStringLiteral("'%1' is not a valid integer value").arg(text),
                   "error message: %s", qPrintable(message));
    } else {
        FUZZ_CHECK(tried == *thrown, "TryStrToInt %d, StrToInt %d", tried, *thrown);
    }

    const std::optional<int32_t> want = expected(text.toStdU16String());
    FUZZ_CHECK(want.has_value() == ok, "grammar says %s, conversion says %s",
               want ? "integer" : "no integer", ok ? "integer" : "no integer");
    if (!ok)
        return;
    FUZZ_CHECK(*want == tried, "grammar gives %d, conversion %d", *want, tried);

    int32_t again = 0;
    const QString decimal = IntToStr(tried);
    FUZZ_CHECK(TryStrToInt(decimal, again) && again == tried, "decimal round trip of %d via %s",
               tried, qPrintable(decimal));
    const QString hex = QLatin1Char('$') + IntToHex(tried, 8);
    FUZZ_CHECK(hex.size() == 9, "IntToHex(%d, 8) gave %s", tried, qPrintable(hex));
    FUZZ_CHECK(TryStrToInt(hex, again) && again == tried, "hex round trip of %d via %s", tried,
               qPrintable(hex));
    // Leading blanks never matter; a trailing one always does.
    FUZZ_CHECK(TryStrToInt(QLatin1Char(' ') + text, again) && again == tried, "leading blank");
    FUZZ_CHECK(!TryStrToInt(text + QLatin1Char(' '), again), "trailing blank accepted");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *chars = reinterpret_cast<const char *>(data);
    check(QString::fromLatin1(chars, qsizetype(size)));
    // As UTF-8 too, so that characters beyond Latin-1 (other scripts' digits) come in.
    check(QString::fromUtf8(chars, qsizetype(size)));
    return 0;
}
