#include "protocol/Framing.h"
#include "protocol/Profile.h"
#include "protocol/SettingsCommand.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

// The example profile of the documentation: 2.0B with pair connection.
QJsonObject example()
{
    return QJsonObject{{"format", "k3316-profile"}, {"version", 1},
                       {"rs232_baudrate", "115200"}, {"data_bit", "8"}, {"stop_bit", "1"}, {"parity", "None"},
                       {"add_checksum", "No"}, {"error_response", "No"},
                       {"can_specification", "2.0B"}, {"can_baudrate", "125K"},
                       {"acceptance_code", "00000123"}, {"acceptance_mask", "1FFFFFFF"},
                       {"pair_connection", true}, {"end_of_rs232_command", "LF"},
                       {"fixed_tx_can_id", true}, {"tx_can_id", "00000456"}, {"response_with_can_id", true}};
}

QJsonObject with(QJsonObject o, const QString &key, const QJsonValue &value)
{
    if (value.isUndefined())
        o.remove(key);
    else
        o.insert(key, value);
    return o;
}

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson();
}

QJsonObject a20(QJsonObject o)
{
    o.insert("can_specification", "2.0A");
    o.insert("acceptance_code", "123");
    o.insert("acceptance_mask", "7FF");
    o.insert("tx_can_id", "456");
    return o;
}

} // namespace

class TestProfile : public QObject {
    Q_OBJECT

private slots:
    // Each row: the profile text, and the keys the problems must name (none: it is good).
    void parseAndCheck_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("problemKeys");
        const QJsonObject e = example();
        const QStringList none;
        QTest::newRow("example") << json(e) << none;
        QTest::newRow("2.0A") << json(a20(e)) << none;
        QTest::newRow("lower-case and short hex") << json(with(e, "acceptance_code", "abc")) << none;
        QTest::newRow("83.3K is the last entry") << json(with(e, "can_baudrate", "83.3K")) << none;
        QTest::newRow("unknown key") << json(with(e, "can_bitrate", "125K")) << QStringList{"can_bitrate"};
        QTest::newRow("missing key") << json(with(e, "parity", QJsonValue::Undefined)) << QStringList{"parity"};
        QTest::newRow("baud outside list") << json(with(e, "rs232_baudrate", "230400")) << QStringList{"rs232_baudrate"};
        QTest::newRow("list is case-sensitive") << json(with(e, "parity", "none")) << QStringList{"parity"};
        QTest::newRow("CAN baud outside list") << json(with(e, "can_baudrate", "125")) << QStringList{"can_baudrate"};
        QTest::newRow("specification outside list") << json(with(e, "can_specification", "2.0C")) << QStringList{"can_specification"};
        QTest::newRow("end of command outside list") << json(with(e, "end_of_rs232_command", "CRLF")) << QStringList{"end_of_rs232_command"};
        QTest::newRow("number for a box") << json(with(e, "data_bit", 8)) << QStringList{"data_bit"};
        QTest::newRow("text for a flag") << json(with(e, "pair_connection", "true")) << QStringList{"pair_connection"};
        QTest::newRow("not hex") << json(with(e, "acceptance_mask", "1FFFFFFG")) << QStringList{"acceptance_mask"};
        QTest::newRow("empty hex") << json(with(e, "acceptance_code", "")) << QStringList{"acceptance_code"};
        QTest::newRow("2.0B over 29 bits") << json(with(e, "tx_can_id", "20000000")) << QStringList{"tx_can_id"};
        QTest::newRow("2.0B nine digits") << json(with(e, "acceptance_code", "000000123")) << QStringList{"acceptance_code"};
        QTest::newRow("2.0A over 11 bits") << json(with(a20(e), "acceptance_code", "800")) << QStringList{"acceptance_code"};
        QTest::newRow("2.0A four digits") << json(with(a20(e), "acceptance_mask", "07FF")) << QStringList{"acceptance_mask"};
        QTest::newRow("2.0A takes no 2.0B text") << json(with(e, "can_specification", "2.0A"))
                                                 << QStringList{"acceptance_code", "acceptance_mask", "tx_can_id"};
        QTest::newRow("wrong format") << json(with(e, "format", "k3316")) << QStringList{"format"};
        QTest::newRow("wrong version") << json(with(e, "version", 2)) << QStringList{"version"};
        QTest::newRow("two faults, both named") << json(with(with(e, "stop_bit", "3"), "tx_can_id", "x"))
                                                << QStringList{"stop_bit", "tx_can_id"};
        QTest::newRow("not JSON") << QByteArray("{\"format\": ") << QStringList{"not JSON"};
        QTest::newRow("not an object") << QByteArray("[1, 2]") << QStringList{"not a profile"};
    }
    void parseAndCheck()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, problemKeys);
        TProfile profile;
        profile.Parity = QStringLiteral("untouched");
        QStringList problems;
        const bool ok = Profiles::ParseProfile(text, profile, problems);
        QCOMPARE(ok, problemKeys.isEmpty());
        QCOMPARE(problems.size(), problemKeys.size());
        for (qsizetype i = 0; i < problems.size(); ++i)
            QVERIFY2(problems[i].startsWith(problemKeys[i]), qPrintable(problems[i]));
        if (!ok) {
            QCOMPARE(profile.Parity, QStringLiteral("untouched")); // nothing taken from a bad profile
            return;
        }
        // Every text is one of its box, and hex texts are in the page's form.
        QVERIFY(Profiles::CheckProfile(profile).isEmpty());
        const int digits = profile.CanSpecification == QLatin1String("2.0A") ? 3 : 8;
        for (const QString &hex : {profile.AcceptanceCode, profile.AcceptanceMask, profile.TxCanId}) {
            QCOMPARE(hex.size(), digits);
            QCOMPARE(hex, hex.toUpper());
        }
    }

    void problemsNameTheAllowedValues()
    {
        QStringList problems;
        TProfile p;
        QVERIFY(!Profiles::ParseProfile(json(with(example(), "can_baudrate", "126K")), p, problems));
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems[0].contains("\"83.3K\""));
        QVERIFY(!Profiles::ParseProfile(json(with(a20(example()), "tx_can_id", "800")), p, problems));
        QVERIFY2(problems[0].contains("7FF"), qPrintable(problems[0]));
    }

    void writtenProfileReadsBackTheSame()
    {
        TProfile p;
        QStringList problems;
        QVERIFY(Profiles::ParseProfile(json(example()), p, problems));
        const QByteArray text = Profiles::WriteProfile(p);
        QVERIFY(text.indexOf("\"rs232_baudrate\"") < text.indexOf("\"response_with_can_id\"")); // documented order
        TProfile again;
        QVERIFY(Profiles::ParseProfile(text, again, problems));
        QCOMPARE(again, p);
    }

    // What is written for a profile at each firmware level, and what is compared afterwards.
    void writesAndComparison_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("canCommand");
        QTest::addColumn<QString>("addChecksum");
        QTest::addColumn<QStringList>("adjusted"); // the keys the user is told the rules changed
        const QJsonObject e = with(example(), "add_checksum", "Yes");
        const QStringList none;
        QTest::newRow("level 2, pair on: checksum forced to No")
            << json(e) << 2 << QByteArray("$P121143") + "00000123" "1FFFFFFF" "00000456" "1112" << "No"
            << QStringList{"add_checksum"};
        QTest::newRow("level 2, pair on: checksum and error response forced to No")
            << json(with(e, "error_response", "Yes")) << 2 << QByteArray("$P121143") + "00000123" "1FFFFFFF" "00000456" "1112"
            << "No" << QStringList{"add_checksum", "error_response"};
        QTest::newRow("level 2, pair off: tail zero, id 1, unused pair fields not reported")
            << json(with(e, "pair_connection", false)) << 2 << QByteArray("$P121143") + "00000123" "1FFFFFFF" "00000001" "0000"
            << "Yes" << none;
        QTest::newRow("level 2, None: fixed id on, response off")
            << json(with(e, "end_of_rs232_command", "None")) << 2 << QByteArray("$P121143") + "00000123" "1FFFFFFF" "00000456" "1100"
            << "No" << QStringList{"add_checksum", "response_with_can_id"};
        QTest::newRow("level 2, Tx CAN ID 0 written as 1")
            << json(with(example(), "tx_can_id", "0")) << 2 << QByteArray("$P121143") + "00000123" "1FFFFFFF" "00000001" "1112"
            << "No" << QStringList{"tx_can_id"};
        QTest::newRow("level 2, 2.0A layout")
            << json(a20(e)) << 2 << QByteArray("$P121043") + "01230000" "07FF0000" "00000456" "1112" << "No"
            << QStringList{"add_checksum"};
        QTest::newRow("level 1: short form, pair fields not sent")
            << json(e) << 1 << QByteArray("$P115143") + "00000123" "1FFFFFFF" << "Yes" << none;
        QTest::newRow("level 1, 2.0A")
            << json(a20(e)) << 1 << QByteArray("$P115043") + "01230000" "07FF0000" << "Yes" << none;
    }
    void writesAndComparison()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, level);
        QFETCH(QByteArray, canCommand);
        QFETCH(QString, addChecksum);
        QFETCH(QStringList, adjusted);
        TProfile p;
        QStringList problems;
        QVERIFY(Profiles::ParseProfile(text, p, problems));
        QList<Profiles::TAdjustment> told;
        const TProfile effective = Profiles::ApplyPageRules(p, level, &told);
        QCOMPARE(effective.AddChecksum, addChecksum);
        QStringList toldKeys;
        for (const Profiles::TAdjustment &a : told) {
            toldKeys << a.Key;
            QCOMPARE(a.From, Profiles::ValueText(p, a.Key));
            QCOMPARE(a.To, Profiles::ValueText(effective, a.Key));
            QVERIFY(!a.Why.isEmpty());
        }
        QCOMPARE(toldKeys, adjusted);
        // The rules change nothing twice: what they give is what a page shows.
        QList<Profiles::TAdjustment> again;
        QCOMPARE(Profiles::ApplyPageRules(effective, level, &again), effective);
        QCOMPARE(again.size(), 0);
        TRS232Write rs232;
        TCanWrite can;
        Profiles::ToWrites(effective, 3, rs232, can);
        QVERIFY(IsCompleteRS232Write(rs232));
        QVERIFY(IsCompleteCanWrite(can));
        QCOMPARE(BuildRS232Command(rs232), QByteArray("$P0090B300") + (addChecksum == "Yes" ? "1" : "0") + "0");
        QCOMPARE(BuildCanCommand(can, level), canCommand);

        // A module that stores what was sent reads back equal; one that stores another CAN
        // baud rate is caught by that key alone.
        const QByteArray p1 = "!P" + canCommand.mid(5) + "\r";
        TRS232Settings rsBack;
        TCanSettings canBack;
        QVERIFY(DecodeRS232Reply("!P" + BuildRS232Command(rs232).mid(5) + "\r", rsBack));
        QVERIFY(DecodeCanReply(p1, level, canBack));
        const TProfile back = Profiles::FromModule(rsBack, canBack, level);
        QVERIFY(Profiles::ModuleFaults(back).isEmpty());
        QCOMPARE(Profiles::DifferingKeys(effective, back, level), QStringList());
        canBack.Baud = 5;
        QCOMPARE(Profiles::DifferingKeys(effective, Profiles::FromModule(rsBack, canBack, level), level),
                 QStringList{"can_baudrate"});
        // Below level 2 the pair fields are neither written nor compared.
        TProfile otherPair = back;
        otherPair.PairConnection = !otherPair.PairConnection;
        QCOMPARE(Profiles::DifferingKeys(effective, otherPair, level).isEmpty(), level < 2);
    }

    void moduleValuesOutsideTheListsAreFaults()
    {
        TRS232Settings rs232;
        rs232.BaudIndex = 27; // "1B"
        rs232.DataBits = 3;
        TCanSettings can;
        QVERIFY(DecodeCanReply("!P0a0" + QByteArray(28, '0') + "\r", 2, can));
        can.Baud = 10;
        const TProfile p = Profiles::FromModule(rs232, can, 2);
        QCOMPARE(Profiles::ModuleFaults(p), (QStringList{"rs232_baudrate", "can_baudrate"}));
    }
};

QTEST_APPLESS_MAIN(TestProfile)
#include "tst_profile.moc"
