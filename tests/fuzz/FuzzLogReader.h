#pragma once
// Reads a whole log of a forced format from fuzz bytes: it must end, at its end or with a
// problem that names the input and a byte offset within it, and every frame must be one a CAN
// bus can carry.

#include "FuzzBytes.h"
#include "logs/LogReader.h"

inline void FuzzReadLog(const uint8_t *data, size_t size, TLogKind kind)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString problem;
    const std::unique_ptr<TLogReader> reader = OpenLogBytes(bytes, QStringLiteral("f"), problem, &kind);
    FUZZ_CHECK(reader != nullptr, "a forced format was not opened: %s", qPrintable(problem));
    TLogFrame f;
    uint64_t frames = 0;
    while (reader->Next(f)) {
        FUZZ_CHECK(f.Data.size() <= 64, "a frame of %d bytes", int(f.Data.size()));
        FUZZ_CHECK(f.Id <= 0x1FFFFFFFu, "an identifier of more than 29 bits");
        FUZZ_CHECK(f.Extended || f.Error || f.Id <= 0x7FFu, "a standard identifier of more than 11 bits");
        FUZZ_CHECK(reader->BytesRead() <= qint64(size), "read past the input");
        ++frames;
    }
    FUZZ_CHECK(frames == reader->FramesRead(), "frames miscounted");
    if (!reader->Problem().isEmpty())
        FUZZ_CHECK(reader->Problem().startsWith(QStringLiteral("f: byte ")), "a problem without its offset: %s",
                   qPrintable(reader->Problem()));
}
