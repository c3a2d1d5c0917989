// The utility against the virtual module, end to end over a pseudo-terminal.

#include "support/ConfiguredForm.h"
#include "support/SimProcess.h"
#include "ui/main/ReceiveModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList loggedLines(const QString &logFile)
{
    QFile f(logFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("rx "))
            out << QString::fromLatin1(line.mid(3));
    return out;
}

QStringList listedLines(TMainForm &f)
{
    QStringList out;
    for (int i = 0; i < f.ReceiveItems()->Count(); ++i)
        for (const QByteArray &line : f.ReceiveItems()->Item(i).split('\r'))
            if (!line.isEmpty())
                out << QString::fromLatin1(line);
    return out;
}

} // namespace

class TestOperation : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void composedLinesArriveExactlyAndEchoesAreListed()
    {
        MessageBoxRecorder boxes;
        const QString log = m_dir.filePath(QStringLiteral("echo.log"));
        SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--echo"),
                        QStringLiteral("--log"), log});
        QVERIFY(sim.isRunning());
        TMainForm f;
        Steps steps;
        WaitForOperationMode(steps, f)
            .then([&] {
                ComposeMessage(f, "0", "0", "123", "2", {0x11, 0xAB});
                f.SendBitBtn->click();
                ComposeMessage(f, "1", "1", "00000123", "8");
                f.SendBitBtn->click();
                f.CANCheckBox->setChecked(false);
                f.SendEdit->setText(QStringLiteral("t7FF0"));
                f.SendBitBtn->click();
            })
            .waitUntil([&] { return listedLines(f).size() >= 3 && loggedLines(log).size() >= 4; }, "three echoes")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        // A reply time long enough for a loaded machine running tests side by side.
        ConnectWithSteps(f, {sim.path(), QStringLiteral("115200"), QStringLiteral("2000")}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY2(steps.finished(), qPrintable(boxes.texts().join('|'))); // not a failed connect
        QVERIFY(!f.UseChecksum);
        const QStringList sent = {QStringLiteral("t123211AB"), QStringLiteral("E000001238"), QStringLiteral("t7FF0")};
        QCOMPARE(loggedLines(log), QStringList{QStringLiteral("#A")} + sent);
        QCOMPARE(listedLines(f), sent);
        QVERIFY(boxes.boxes.isEmpty());
    }

    void checksummedModuleGetsChecksummedLines()
    {
        const QString log = m_dir.filePath(QStringLiteral("checksum.log"));
        SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--echo"),
                        QStringLiteral("--checksum"), QStringLiteral("--log"), log});
        QVERIFY(sim.isRunning());
        MessageBoxRecorder boxes;
        TMainForm f;
        Steps steps;
        bool checksums = false;
        WaitForOperationMode(steps, f, 5000)
            .then([&] {
                checksums = f.UseChecksum;
                ComposeMessage(f, "0", "0", "123", "2", {0x11, 0xAB});
                f.SendBitBtn->click();
            })
            .waitUntil([&] { return listedLines(f).size() >= 1 && loggedLines(log).size() >= 3; }, "echo")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectWithSteps(f, {sim.path(), QStringLiteral("115200"), QStringLiteral("200")}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure + boxes.texts().join('|')));
        QVERIFY(checksums);
        QCOMPARE(loggedLines(log), (QStringList{"#A", "#A64", "t123211AB21"}));
        QCOMPARE(listedLines(f), QStringList{QStringLiteral("t123211AB21")});
    }

    void trafficIsListedCompletely()
    {
        // The node waits a little after the probe's answer: a line in the same read as the
        // answer would make it too long to be a probe reply.
        SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--traffic"),
                        QStringLiteral("500"), QStringLiteral("--traffic-count"), QStringLiteral("300"),
                        QStringLiteral("--traffic-after"), QStringLiteral("200")});
        QVERIFY(sim.isRunning());
        MessageBoxRecorder boxes;
        TMainForm f;
        Steps steps;
        WaitForOperationMode(steps, f)
            .waitUntil([&] { return listedLines(f).size() >= 300; }, "300 lines", 20000)
            .pause(200)
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        ConnectWithSteps(f, {sim.path()}, steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join('|')));
        const QStringList lines = listedLines(f);
        QCOMPARE(lines.size(), 300);
        for (const QString &line : lines)
            QVERIFY2(QStringLiteral("tTeE").contains(line.at(0)), qPrintable(line));
    }

    void writtenSettingsAreReadBackByTheNextConnect()
    {
        SimProcess sim({});
        QVERIFY(sim.isRunning());
        MessageBoxRecorder boxes;
        TMainForm f;
        AnswerSettingsDialog({sim.path()});
        f.ConnectToolButtonClick(nullptr);
        QCOMPARE(f.ModuleMode, ModuleModes::Configuration);
        QCOMPARE(f.CANSpecificationComboBox->currentText(), QStringLiteral("2.0A"));

        SetItemIndex(f.RS232BaudrateComboBox, 9);
        SetItemIndex(f.CANSpecificationComboBox, 1);
        f.CANSpecificationComboBoxChange(nullptr);
        SetItemIndex(f.CANBaudrateComboBox, 8);
        f.CanCodeEdit->setText(QStringLiteral("1234ABCD"));
        f.CanMaskEdit->setText(QStringLiteral("0FFFFFFF"));
        f.ChkBox_Pair->setChecked(true);
        f.EndCmdRB4->setChecked(true);
        f.ChkBox_RespWCANID->setChecked(true);
        f.CANIDEdit->setText(QStringLiteral("00000ABC"));
        f.SettingButtonClick(nullptr);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Setting OK!!!")});
        QCOMPARE(f.ModuleBaudIndex, 9);
        f.DisconnectToolButtonClick(nullptr);

        // a fresh window reads back what was written
        TMainForm g;
        AnswerSettingsDialog({sim.path()});
        g.ConnectToolButtonClick(nullptr);
        QCOMPARE(g.ModuleMode, ModuleModes::Configuration);
        QCOMPARE(g.RS232BaudrateComboBox->currentText(), QStringLiteral("38400"));
        QCOMPARE(g.CANSpecificationComboBox->currentText(), QStringLiteral("2.0B"));
        QCOMPARE(g.CANBaudrateComboBox->currentText(), QStringLiteral("1000K"));
        QCOMPARE(g.CanCodeEdit->text(), QStringLiteral("1234ABCD"));
        QCOMPARE(g.CanMaskEdit->text(), QStringLiteral("0FFFFFFF"));
        QCOMPARE(g.CANIDEdit->text(), QStringLiteral("00000ABC"));
        QVERIFY(g.ChkBox_Pair->isChecked());
        QVERIFY(g.EndCmdRB4->isChecked());
        QVERIFY(g.ChkBox_RespWCANID->isChecked());
        QCOMPARE(g.ComPort->Baud(), 115200); // the PC side never follows a written rate
    }

    void mismatchedSpeedGivesGarbageAndNoConnection()
    {
        SimProcess sim({QStringLiteral("--mode"), QStringLiteral("operation"), QStringLiteral("--baud"),
                        QStringLiteral("9600")});
        QVERIFY(sim.isRunning());
        MessageBoxRecorder boxes;
        TMainForm f;
        AnswerSettingsDialog({sim.path(), QStringLiteral("115200"), QStringLiteral("200")});
        f.ConnectToolButtonClick(nullptr);
        QVERIFY(!f.Connected);
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY2(boxes.texts()[0].endsWith(QStringLiteral(" Connect Failed!")), qPrintable(boxes.texts()[0]));
    }
};

QTEST_MAIN(TestOperation)
#include "tst_operation.moc"
