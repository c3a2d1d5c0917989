#pragma once
// Reading one module line as a CAN frame: "t"/"T" standard data/remote with 3 identifier
// digits, "e"/"E" extended data/remote with 8, then the DLC digit, then (data frames only) two
// digits per data byte, optionally followed by the two checksum digits the module adds when
// its checksum setting is on. Replies ("!...", "?...") and anything else are told apart but
// never refused: every line has a kind.

#include <QByteArray>

#include <cstdint>

enum class TFrameKind : uint8_t {
    StandardData,   // t
    StandardRemote, // T
    ExtendedData,   // e
    ExtendedRemote, // E
    Reply,          // "!..." or "?..."
    Other,
};
constexpr int FrameKindCount = 6;

// The short name used in the table, the filters and the CSV log: "t", "T", "e", "E", "reply", "other".
const char *FrameKindName(TFrameKind kind);
inline bool IsCanFrame(TFrameKind kind)
{
    return kind <= TFrameKind::ExtendedRemote;
}
inline bool IsExtended(TFrameKind kind)
{
    return kind == TFrameKind::ExtendedData || kind == TFrameKind::ExtendedRemote;
}
inline bool IsRemote(TFrameKind kind)
{
    return kind == TFrameKind::StandardRemote || kind == TFrameKind::ExtendedRemote;
}

enum class TChecksum : uint8_t { None, Right, Wrong };

struct TDecodedLine {
    TFrameKind kind = TFrameKind::Other;
    TChecksum checksum = TChecksum::None;
    uint8_t dlc = 0;
    uint8_t received = 0; // the checksum as received (when there is one)
    uint8_t expected = 0; // the checksum of the text before it
    uint32_t id = 0;
    uint8_t data[8] = {};
};

// `line` without its CR. A frame whose identifier does not fit 11 or 29 bits is no frame a
// controller could send, so it is "other" rather than a frame that logs would alter.
TDecodedLine DecodeLine(const char *line, qsizetype size);
inline TDecodedLine DecodeLine(const QByteArray &line)
{
    return DecodeLine(line.constData(), line.size());
}
