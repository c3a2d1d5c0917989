// k3316-cli's argument parser on arbitrary argument lists (NUL separates them): it never
// crashes, a refusal always says why, and what it accepts is complete enough to run.

#include "FuzzBytes.h"
#include "cli/CliOptions.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList args;
    for (const QByteArray &word : bytes.split('\0'))
        args << QString::fromUtf8(word);
    if (size == 0)
        args.clear();

    TCliOptions o;
    QString error;
    const bool ok = ParseCliArguments(args, o, error);
    if (!ok) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    FUZZ_CHECK(error.isEmpty(), "accepted with an error");
    if (o.Help || o.Version)
        return 0;
    FUZZ_CHECK(o.Command != TCliCommand::None, "accepted without a command");
    FUZZ_CHECK(!o.Port.isEmpty(), "accepted without a port");
    FUZZ_CHECK(o.TimeoutMs >= 0 && o.TimeoutMs <= 600000 && o.Baud > 0, "timeout or speed out of range");
    FUZZ_CHECK(o.Command != TCliCommand::Set || !o.ProfileFile.isEmpty(), "set without a profile");
    if (o.Command == TCliCommand::Send) {
        FUZZ_CHECK(!o.Lines.isEmpty(), "send without lines");
        for (const QString &line : o.Lines)
            FUZZ_CHECK(!line.contains(QLatin1Char('\r')) && QString::fromLatin1(line.toLatin1()) == line,
                       "a line that cannot go out whole was accepted");
    }
    FUZZ_CHECK(!o.NoProbe || o.Command == TCliCommand::Send || o.Command == TCliCommand::Monitor,
               "--no-probe accepted for another command");
    return 0;
}
