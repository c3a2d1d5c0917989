// Every message box goes through one function: its caption, icon, buttons and answer, and the
// recorder that tests put in its place.

#include "support/MessageBoxRecorder.h"
#include "support/ModalDriver.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/dialogs/ManualWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QMessageBox>
#include <QTest>

Q_DECLARE_METATYPE(TMsgType)
Q_DECLARE_METATYPE(TMsgButtons)
Q_DECLARE_METATYPE(TMsgAnswer)

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    // Where Help > Manual looks: "tree" is APPDIR/../share/doc/k3316-utility (a build tree or an
    // install), "prefix" the documentation folder of the install prefix.
    void manualIsFoundBesideTheProgramElseUnderThePrefix_data()
    {
        QTest::addColumn<QString>("inTree");   // "file", "folder" (a folder named manual.md) or ""
        QTest::addColumn<bool>("inPrefix");
        QTest::addColumn<QString>("found");    // "tree", "prefix" or ""
        QTest::newRow("build tree") << "file" << false << "tree";
        QTest::newRow("install prefix only") << "" << true << "prefix";
        QTest::newRow("both: the program's own tree first") << "file" << true << "tree";
        QTest::newRow("neither") << "" << false << "";
        QTest::newRow("a folder named manual.md is no manual") << "folder" << true << "prefix";
    }

    void manualIsFoundBesideTheProgramElseUnderThePrefix()
    {
        QFETCH(QString, inTree);
        QFETCH(bool, inPrefix);
        QFETCH(QString, found);
        QTemporaryDir root;
        QDir(root.path()).mkpath(QStringLiteral("build/bin"));
        const QString treeDocs = root.filePath(QStringLiteral("build/share/doc/k3316-utility"));
        const QString prefixDocs = root.filePath(QStringLiteral("usr/share/doc/k3316-utility"));
        QDir().mkpath(treeDocs);
        QDir().mkpath(prefixDocs);
        auto write = [](const QString &path) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("# Manual\n");
        };
        if (inTree == QLatin1String("file"))
            write(treeDocs + QStringLiteral("/manual.md"));
        else if (inTree == QLatin1String("folder"))
            QDir().mkpath(treeDocs + QStringLiteral("/manual.md"));
        if (inPrefix)
            write(prefixDocs + QStringLiteral("/manual.md"));
        const QString expected = found == QLatin1String("tree")     ? treeDocs + QStringLiteral("/manual.md")
                                 : found == QLatin1String("prefix") ? prefixDocs + QStringLiteral("/manual.md")
                                                                    : QString();
        QCOMPARE(FindManual(root.filePath(QStringLiteral("build/bin")), prefixDocs), expected);
    }

    // The build tree holds the manual beside bin/, so the test program finds it as the utility does.
    void manualOpensOnceAndShowsTheManual()
    {
        QWidget owner;
        ShowManual(&owner);
        QTextBrowser *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("ManualWindow"))
                window = qobject_cast<QTextBrowser *>(w);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(window->isReadOnly());
        QVERIFY(window->toPlainText().contains(QStringLiteral("Frame Monitor")));
        ShowManual(&owner); // a second call brings the same window to the front
        int windows = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            windows += w->objectName() == QLatin1String("ManualWindow");
        QCOMPARE(windows, 1);
        window->close();
    }

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
