// Every message box goes through one function: its caption, icon, buttons and answer, and the
// recorder that tests put in its place.

#include "support/MessageBoxRecorder.h"
#include "support/ModalDriver.h"
#include "ui/dialogs/Dialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

Q_DECLARE_METATYPE(TMsgType)
Q_DECLARE_METATYPE(TMsgButtons)
Q_DECLARE_METATYPE(TMsgAnswer)

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void captionOfEachType_data()
    {
        QTest::addColumn<TMsgType>("type");
        QTest::addColumn<QString>("caption");
        QTest::newRow("error") << TMsgType::Error << "Error";
        QTest::newRow("warning") << TMsgType::Warning << "Warning";
        QTest::newRow("information") << TMsgType::Information << "Information";
        QTest::newRow("confirm") << TMsgType::Confirm << "Confirm";
        QTest::newRow("plain") << TMsgType::Plain << "K-3316 Utility";
        QTest::newRow("error report") << TMsgType::AppError << "K-3316 Utility";
    }
    void captionOfEachType()
    {
        QFETCH(TMsgType, type);
        QTEST(MessageBoxCaption(type), "caption");
    }

    // A real box, answered by pressing one of its buttons.
    void realBoxShowsItsTypeAndReturnsThePressedButton_data()
    {
        QTest::addColumn<TMsgType>("type");
        QTest::addColumn<TMsgButtons>("buttons");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::addColumn<QStringList>("buttonTexts");
        QTest::addColumn<QString>("press");
        QTest::addColumn<TMsgAnswer>("answer");
        QTest::newRow("error, OK") << TMsgType::Error << TMsgButtons::Ok << QMessageBox::Critical
                                   << QStringList{"OK"} << "OK" << TMsgAnswer::Ok;
        QTest::newRow("confirm, No") << TMsgType::Confirm << TMsgButtons::YesNo << QMessageBox::Question
                                     << QStringList{"&Yes", "&No"} << "&No" << TMsgAnswer::No;
        QTest::newRow("warning, Retry") << TMsgType::Warning << TMsgButtons::AbortRetry << QMessageBox::Warning
                                        << QStringList{"&Abort", "&Retry"} << "&Retry" << TMsgAnswer::Retry;
        QTest::newRow("information, Cancel") << TMsgType::Information << TMsgButtons::OkCancel
                                             << QMessageBox::Information << QStringList{"OK", "Cancel"} << "Cancel"
                                             << TMsgAnswer::Cancel;
        QTest::newRow("plain, OK") << TMsgType::Plain << TMsgButtons::Ok << QMessageBox::NoIcon
                                   << QStringList{"OK"} << "OK" << TMsgAnswer::Ok;
    }
    void realBoxShowsItsTypeAndReturnsThePressedButton()
    {
        QFETCH(TMsgType, type);
        QFETCH(TMsgButtons, buttons);
        QFETCH(QMessageBox::Icon, icon);
        QFETCH(QStringList, buttonTexts);
        QFETCH(QString, press);
        QString title;
        QString text;
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        QStringList shownButtons;
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            title = box->windowTitle();
            text = box->text();
            shownIcon = box->icon();
            QAbstractButton *pressed = nullptr;
            for (QAbstractButton *b : box->buttons()) {
                shownButtons << b->text();
                if (b->text() == press)
                    pressed = b;
            }
            if (pressed)
                pressed->click();
            else
                box->done(0);
        });
        const TMsgAnswer answer = ShowMessageBox(type, QStringLiteral("Setting OK!!!"), buttons);
        QCOMPARE(title, MessageBoxCaption(type));
        QCOMPARE(text, QStringLiteral("Setting OK!!!"));
        QCOMPARE(shownIcon, icon);
        shownButtons.sort();
        buttonTexts.sort();
        QCOMPARE(shownButtons, buttonTexts);
        QTEST(answer, "answer");
    }

    // Without queued answers each box gets its first button.
    void recorderAnswersWithTheFirstButton_data()
    {
        QTest::addColumn<TMsgButtons>("buttons");
        QTest::addColumn<TMsgAnswer>("answer");
        QTest::newRow("OK") << TMsgButtons::Ok << TMsgAnswer::Ok;
        QTest::newRow("Yes/No") << TMsgButtons::YesNo << TMsgAnswer::Yes;
        QTest::newRow("OK/Cancel") << TMsgButtons::OkCancel << TMsgAnswer::Ok;
        QTest::newRow("Abort/Retry") << TMsgButtons::AbortRetry << TMsgAnswer::Abort;
    }
    void recorderAnswersWithTheFirstButton()
    {
        QFETCH(TMsgButtons, buttons);
        MessageBoxRecorder boxes;
        QTEST(ShowMessageBox(TMsgType::Confirm, QStringLiteral("Close the K-3316 Utility ?"), buttons), "answer");
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].type, TMsgType::Confirm);
        QCOMPARE(boxes.boxes[0].buttons, buttons);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Close the K-3316 Utility ?")});
    }

    void recorderGivesQueuedAnswersInOrderAndSeesEachBoxFirst()
    {
        MessageBoxRecorder boxes;
        QStringList seen;
        boxes.onBox = [&](const RecordedBox &box) { seen << box.text; };
        boxes.queueAnswer(TMsgAnswer::No);
        boxes.queueAnswer(TMsgAnswer::None);
        QCOMPARE(ShowMessageBox(TMsgType::Confirm, QStringLiteral("one"), TMsgButtons::YesNo), TMsgAnswer::No);
        QCOMPARE(ShowMessageBox(TMsgType::Confirm, QStringLiteral("two"), TMsgButtons::YesNo), TMsgAnswer::None);
        QCOMPARE(ShowMessageBox(TMsgType::Confirm, QStringLiteral("three"), TMsgButtons::YesNo), TMsgAnswer::Yes);
        ShowErrorReport(QStringLiteral("'x' is not a valid integer value"));
        QCOMPARE(seen, (QStringList{"one", "two", "three", "'x' is not a valid integer value"}));
        QCOMPARE(boxes.boxes.last().type, TMsgType::AppError);
        QCOMPARE(boxes.boxes.last().buttons, TMsgButtons::Ok);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
