// The profile reader on arbitrary bytes: a profile it takes is complete and in the page's form,
// writes back to itself, and the page's rules give complete settings writes; one it refuses
// names at least one problem and leaves the result untouched.

#include "FuzzBytes.h"
#include "protocol/Profile.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    TProfile p;
    p.Parity = QStringLiteral("untouched");
    QStringList problems;
    const bool ok = Profiles::ParseProfile(json, p, problems);
    if (!ok) {
        FUZZ_CHECK(!problems.isEmpty(), "a refused profile without a problem");
        FUZZ_CHECK(p.Parity == QLatin1String("untouched"), "a refused profile changed the result");
        return 0;
    }
    FUZZ_CHECK(problems.isEmpty(), "a taken profile with problems");
    FUZZ_CHECK(Profiles::CheckProfile(p).isEmpty(), "a taken profile fails its own check");

    TProfile again;
    FUZZ_CHECK(Profiles::ParseProfile(Profiles::WriteProfile(p), again, problems) && again == p,
               "a written profile does not read back the same");

    for (int level = 1; level <= 2; ++level) {
        QList<Profiles::TAdjustment> adjusted;
        const TProfile ruled = Profiles::ApplyPageRules(p, level, &adjusted);
        FUZZ_CHECK(Profiles::CheckProfile(ruled).isEmpty(), "the rules gave values outside the lists");
        FUZZ_CHECK(Profiles::ApplyPageRules(ruled, level) == ruled, "the rules change their own result");
        for (const Profiles::TAdjustment &a : adjusted)
            FUZZ_CHECK(a.From != a.To && !a.Why.isEmpty(), "an adjustment that changes nothing");
        TRS232Write rs232;
        TCanWrite can;
        Profiles::ToWrites(ruled, 0, rs232, can);
        FUZZ_CHECK(IsCompleteRS232Write(rs232) && IsCompleteCanWrite(can), "a taken profile gives an incomplete write");
    }
    return 0;
}
