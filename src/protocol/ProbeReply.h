#pragma once
// What the replies of connecting mean: the probe's mode letter, the firmware version and level,
// and the identification texts. Shared by the window's connect handler and k3316-cli.

#include <QByteArray>
#include <QString>

#include <cstdint>

enum class TProbeVerdict {
    TooLong,         // 11 characters or more: the CAN connector is still plugged in
    Configuration,   // "S" at 115200
    OperationAsS,    // "S" at any other rate: handled as operation mode
    Operation,       // "R"
    TryChecksummed,  // nothing, or "?" first: the module may take only checksummed lines
    Failed,          // anything else
};

// The plain probe "#A" at the PC speed `baud`.
TProbeVerdict JudgeProbeReply(const QByteArray &reply, int32_t baud);
// The checksummed probe "#A64": only "R" is taken (Operation); TryChecksummed never comes back.
TProbeVerdict JudgeChecksummedProbeReply(const QByteArray &reply);

// Positions 3 to 6; fewer characters when the reply is shorter.
QString FirmwareVersionOf(const QByteArray &reply);
// The digit at position 3; a reply too short to carry it counts as level 0.
int32_t FirmwareLevelOf(const QByteArray &reply);

// Identification replies: "#PV" positions 3-6, "#PC" 3-9, "#PM" 3-8.
QString VersionReplyText(const QByteArray &reply);
QString MakerReplyText(const QByteArray &reply);
QString ModelReplyText(const QByteArray &reply);
