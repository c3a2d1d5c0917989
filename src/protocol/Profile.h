#pragma once
// A profile: the "Settings" page as a small JSON file, values written as the page shows them.
// Parsing checks the whole profile before anything is sent; the conversions to and from the
// module's settings apply the page's CAN-parameter rules, so that what is written, what the
// window shows and what the module reads back can be compared field by field.

#include "protocol/ModuleReplies.h"
#include "protocol/SettingsCommand.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Its member values are the module's default settings, as "Defaults" writes them.
struct TProfile {
    QString Rs232Baudrate = QStringLiteral("115200");
    QString DataBit = QStringLiteral("8");
    QString StopBit = QStringLiteral("1");
    QString Parity = QStringLiteral("None");
    QString AddChecksum = QStringLiteral("No");
    QString ErrorResponse = QStringLiteral("No");
    QString CanSpecification = QStringLiteral("2.0A");
    QString CanBaudrate = QStringLiteral("125K");
    QString AcceptanceCode = QStringLiteral("000");
    QString AcceptanceMask = QStringLiteral("000");
    bool PairConnection = false;
    QString EndOfRs232Command = QStringLiteral("None");
    bool FixedTxCanId = true;
    QString TxCanId = QStringLiteral("001");
    bool ResponseWithCanId = false;

    bool operator==(const TProfile &) const = default;
};

namespace Profiles {

// The default settings (the "Defaults" button, `k3316-cli defaults`).
inline TProfile Defaults() { return TProfile(); }
// The two settings writes of the defaults, with the hidden CAN digit 0.
void DefaultWrites(int firmwareLevel, TRS232Write &rs232, TCanWrite &can);

// The fifteen setting keys, in the order a profile is written.
const QStringList &SettingKeys();
// The keys that only firmware level 2 and above reads and writes.
bool IsPairKey(const QString &key);

// One setting as text: a box entry, a hex text, or "true"/"false".
QString ValueText(const TProfile &p, const QString &key);

// Reads and checks a whole profile. Every problem is listed, each naming its key and what is
// allowed; `out` is set only when there is none.
bool ParseProfile(const QByteArray &json, TProfile &out, QStringList &problems);
// Checks the values of a profile already in memory (the same rules as parsing).
QStringList CheckProfile(const TProfile &p);
// The profile as JSON, keys in the documented order.
QByteArray WriteProfile(const TProfile &p);

// What the module holds, as the page would show it. Box indexes outside their lists give an
// empty text (see ModuleFaults). Below firmware level 2 the pair fields are those of Defaults.
TProfile FromModule(const TRS232Settings &rs232, const TCanSettings &can, int firmwareLevel);
// The keys whose module value lies outside its list, or whose hex text is not a number.
QStringList ModuleFaults(const TProfile &fromModule);

// The settings the module will store when `p` is written: the page's rules applied (pair
// connection forces "No" checksum and error response; "None" checks the fixed-Tx-CAN-ID box and
// clears response-with-CAN-ID; without pair connection the pair fields are written as zeros with
// the Tx CAN ID 1). Below level 2 the pair fields are left as they are: the short form does not
// carry them.
TProfile Effective(const TProfile &p, int firmwareLevel);
// The two settings writes of a checked, effective profile. `hidden` is the module's hidden CAN
// digit, written back as read.
void ToWrites(const TProfile &effective, int32_t hidden, TRS232Write &rs232, TCanWrite &can);

// A hex text as the page shows it under `spec`: upper case, zero-padded to 3 or 8 digits; a
// text that is no value within the limits is returned unchanged.
QString PageHex(const QString &text, const QString &spec);

// Keys whose values differ; below level 2 the pair fields are not compared.
QStringList DifferingKeys(const TProfile &a, const TProfile &b, int firmwareLevel);

} // namespace Profiles
