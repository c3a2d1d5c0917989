// The About box: the module state it shows, its fixed look, and that every click and every key
// closes it with Ok.

#include "common/Branding.h"
#include "support/ModalDriver.h"
#include "ui/dialogs/About.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

TAboutInfo infoFor(bool connected, int32_t mode, const QString &firmware = QString())
{
    TAboutInfo info;
    info.UtilityVersion = QStringLiteral("2.06");
    info.FirmwareVersion = firmware;
    info.Connected = connected;
    info.ModuleMode = mode;
    return info;
}

// Runs the box modally as the main window does, with `action` done once it is up. A box that
// fails to close is rejected after a while, so the failure shows instead of a hang.
int runModal(TAboutBoxForm &box, std::function<void(TAboutBoxForm *)> action)
{
    QTimer::singleShot(5000, &box, &QDialog::reject);
    WhenModal<TAboutBoxForm>(std::move(action));
    return box.exec();
}

}

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void showsTheModuleState_data();
    void showsTheModuleState();
    void eachBoxShowsTheStateAtItsOpening();
    void firmwareTextIsNotReadAsMarkup();
    void windowIsABorderlessFixedBoxOnTop();
    void fixedTextsAreExact();
    void noTextIsCutOff_data();
    void noTextIsCutOff();
    void picturesAreShownAtTheirSize();
    void opensCentredOnTheDesktop();
    void clickAnywhereClosesWithOk_data();
    void clickAnywhereClosesWithOk();
    void anyKeyClosesWithOk_data();
    void anyKeyClosesWithOk();
};

void TestAboutBox::showsTheModuleState_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("connectText");
    QTest::addColumn<QString>("executionText");

    QTest::newRow("not connected") << false << 0 << "" << "Not Connected" << "None";
    QTest::newRow("configuration mode") << true << 1 << "1.23" << "Connectied" << "Setting Mode";
    QTest::newRow("operation mode") << true << 2 << "2.10" << "Connectied" << "Operation Mode";
    QTest::newRow("pair-connection test") << true << 3 << "2.10" << "Connectied" << "Pair Connection Test Mode";
    QTest::newRow("unknown mode 4") << true << 4 << "2.10" << "Connectied" << "None";
    QTest::newRow("negative mode") << true << -1 << "2.10" << "Connectied" << "None";
}

void TestAboutBox::showsTheModuleState()
{
    QFETCH(bool, connected);
    QFETCH(int, mode);
    QFETCH(QString, firmware);
    QFETCH(QString, connectText);
    QFETCH(QString, executionText);

    TAboutBoxForm box(nullptr, infoFor(connected, mode, firmware));
    QCOMPARE(box.ConnectLabel->text(), connectText);
    QCOMPARE(box.ExecutionLabel->text(), executionText);
    QCOMPARE(box.FirmwareVersionLabel->text(), firmware);
    QCOMPARE(box.UtilityVersionLabel->text(), QStringLiteral("2.06"));
}

void TestAboutBox::eachBoxShowsTheStateAtItsOpening()
{
    {
        TAboutBoxForm first(nullptr, infoFor(true, 3, QStringLiteral("2.10")));
        QCOMPARE(first.ExecutionLabel->text(), QStringLiteral("Pair Connection Test Mode"));
    }
    TAboutBoxForm second(nullptr, infoFor(false, 0));
    QCOMPARE(second.ConnectLabel->text(), QStringLiteral("Not Connected"));
    QCOMPARE(second.FirmwareVersionLabel->text(), QString());
    QCOMPARE(second.ExecutionLabel->text(), QStringLiteral("None"));
}

void TestAboutBox::firmwareTextIsNotReadAsMarkup()
{
    const QString odd = QStringLiteral("<b>1");
    TAboutBoxForm box(nullptr, infoFor(true, 1, odd));
    QCOMPARE(box.FirmwareVersionLabel->textFormat(), Qt::PlainText);
    QCOMPARE(box.FirmwareVersionLabel->text(), odd);
    QVERIFY(box.FirmwareVersionLabel->width() >= box.FirmwareVersionLabel->fontMetrics().horizontalAdvance(odd));
}

void TestAboutBox::windowIsABorderlessFixedBoxOnTop()
{
    TAboutBoxForm box(nullptr, infoFor(false, 0));
    QCOMPARE(box.size(), QSize(312, 231));
    QCOMPARE(box.minimumSize(), QSize(312, 231));
    QCOMPARE(box.maximumSize(), QSize(312, 231));
    QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(box.windowType(), Qt::Dialog);
    QCOMPARE(box.windowTitle(), QStringLiteral("About TERAVOX"));

    // A black frame three pixels wide round the white panel.
    QCOMPARE(box.Panel1->geometry(), QRect(0, 0, 312, 231));
    QCOMPARE(box.Panel2->geometry(), QRect(3, 3, 306, 225));
    QCOMPARE(box.Panel3->geometry(), QRect(64, 62, 230, 1));
    const QImage shot = box.grab().toImage();
    QCOMPARE(shot.pixelColor(1, 1), QColor(Qt::black));
    QCOMPARE(shot.pixelColor(310, 229), QColor(Qt::black));
    QCOMPARE(shot.pixelColor(150, 5), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(3 + 150, 3 + 62), QColor(Qt::black));
}

// The texts are the system's own, blanks and spelling included.
void TestAboutBox::fixedTextsAreExact()
{
    TAboutBoxForm box(nullptr, infoFor(false, 0));
    QCOMPARE(box.Label2->text(), QStringLiteral("K-3316 Utility"));
    QCOMPARE(box.Label1->text(), QStringLiteral("Ver:"));
    QCOMPARE(box.Label3->text(), QStringLiteral("RS-232 to CAN "));
    QCOMPARE(box.Label6->text(), QStringLiteral("Converter"));
    QCOMPARE(box.Label7->text(), QStringLiteral("Connect Status:"));
    QCOMPARE(box.Label8->text(), QStringLiteral("Frimware Ver:"));
    QCOMPARE(box.StatusLabel->text(), QStringLiteral("Execution Status:"));
    QCOMPARE(box.Label5->text(), CopyrightLine(QStringLiteral("TERAVOX")));
    QCOMPARE(box.Label5->text(), QStringLiteral("Copyright (C) TERAVOX Co., Ltd."));
}

void TestAboutBox::noTextIsCutOff_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("mode");
    QTest::newRow("not connected") << false << 0;
    QTest::newRow("configuration mode") << true << 1;
    QTest::newRow("pair-connection test") << true << 3;
}

// Every label is at least as big as its text in its own font and lies wholly on the white panel.
void TestAboutBox::noTextIsCutOff()
{
    QFETCH(bool, connected);
    QFETCH(int, mode);
    TAboutBoxForm box(nullptr, infoFor(connected, mode, QStringLiteral("2.10")));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    const QList<QLabel *> labels = box.Panel2->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 14); // twelve texts and two pictures
    for (QLabel *label : labels) {
        if (!label->pixmap().isNull())
            continue;
        const QRect needed = label->fontMetrics().boundingRect(label->text());
        QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                 qPrintable(label->objectName()));
        QVERIFY2(label->height() >= needed.height(), qPrintable(label->objectName()));
        QVERIFY2(box.Panel2->rect().contains(label->geometry()), qPrintable(label->objectName()));
        QVERIFY2(label->isVisible(), qPrintable(label->objectName()));
    }
}

void TestAboutBox::picturesAreShownAtTheirSize()
{
    TAboutBoxForm box(nullptr, infoFor(false, 0));
    QCOMPARE(box.Image1->pixmap().deviceIndependentSize().toSize(), QSize(34, 55));
    QCOMPARE(box.Image1->size(), QSize(34, 55));
    QCOMPARE(box.Image2->pixmap().deviceIndependentSize().toSize(), QSize(118, 88));
    QCOMPARE(box.Image2->size(), QSize(118, 88));
    // The texts are drawn over the logo's white margin, never hidden under it.
    const QList<QObject *> order = box.Panel2->children();
    QVERIFY(order.indexOf(box.Image2) < order.indexOf(box.ExecutionLabel));
    QVERIFY(order.indexOf(box.Image2) < order.indexOf(box.Label5));
}

void TestAboutBox::opensCentredOnTheDesktop()
{
    QWidget owner;
    owner.setGeometry(10, 10, 200, 150);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    TAboutBoxForm box(&owner, infoFor(false, 0));
    QRect seen;
    runModal(box, [&seen](TAboutBoxForm *shown) {
        seen = shown->frameGeometry();
        shown->accept();
    });
    const QPoint centre = owner.screen()->geometry().center();
    QVERIFY2((seen.center() - centre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("box at %1,%2").arg(seen.x()).arg(seen.y())));
}

void TestAboutBox::clickAnywhereClosesWithOk_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("a label") << "ConnectLabel";
    QTest::newRow("the title") << "Label2";
    QTest::newRow("the logo") << "Image2";
    QTest::newRow("the module picture") << "Image1";
    QTest::newRow("the rule") << "Panel3";
    QTest::newRow("the white panel") << "Panel2";
    QTest::newRow("the black frame") << "Panel1";
}

void TestAboutBox::clickAnywhereClosesWithOk()
{
    QFETCH(QString, target);
    TAboutBoxForm box(nullptr, infoFor(true, 2, QStringLiteral("2.10")));
    auto *widget = box.findChild<QWidget *>(target);
    QVERIFY2(widget, qPrintable(target));

    const int result = runModal(box, [widget, target](TAboutBoxForm *) {
        // The frame is only visible at the edge; elsewhere the panel lies on top of it.
        const QPoint at = target == QLatin1String("Panel1") ? QPoint(1, 1) : widget->rect().center();
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    });
    QCOMPARE(result, int(QDialog::Accepted));
}

void TestAboutBox::anyKeyClosesWithOk_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("letter") << int(Qt::Key_A);
    QTest::newRow("space") << int(Qt::Key_Space);
    QTest::newRow("Tab") << int(Qt::Key_Tab);
    QTest::newRow("F1") << int(Qt::Key_F1);
}

void TestAboutBox::anyKeyClosesWithOk()
{
    QFETCH(int, key);
    TAboutBoxForm box(nullptr, infoFor(false, 0));
    const int result = runModal(box, [key](TAboutBoxForm *shown) {
        // Through the window, as the platform delivers it, to whatever has the focus.
        QTest::keyClick(shown->windowHandle(), Qt::Key(key));
    });
    QCOMPARE(result, int(QDialog::Accepted));
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
