#include "support/ConfiguredForm.h"
#include "ui/dialogs/HandlerGuard.h"
#include "ui/main/MainUnit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// A window whose Test page is set up as the operation state leaves it, without the receive loop,
// and whose port is the fake module's.
struct Rig : ConnectedForm {
    Rig()
    {
        form.CANCheckBox->setEnabled(true);
        form.SendEdit->setEnabled(true);
        form.AutoBitBtn->setEnabled(true);
        form.SendBitBtn->setEnabled(true);
        form.IntervalEdit->setEnabled(true);
        form.IDEdit->setText(QStringLiteral("000"));
        form.DLCEdit->setText(QStringLiteral("8"));
        for (TNumberEdit *d : form.DataEdits)
            d->setText(QStringLiteral("00"));
    }
    // Clicks Send through the handler guard, as the button does.
    void send() { form.SendBitBtn->click(); }
};

} // namespace

class TestComposer : public QObject {
    Q_OBJECT

private slots:
    void sendsTheWorkedLines()
    {
        Rig r;
        ComposeMessage(r.form, "0", "0", "123", "2", {0x11, 0xAB});
        r.send();
        QCOMPARE(r.form.SendEdit->text(), QStringLiteral("t123211AB"));
        ComposeMessage(r.form, "0", "1", "7FF", "0");
        r.send();
        ComposeMessage(r.form, "1", "0", "00000123", "2", {0xA5, 0xFF});
        r.send();
        ComposeMessage(r.form, "1", "1", "00000123", "8");
        r.send();
        QTRY_COMPARE(r.module.lines.size(), 4);
        QCOMPARE(r.module.lines, (QList<QByteArray>{"t123211AB", "T7FF0", "e000001232A5FF", "E000001238"}));
        QVERIFY(!r.module.received.contains('\n'));

        r.form.UseChecksum = true;
        r.module.lines.clear();
        ComposeMessage(r.form, "0", "0", "123", "2", {0x11, 0xAB});
        r.send();
        ComposeMessage(r.form, "1", "1", "00000123", "8");
        r.send();
        QTRY_COMPARE(r.module.lines.size(), 2);
        QCOMPARE(r.module.lines, (QList<QByteArray>{"t123211AB21", "E00000123803"}));
    }

    // Three digits reach FFF and eight FFFFFFFF; only 11 and 29 bits go out.
    void identifierBeyondItsBitsIsRefused_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("sent"); // empty: refused, nothing sent
        QTest::newRow("largest standard") << "0" << "7FF" << QByteArray("T7FF0");
        QTest::newRow("standard past 11 bits") << "0" << "800" << QByteArray();
        QTest::newRow("largest extended") << "1" << "1FFFFFFF" << QByteArray("E1FFFFFFF0");
        QTest::newRow("extended past 29 bits") << "1" << "20000000" << QByteArray();
    }
    void identifierBeyondItsBitsIsRefused()
    {
        QFETCH(QString, mode);
        QFETCH(QString, id);
        QFETCH(QByteArray, sent);
        Rig r;
        ComposeMessage(r.form, mode.toLatin1().constData(), "1", id.toLatin1().constData(), "0");
        r.send();
        if (sent.isEmpty()) {
            QCOMPARE(r.boxes.texts().size(), 1);
            QVERIFY2(r.boxes.texts().first().contains(QStringLiteral("is beyond")), qPrintable(r.boxes.texts().first()));
            QTest::qWait(50);
            QVERIFY(r.module.received.isEmpty());
        } else {
            QTRY_COMPARE(r.module.lines, QList<QByteArray>{sent});
            QVERIFY(r.boxes.boxes.isEmpty());
        }
    }

    void freeTextAndEmptyLines()
    {
        Rig r;
        r.form.SendEdit->setText(QStringLiteral("hello world"));
        r.send();
        r.form.SendEdit->clear();
        r.send();
        r.form.UseChecksum = true;
        r.send();
        QTRY_COMPARE(r.module.lines.size(), 3);
        QCOMPARE(r.module.lines, (QList<QByteArray>{"hello world", "", "00"}));
        const QByteArray longLine(60, 'A');
        r.form.SendEdit->setText(QString::fromLatin1(longLine));
        r.send();
        QTRY_COMPARE(r.module.lines.size(), 4);
        QCOMPARE(r.module.lines[3], longLine + "3C"); // 60 * 0x41 = 0xF3C
    }

    void conversionErrorsAbandonTheSend()
    {
        Rig r;
        r.form.SendEdit->setText(QStringLiteral("before"));
        ComposeMessage(r.form, "0", "0", "", "1");
        r.send();
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("'$' is not a valid integer value")});
        QCOMPARE(r.boxes.boxes[0].type, TMsgType::AppError);
        QCOMPARE(r.form.SendEdit->text(), QStringLiteral("before"));
        ComposeMessage(r.form, "0", "0", "123", "");
        r.send();
        QCOMPARE(r.boxes.texts().last(), QStringLiteral("'' is not a valid integer value"));
        QTest::qWait(50);
        QVERIFY(r.module.received.isEmpty());
        // a remote frame needs no DLC
        ComposeMessage(r.form, "0", "1", "123", "");
        r.send();
        QTRY_COMPARE(r.module.lines, QList<QByteArray>{"T123"});
    }

    void fieldRules()
    {
        Rig r;
        r.form.DLCEdit->setText(QStringLiteral("3"));
        r.form.CANCheckBox->setChecked(true);
        for (TNumberEdit *d : r.form.DataEdits)
            QVERIFY(d->isEnabled()); // checking the box enables all eight
        QVERIFY(!r.form.SendEdit->isEnabled());
        QVERIFY(r.form.IDEdit->isEnabled());

        r.form.DLCEdit->setText(QStringLiteral("2"));
        QVERIFY(r.form.D2Edit->isEnabled());
        QVERIFY(!r.form.D3Edit->isEnabled());
        r.form.RTREdit->setText(QStringLiteral("1"));
        QVERIFY(!r.form.D1Edit->isEnabled());
        r.form.RTREdit->setText(QStringLiteral("0"));
        QVERIFY(r.form.D2Edit->isEnabled());
        QVERIFY(!r.form.D3Edit->isEnabled());

        r.form.IDEdit->setText(QStringLiteral("7FF"));
        r.form.ModeEdit->setText(QStringLiteral("1"));
        QCOMPARE(r.form.IDEdit->MaxLength(), 8);
        QCOMPARE(r.form.IDEdit->text(), QStringLiteral("000007FF"));
        r.form.IDEdit->setText(QStringLiteral("12345678"));
        r.form.ModeEdit->setText(QStringLiteral("0"));
        QCOMPARE(r.form.IDEdit->MaxLength(), 3);
        QCOMPARE(r.form.IDEdit->text(), QStringLiteral("678"));

        r.form.CANCheckBox->setChecked(false);
        QVERIFY(!r.form.IDEdit->isEnabled());
        QVERIFY(!r.form.D1Edit->isEnabled());
        QVERIFY(r.form.SendEdit->isEnabled());
        r.form.DLCEdit->setText(QStringLiteral("5")); // rules sleep while the box is unchecked
        QVERIFY(!r.form.D1Edit->isEnabled());
    }

    void emptyIdWithModeOneReportsTheConversion()
    {
        Rig r;
        r.form.CANCheckBox->setChecked(true);
        r.form.IDEdit->setText(QString());
        r.form.ModeEdit->setText(QStringLiteral("1"));
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("'$' is not a valid integer value")});
        QCOMPARE(r.form.IDEdit->MaxLength(), 8);
        QVERIFY(r.form.IDEdit->text().isEmpty());
        // A refused text puts "1" back, whose nested handling fails the same way: one failure, one box.
        r.form.ModeEdit->setText(QStringLiteral("2"));
        QCOMPARE(r.boxes.texts().size(), 2);
        QCOMPARE(r.form.ModeEdit->text(), QStringLiteral("1"));
    }

    void freeTextOutsideLatin1IsRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");  // empty: refused
        QTest::addColumn<QString>("named");    // what the refusal names
        QTest::newRow("Latin-1 accent is its byte") << QStringLiteral("caf\u00e9") << QByteArray("caf\xe9") << QString();
        QTest::newRow("euro sign") << QStringLiteral("t1\u20ac") << QByteArray() << QStringLiteral("\"\u20ac\" (U+20AC) at position 3");
        QTest::newRow("outside the basic plane")
            << QStringLiteral("ab") + QString::fromUcs4(U"\U0001F600") << QByteArray() << QStringLiteral("(U+1F600) at position 3");
    }

    void freeTextOutsideLatin1IsRefused()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        QFETCH(QString, named);
        Rig r;
        r.form.SendEdit->setText(text);
        r.form.Timer2->setInterval(10);
        r.form.AutoBitBtn->click();
        if (sent.isEmpty()) {
            QTRY_COMPARE(r.boxes.boxes.size(), 1);
            QVERIFY2(r.boxes.texts().first().contains(named), qPrintable(r.boxes.texts().first()));
            QVERIFY(!r.form.Timer2->isActive()); // stopped, not refused on every tick
            QTest::qWait(50);
            QVERIFY(r.module.received.isEmpty());
        } else {
            QTRY_VERIFY(!r.module.lines.isEmpty());
            QCOMPARE(r.module.lines.first(), sent);
            QVERIFY(r.boxes.boxes.isEmpty());
        }
    }

    void enterPressesTheFocusedButton()
    {
        Rig r;
        r.form.SendEdit->setText(QStringLiteral("t0010"));
        r.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&r.form));
        r.form.SendBitBtn->setFocus();
        QTest::keyClick(r.form.SendBitBtn, Qt::Key_Return);
        QTRY_COMPARE(r.module.lines, QList<QByteArray>{"t0010"});
    }

    void autoStopAndInterval()
    {
        Rig r;
        r.form.SendEdit->setText(QStringLiteral("t0010"));
        r.form.IntervalEdit->setText(QStringLiteral("20"));
        QVERIFY(r.form.SetBitBtn->isEnabled());
        r.form.SetBitBtn->click();
        QVERIFY(!r.form.SetBitBtn->isEnabled());
        QCOMPARE(r.form.Timer2->interval(), 20);

        r.form.AutoBitBtn->click();
        QVERIFY(r.form.Timer2->isActive());
        QVERIFY(r.form.StopBitBtn->isEnabled());
        QVERIFY(!r.form.AutoBitBtn->isEnabled());
        QVERIFY(!r.form.SendBitBtn->isEnabled());
        QTRY_VERIFY(r.module.lines.size() >= 3);
        r.form.StopBitBtn->click();
        QVERIFY(!r.form.Timer2->isActive());
        QVERIFY(r.form.AutoBitBtn->isEnabled());
        QVERIFY(r.form.SendBitBtn->isEnabled());
        QVERIFY(!r.form.StopBitBtn->isEnabled());
        for (const QByteArray &line : r.module.lines)
            QCOMPARE(line, QByteArray("t0010"));
    }

    void intervalTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("warned");
        QTest::newRow("leading zeros") << "0100" << 100 << "100" << false;
        QTest::newRow("zero") << "0" << 500 << "500" << false;
        QTest::newRow("empty") << "" << 500 << "500" << true;
        QTest::newRow("plus sign") << "+100" << 100 << "100" << false;
        QTest::newRow("negative") << "-5" << 500 << "500" << true;
        QTest::newRow("largest") << "99999" << 99999 << "99999" << false;
    }
    void intervalTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, interval);
        QFETCH(QString, shown);
        QFETCH(bool, warned);
        Rig r;
        r.form.Timer2->setInterval(777);
        r.form.IntervalEdit->setText(text);
        r.form.SetBitBtn->setEnabled(true);
        r.form.SetBitBtn->click();
        QCOMPARE(r.form.Timer2->interval(), interval);
        QCOMPARE(r.form.IntervalEdit->text(), shown);
        QCOMPARE(r.boxes.texts().contains(QStringLiteral("Please input a numerical value!")), warned);
        if (warned)
            QCOMPARE(r.boxes.boxes[0].type, TMsgType::Warning);
        QVERIFY(!r.form.SetBitBtn->isEnabled());
    }

    void failedSendStopsAutoSendBeforeTheBox()
    {
        Rig r;
        r.form.SendEdit->setText(QStringLiteral("t0010"));
        r.form.Timer2->setInterval(10);
        r.form.AutoBitBtn->click();
        bool timerRunningAtBox = true;
        r.boxes.onBox = [&](const RecordedBox &) { timerRunningAtBox = r.form.Timer2->isActive(); };
        // the port cannot be written any more: a device path that does not open
        r.form.ComPort->Close();
        r.form.ComPort->setDevicePath(QStringLiteral("/nonexistent/tty"));
        QTRY_COMPARE(r.boxes.boxes.size(), 1);
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Send Messages Failed!!!")});
        QVERIFY(!timerRunningAtBox);
        QVERIFY(r.form.AutoBitBtn->isEnabled());
        QVERIFY(!r.form.StopBitBtn->isEnabled());
        QTest::qWait(60);
        QCOMPARE(r.boxes.boxes.size(), 1); // no further tick sent
        QCOMPARE(r.form.SendEdit->text(), QStringLiteral("t0010"));
    }

    void failedSendWithoutAutoSendLeavesTheButtons()
    {
        Rig r;
        r.form.ComPort->Close();
        r.form.ComPort->setDevicePath(QStringLiteral("/nonexistent/tty"));
        r.send();
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("Send Messages Failed!!!")});
        QVERIFY(r.form.AutoBitBtn->isEnabled());
        QVERIFY(r.form.SendBitBtn->isEnabled());
    }

    void composeFailureOnATickStopsAutoSendAndReportsOnce()
    {
        Rig r;
        r.form.Timer2->setInterval(10);
        ComposeMessage(r.form, "0", "0", "", "1");
        r.form.AutoBitBtn->click();
        QTRY_COMPARE(r.boxes.boxes.size(), 1);
        QTest::qWait(60);
        QCOMPARE(r.boxes.texts(), QStringList{QStringLiteral("'$' is not a valid integer value")});
        QVERIFY(!r.form.Timer2->isActive());
        QVERIFY(r.form.AutoBitBtn->isEnabled());
    }
};

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
