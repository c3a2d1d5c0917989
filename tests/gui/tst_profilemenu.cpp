// The File menu's Open Profile, Save Profile As and Compare with Module on a configured window.

#include "protocol/Framing.h"
#include "protocol/Profile.h"
#include "support/ConfiguredForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QJsonObject profile20B()
{
    return QJsonObject{{"format", "k3316-profile"}, {"version", 1},
                       {"rs232_baudrate", "9600"}, {"data_bit", "7"}, {"stop_bit", "2"}, {"parity", "Odd"},
                       {"add_checksum", "Yes"}, {"error_response", "Yes"},
                       {"can_specification", "2.0B"}, {"can_baudrate", "500K"},
                       {"acceptance_code", "00000123"}, {"acceptance_mask", "1FFFFFFF"},
                       {"pair_connection", true}, {"end_of_rs232_command", "LF"},
                       {"fixed_tx_can_id", true}, {"tx_can_id", "00000456"}, {"response_with_can_id", true}};
}

// The replies of a module holding the settings that profile20B writes.
QByteArray moduleReply(const QByteArray &line)
{
    if (line == "#P0") return "!P0721100\r"; // pair connection forced checksum and response to No
    if (line == "#P1") return "!P160000001231FFFFFFF000004561112\r";
    if (line.startsWith("$P0")) return "!P0\r";
    if (line.startsWith("$P1")) return "!P1\r";
    return {};
}

struct Rig : ConnectedForm {
    QTemporaryDir dir;
    QString chosen;
    int asked = 0;
    explicit Rig(int level) : ConnectedForm(level)
    {
        module.reply = moduleReply;
        form.ChooseProfileFile = [this](bool) { ++asked; return chosen; };
    }
    QString write(const QString &name, const QByteArray &text)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return f.fileName();
    }
};

} // namespace

class TestProfileMenu : public QObject {
    Q_OBJECT

private slots:
    // Whatever the page held before, the pair rule runs; the user is told once what it changed.
    void openFillsThePageAsAUserWouldAndSendsNothing_data()
    {
        QTest::addColumn<bool>("pairBefore");
        QTest::newRow("pair connection off before") << false;
        QTest::newRow("pair connection already on") << true;
    }
    void openFillsThePageAsAUserWouldAndSendsNothing()
    {
        QFETCH(bool, pairBefore);
        Rig r(2);
        r.form.ChkBox_Pair->setChecked(pairBefore);
        r.chosen = r.write("p.json", QJsonDocument(profile20B()).toJson());
        r.form.OpenProfile1->trigger();
        QCOMPARE(r.asked, 1);
        QCOMPARE(r.boxes.boxes.size(), 1);
        QCOMPARE(r.boxes.boxes[0].type, TMsgType::Information);
        const QStringList told = r.boxes.boxes[0].text.split('\n').mid(1);
        QCOMPARE(told.size(), 2);
        QVERIFY2(told[0].startsWith("add_checksum: \"Yes\" -> \"No\" (pair connection"), qPrintable(told[0]));
        QVERIFY2(told[1].startsWith("error_response: \"Yes\" -> \"No\""), qPrintable(told[1]));
        QCOMPARE(r.module.lines, QList<QByteArray>()); // nothing until Setting is pressed
        QCOMPARE(r.form.RS232BaudrateComboBox->currentText(), QStringLiteral("9600"));
        QCOMPARE(r.form.CANSpecificationComboBox->currentIndex(), 1);
        QCOMPARE(r.form.CANBaudrateComboBox->currentText(), QStringLiteral("500K"));
        QCOMPARE(r.form.CanCodeEdit->text(), QStringLiteral("00000123"));
        QCOMPARE(r.form.CanMaskEdit->text(), QStringLiteral("1FFFFFFF"));
        // The pair rule ran: checksum and response forced to "No" and locked.
        QVERIFY(r.form.ChkBox_Pair->isChecked());
        QCOMPARE(r.form.RS232ChecksumComboBox->currentText(), QStringLiteral("No"));
        QVERIFY(!r.form.RS232ChecksumComboBox->isEnabled());
        QCOMPARE(r.form.RS232RespondComboBox->currentText(), QStringLiteral("No"));
        QVERIFY(!r.form.RS232RespondComboBox->isEnabled());
        // The "LF" rule ran: the fixed-id box shown, response enabled.
        QVERIFY(r.form.EndCmdRB3->isChecked());
        QCOMPARE(r.form.Unit.EndOfCommandIndex, 2);
        QVERIFY(!r.form.ChkBox_TxCANID->isHidden());
        QVERIFY(r.form.ChkBox_TxCANID->isChecked());
        QVERIFY(r.form.ChkBox_RespWCANID->isChecked() && r.form.ChkBox_RespWCANID->isEnabled());
        QCOMPARE(r.form.CANIDEdit->text(), QStringLiteral("00000456"));

        r.form.SettingButton->click();
        QCOMPARE(r.module.lines.size(), 2);
        QCOMPARE(r.module.lines[0].chopped(2), QByteArray("$P0090721100"));
        QCOMPARE(r.module.lines[1].chopped(2), QByteArray("$P121160000001231FFFFFFF000004561112"));
        QCOMPARE(r.boxes.texts().mid(1), QStringList{QStringLiteral("Setting OK!!!")});
    }

    // A profile the rules leave as it is opens without a word.
    void openOfAProfileTheRulesKeepSaysNothing()
    {
        Rig r(2);
        QJsonObject p = profile20B();
        p.insert("add_checksum", "No");
        p.insert("error_response", "No");
        r.chosen = r.write("p.json", QJsonDocument(p).toJson());
        r.form.OpenProfile1->trigger();
        QCOMPARE(r.boxes.texts(), QStringList());
        QCOMPARE(r.form.PageProfile(), Profiles::ApplyPageRules(r.form.PageProfile(), 2));
    }

    void badProfileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("named");
        QJsonObject badBaud = profile20B();
        badBaud.insert("can_baudrate", "42K");
        QJsonObject extra = profile20B();
        extra.insert("colour", "red");
        QJsonObject a = profile20B();
        a.insert("can_specification", "2.0A");
        QTest::newRow("value outside its list") << QJsonDocument(badBaud).toJson() << "can_baudrate";
        QTest::newRow("unknown key") << QJsonDocument(extra).toJson() << "colour";
        QTest::newRow("2.0B texts under 2.0A") << QJsonDocument(a).toJson() << "acceptance_code";
        QTest::newRow("not JSON") << QByteArray("rs232_baudrate=9600") << "not JSON";
        // Special files: the text says what the path is instead of a file.
        QTest::newRow("a FIFO nobody writes to") << QByteArray("fifo") << "not a regular file";
        QTest::newRow("a directory") << QByteArray("directory") << "not a regular file";
        QTest::newRow("over 1 MB") << QByteArray((1 << 20) + 1, ' ') << "too large";
    }
    void badProfileChangesNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, named);
        Rig r(2);
        const TProfile before = r.form.PageProfile();
        r.chosen = r.dir.filePath("bad.json");
        if (text == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(r.chosen).constData(), 0600) == 0);
        else if (text == "directory")
            QVERIFY(QDir().mkdir(r.chosen));
        else
            r.write("bad.json", text);
        r.form.OpenProfile1->trigger(); // returns at once, also for the FIFO
        QCOMPARE(r.boxes.boxes.size(), 1);
        QCOMPARE(r.boxes.boxes[0].type, TMsgType::Error);
        QVERIFY2(r.boxes.boxes[0].text.contains(named), qPrintable(r.boxes.boxes[0].text));
        QCOMPARE(r.form.PageProfile(), before);
    }

    void saveWritesThePageAndOpenRestoresIt()
    {
        Rig r(2);
        r.chosen = r.write("p.json", QJsonDocument(profile20B()).toJson());
        r.form.OpenProfile1->trigger();
        QCOMPARE(r.boxes.boxes.size(), 1); // what the rules changed
        r.boxes.boxes.clear();
        const TProfile page = r.form.PageProfile();
        r.chosen = r.dir.filePath("saved.json");
        r.form.SaveProfileAs1->trigger();
        QCOMPARE(r.boxes.texts(), QStringList());
        QFile saved(r.chosen);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        TProfile read;
        QStringList problems;
        QVERIFY(Profiles::ParseProfile(saved.readAll(), read, problems));
        QCOMPARE(read, page);

        r.form.DefaultButtonClick(nullptr); // the page changes...
        QVERIFY(r.form.PageProfile() != page);
        r.boxes.boxes.clear();
        r.form.OpenProfile1->trigger(); // ...and the saved profile brings it back, unchanged by the rules
        QCOMPARE(r.form.PageProfile(), page);
        QCOMPARE(r.boxes.texts(), QStringList());
    }

    void aPageWithoutASelectionIsNotSaved()
    {
        Rig r(2);
        r.form.DefaultButtonClick(nullptr);
        r.boxes.boxes.clear();
        SetItemIndex(r.form.RS232ParityComboBox, -1);
        r.chosen = r.dir.filePath("never.json");
        r.form.SaveProfileAs1->trigger();
        QCOMPARE(r.asked, 0);
        QCOMPARE(r.boxes.boxes.size(), 1);
        QVERIFY(r.boxes.boxes[0].text.contains("parity"));
        QVERIFY(!QFile::exists(r.chosen));
    }

    void compare_data()
    {
        QTest::addColumn<QByteArray>("p1");
        QTest::addColumn<bool>("pairBefore");
        QTest::addColumn<QStringList>("differing");
        QTest::newRow("agree") << QByteArray("!P160000001231FFFFFFF000004561112\r") << false << QStringList();
        QTest::newRow("agree, pair connection on before") << QByteArray("!P160000001231FFFFFFF000004561112\r") << true
                                                          << QStringList();
        QTest::newRow("module lost the baud rate") << QByteArray("!P150000001231FFFFFFF000004561112\r") << false
                                                   << QStringList{"CAN bus Baudrate: page \"500K\", module \"250K\""};
        QTest::newRow("module lost the pair connection") << QByteArray("!P160000001231FFFFFFF000004560112\r") << true
                                                         << QStringList{"Pair Connection: page \"on\", module \"off\""};
        QTest::newRow("module has another fixed identifier") << QByteArray("!P160000001231FFFFFFF000004571112\r") << true
                                                             << QStringList{"Fixed Tx CAN ID (Hex): page \"00000456\", module \"00000457\""};
    }
    void compare()
    {
        QFETCH(QByteArray, p1);
        QFETCH(bool, pairBefore);
        QFETCH(QStringList, differing);
        Rig r(2);
        r.form.ChkBox_Pair->setChecked(pairBefore);
        r.chosen = r.write("p.json", QJsonDocument(profile20B()).toJson());
        r.form.OpenProfile1->trigger();
        QCOMPARE(r.boxes.boxes.size(), 1); // what the rules changed
        r.boxes.boxes.clear();
        r.module.reply = [p1](const QByteArray &line) { return line == "#P1" ? p1 : moduleReply(line); };
        r.form.CompareWithModule1->trigger();
        QCOMPARE(r.module.lines, (QList<QByteArray>{"#P0", "#P1"}));
        QCOMPARE(r.boxes.boxes.size(), 1);
        const RecordedBox box = r.boxes.boxes[0];
        if (differing.isEmpty()) {
            QCOMPARE(box.type, TMsgType::Information);
            QCOMPARE(box.text, QStringLiteral("The page and the module agree."));
        } else {
            QCOMPARE(box.type, TMsgType::Warning);
            const QStringList lines = box.text.split('\n').mid(1);
            QCOMPARE(lines.size(), differing.size());
            for (qsizetype i = 0; i < lines.size(); ++i)
                QCOMPARE(lines[i], differing[i]); // named as the page names it
        }
        QCOMPARE(r.form.PageProfile().CanBaudrate, QStringLiteral("500K")); // the page stays
    }

    void compareWithASilentModuleSaysSo()
    {
        Rig r(2);
        r.module.reply = nullptr;
        r.form.CompareWithModule1->trigger();
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Get Module COM Setting Error!")});
    }

    void outsideTheConfigurationStateNothingIsAsked()
    {
        MessageBoxRecorder boxes;
        TMainForm form;
        int asked = 0;
        form.ChooseProfileFile = [&asked](bool) { ++asked; return QString(); };
        form.OpenProfile1->trigger();
        form.CompareWithModule1->trigger();
        QCOMPARE(asked, 0);
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes[0].type, TMsgType::Warning);
    }
};

QTEST_MAIN(TestProfileMenu)
#include "tst_profilemenu.moc"
