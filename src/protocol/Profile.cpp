#include "protocol/Profile.h"

#include "common/StrToInt.h"
#include "protocol/BoxLists.h"
#include "protocol/CanIdentifier.h"
#include "protocol/VersionedJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Profiles {

namespace {

const QString kFormat = QStringLiteral("k3316-profile");
constexpr int kVersion = 1;

enum class TKind { List, Hex, Flag };

struct TKeyDef {
    const char *key;
    TKind kind;
    QString TProfile::*text;
    bool TProfile::*flag;
    const QStringList &(*list)();
    bool pair;
};

const TKeyDef kKeys[] = {
    {"rs232_baudrate", TKind::List, &TProfile::Rs232Baudrate, nullptr, &BoxLists::RS232Baudrates, false},
    {"data_bit", TKind::List, &TProfile::DataBit, nullptr, &BoxLists::DataBits, false},
    {"stop_bit", TKind::List, &TProfile::StopBit, nullptr, &BoxLists::StopBits, false},
    {"parity", TKind::List, &TProfile::Parity, nullptr, &BoxLists::Parities, false},
    {"add_checksum", TKind::List, &TProfile::AddChecksum, nullptr, &BoxLists::NoYes, false},
    {"error_response", TKind::List, &TProfile::ErrorResponse, nullptr, &BoxLists::NoYes, false},
    {"can_specification", TKind::List, &TProfile::CanSpecification, nullptr, &BoxLists::CanSpecifications, false},
    {"can_baudrate", TKind::List, &TProfile::CanBaudrate, nullptr, &BoxLists::CanBaudrates, false},
    {"acceptance_code", TKind::Hex, &TProfile::AcceptanceCode, nullptr, nullptr, false},
    {"acceptance_mask", TKind::Hex, &TProfile::AcceptanceMask, nullptr, nullptr, false},
    {"pair_connection", TKind::Flag, nullptr, &TProfile::PairConnection, nullptr, true},
    {"end_of_rs232_command", TKind::List, &TProfile::EndOfRs232Command, nullptr, &BoxLists::EndsOfCommand, true},
    {"fixed_tx_can_id", TKind::Flag, nullptr, &TProfile::FixedTxCanId, nullptr, true},
    {"tx_can_id", TKind::Hex, &TProfile::TxCanId, nullptr, nullptr, true},
    {"response_with_can_id", TKind::Flag, nullptr, &TProfile::ResponseWithCanId, nullptr, true},
};

const TKeyDef *findKey(const QString &key)
{
    for (const TKeyDef &d : kKeys)
        if (key == QLatin1String(d.key))
            return &d;
    return nullptr;
}

QString quotedList(const QStringList &list)
{
    QStringList quoted;
    for (const QString &entry : list)
        quoted << QLatin1Char('"') + entry + QLatin1Char('"');
    return quoted.join(QStringLiteral(", "));
}

struct THexLimits {
    int digits;
    int32_t max;
    QString name;
};

THexLimits limitsFor(const QString &spec)
{
    // Any specification other than the first entry takes the 29-bit limits, as the page does.
    if (spec == BoxLists::CanSpecifications().at(0))
        return {CanId::StandardDigits, CanId::MaxStandard, spec};
    return {CanId::ExtendedDigits, CanId::MaxExtended, BoxLists::CanSpecifications().at(1)};
}

bool isHexDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    return true;
}

// The value of a hex text within `limits`, or -1.
int32_t hexValue(const QString &text, const THexLimits &limits)
{
    if (!isHexDigits(text) || text.size() > limits.digits)
        return -1;
    int32_t value = -1;
    if (!TryStrToInt(QStringLiteral("$") + text, value) || value < 0 || value > limits.max)
        return -1;
    return value;
}

QString checkHex(const QString &key, const QString &text, const QString &spec)
{
    const THexLimits limits = limitsFor(spec);
    if (hexValue(text, limits) >= 0)
        return QString();
    return QStringLiteral("%1: \"%2\" is outside the %3 limits: 1 to %4 hexadecimal digits, %5 to %6")
        .arg(key, text, limits.name)
        .arg(limits.digits)
        .arg(IntToHex(0, limits.digits), IntToHex(limits.max, limits.digits));
}

QStringList checkValues(const TProfile &p)
{
    QStringList problems;
    for (const TKeyDef &d : kKeys) {
        const QString key = QLatin1String(d.key);
        if (d.kind == TKind::List && !d.list().contains(p.*d.text))
            problems << QStringLiteral("%1: \"%2\" is not one of %3").arg(key, p.*d.text, quotedList(d.list()));
        else if (d.kind == TKind::Hex)
            if (const QString problem = checkHex(key, p.*d.text, p.CanSpecification); !problem.isEmpty())
                problems << problem;
    }
    return problems;
}

// The page's form of a hex text: upper case, zero-padded to the specification's width.
QString pageHex(const QString &text, const QString &spec)
{
    const THexLimits limits = limitsFor(spec);
    const int32_t value = hexValue(text, limits);
    return value >= 0 ? IntToHex(value, limits.digits) : text;
}

QString jsonString(const QString &text)
{
    // QJsonDocument writes only whole documents; an array of one gives the escaped string.
    QByteArray doc = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(doc.mid(1, doc.size() - 2));
}

} // namespace

const QStringList &SettingKeys()
{
    static const QStringList keys = [] {
        QStringList k;
        for (const TKeyDef &d : kKeys)
            k << QLatin1String(d.key);
        return k;
    }();
    return keys;
}

bool IsPairKey(const QString &key)
{
    const TKeyDef *d = findKey(key);
    return d && d->pair;
}

QString ValueText(const TProfile &p, const QString &key)
{
    const TKeyDef *d = findKey(key);
    if (!d)
        return QString();
    if (d->kind == TKind::Flag)
        return p.*d->flag ? QStringLiteral("true") : QStringLiteral("false");
    return p.*d->text;
}

bool ParseProfile(const QByteArray &json, TProfile &out, QStringList &problems)
{
    problems.clear();
    QJsonObject object;
    if (!OpenVersionedJson(json, QStringLiteral("a profile"), kFormat, kVersion, object, problems))
        return false;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key != QLatin1String("format") && key != QLatin1String("version") && !findKey(key))
            problems << QStringLiteral("%1: unknown key; the keys are format, version, %2")
                            .arg(key, SettingKeys().join(QStringLiteral(", ")));
    }

    TProfile p;
    QStringList typeProblems;
    for (const TKeyDef &d : kKeys) {
        const QString key = QLatin1String(d.key);
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) {
            typeProblems << QStringLiteral("%1: missing").arg(key);
        } else if (d.kind == TKind::Flag) {
            if (value.isBool())
                p.*d.flag = value.toBool();
            else
                typeProblems << QStringLiteral("%1: must be true or false").arg(key);
        } else if (!value.isString()) {
            typeProblems << (d.kind == TKind::List
                                 ? QStringLiteral("%1: must be a text, one of %2").arg(key, quotedList(d.list()))
                                 : QStringLiteral("%1: must be a text of hexadecimal digits").arg(key));
        } else {
            p.*d.text = value.toString();
        }
    }
    problems << typeProblems;
    // Values are checked only where they were read; a missing key is reported once.
    for (const QString &problem : checkValues(p)) {
        const QString key = problem.section(QLatin1Char(':'), 0, 0);
        bool reported = false;
        for (const QString &t : typeProblems)
            reported = reported || t.startsWith(key + QLatin1Char(':'));
        if (!reported)
            problems << problem;
    }
    if (!problems.isEmpty())
        return false;
    for (QString *hex : {&p.AcceptanceCode, &p.AcceptanceMask, &p.TxCanId})
        *hex = pageHex(*hex, p.CanSpecification);
    out = p;
    return true;
}

QStringList CheckProfile(const TProfile &p)
{
    return checkValues(p);
}

QByteArray WriteProfile(const TProfile &p)
{
    QString text = QStringLiteral("{\n    \"format\": \"%1\",\n    \"version\": %2").arg(kFormat).arg(kVersion);
    for (const TKeyDef &d : kKeys) {
        const QString value = d.kind == TKind::Flag ? ValueText(p, QLatin1String(d.key)) : jsonString(p.*d.text);
        text += QStringLiteral(",\n    \"%1\": %2").arg(QLatin1String(d.key), value);
    }
    text += QStringLiteral("\n}\n");
    return text.toUtf8();
}

TProfile FromModule(const TRS232Settings &rs232, const TCanSettings &can, int firmwareLevel)
{
    using namespace BoxLists;
    TProfile p;
    p.Rs232Baudrate = EntryAt(RS232Baudrates(), rs232.BaudIndex);
    p.DataBit = EntryAt(DataBits(), rs232.DataBits);
    p.StopBit = EntryAt(StopBits(), rs232.StopBits);
    p.Parity = EntryAt(Parities(), rs232.Parity);
    p.AddChecksum = EntryAt(NoYes(), rs232.Checksum);
    p.ErrorResponse = EntryAt(NoYes(), rs232.Respond);
    p.CanSpecification = EntryAt(CanSpecifications(), can.Spec);
    p.CanBaudrate = EntryAt(CanBaudrates(), can.Baud);
    // The reply's layout follows its own specification digit, so the widths do too.
    const QString layout = can.Layout20A ? CanSpecifications().at(0) : CanSpecifications().at(1);
    p.AcceptanceCode = pageHex(can.Code, layout);
    p.AcceptanceMask = pageHex(can.Mask, layout);
    if (firmwareLevel >= 2 && can.HasPairFields) {
        p.PairConnection = can.PairFlag != QLatin1String("0");
        p.FixedTxCanId = can.TxIdFlag != QLatin1String("0");
        p.ResponseWithCanId = can.RespIdFlag != QLatin1String("0");
        p.EndOfRs232Command = EntryAt(EndsOfCommand(), can.EndOfCommand);
        p.TxCanId = pageHex(can.TxCanId, layout);
    } else {
        p.TxCanId = IntToHex(1, limitsFor(layout).digits);
    }
    return p;
}

QStringList ModuleFaults(const TProfile &fromModule)
{
    QStringList keys;
    for (const QString &problem : checkValues(fromModule))
        keys << problem.section(QLatin1Char(':'), 0, 0);
    return keys;
}

QString AdjustmentText(const TAdjustment &a)
{
    return QStringLiteral("%1: \"%2\" -> \"%3\" (%4)").arg(a.Key, a.From, a.To, a.Why);
}

TProfile ApplyPageRules(const TProfile &p, int firmwareLevel, QList<TAdjustment> *adjusted)
{
    TProfile e = p;
    if (firmwareLevel < 2)
        return e;
    auto tell = [&](const char *key, const QString &why) {
        const QString k = QLatin1String(key);
        if (adjusted && ValueText(p, k) != ValueText(e, k))
            adjusted->append({k, ValueText(p, k), ValueText(e, k), why});
    };
    const THexLimits limits = limitsFor(e.CanSpecification);
    const QString none = BoxLists::EndsOfCommand().at(0);
    if (e.PairConnection) {
        // The page greys these boxes out and sets them to "No" when Pair Connection is ticked.
        e.AddChecksum = BoxLists::NoYes().at(0);
        e.ErrorResponse = BoxLists::NoYes().at(0);
        tell("add_checksum", QStringLiteral("pair connection is on: no checksums"));
        tell("error_response", QStringLiteral("pair connection is on: no error responses"));
        if (e.EndOfRs232Command == none) {
            e.FixedTxCanId = true;
            e.ResponseWithCanId = false;
            tell("fixed_tx_can_id", QStringLiteral("end of RS-232 command \"%1\" always sends with the fixed Tx CAN ID").arg(none));
            tell("response_with_can_id", QStringLiteral("end of RS-232 command \"%1\" answers without the CAN ID").arg(none));
        }
    } else {
        e.FixedTxCanId = false;
        e.ResponseWithCanId = false;
        e.EndOfRs232Command = none;
        e.TxCanId = IntToHex(0, limits.digits);
    }
    // An identifier of 0 is written as 1, as the Setting button does.
    if (hexValue(e.TxCanId, limits) == 0) {
        e.TxCanId = IntToHex(1, limits.digits);
        if (e.PairConnection)
            tell("tx_can_id", QStringLiteral("a Tx CAN ID of 0 is written as 1"));
    }
    return e;
}

void ToWrites(const TProfile &effective, int32_t hidden, TRS232Write &rs232, TCanWrite &can)
{
    using namespace BoxLists;
    const TProfile &e = effective;
    rs232.BaudIndex = int32_t(RS232Baudrates().indexOf(e.Rs232Baudrate));
    rs232.DataBits = int32_t(DataBits().indexOf(e.DataBit));
    rs232.StopBits = int32_t(StopBits().indexOf(e.StopBit));
    rs232.Parity = int32_t(Parities().indexOf(e.Parity));
    rs232.Checksum = int32_t(NoYes().indexOf(e.AddChecksum));
    rs232.Respond = int32_t(NoYes().indexOf(e.ErrorResponse));

    const THexLimits limits = limitsFor(e.CanSpecification);
    can.Spec = int32_t(CanSpecifications().indexOf(e.CanSpecification));
    can.Baud = int32_t(CanBaudrates().indexOf(e.CanBaudrate));
    can.Hidden = hidden;
    can.Code = hexValue(e.AcceptanceCode, limits);
    can.Mask = hexValue(e.AcceptanceMask, limits);
    can.TxCanId = hexValue(e.TxCanId, limits);
    can.PairFlag = e.PairConnection ? '1' : '0';
    can.TxIdFlag = e.FixedTxCanId ? '1' : '0';
    can.RespIdFlag = e.ResponseWithCanId ? '1' : '0';
    can.EndOfCommand = int32_t(EndsOfCommand().indexOf(e.EndOfRs232Command));
}

void DefaultWrites(int firmwareLevel, TRS232Write &rs232, TCanWrite &can)
{
    ToWrites(ApplyPageRules(Defaults(), firmwareLevel), 0, rs232, can);
}

QString PageHex(const QString &text, const QString &spec)
{
    return pageHex(text, spec);
}

QStringList DifferingKeys(const TProfile &a, const TProfile &b, int firmwareLevel)
{
    QStringList keys;
    for (const TKeyDef &d : kKeys) {
        if (d.pair && firmwareLevel < 2)
            continue;
        const QString key = QLatin1String(d.key);
        if (ValueText(a, key) != ValueText(b, key))
            keys << key;
    }
    return keys;
}

} // namespace Profiles
