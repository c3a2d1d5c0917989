#include "support/ConfiguredForm.h"
#include "ui/ReceiveFile.h"
#include "ui/ReceiveModel.h"

#include <QDir>
#include <QFile>
#include "ui/ReceiveListView.h"
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <unistd.h>

namespace {

QStringList itemTexts(TMainForm &f)
{
    QStringList out;
    for (int i = 0; i < f.ReceiveItems()->Count(); ++i)
        out << QString::fromLatin1(f.ReceiveItems()->Item(i));
    return out;
}

int g_writeCalls = 0;
ssize_t shortWriter(int fd, const void *buffer, size_t count)
{
    // The first write goes through in part, the next finds the disk full.
    if (++g_writeCalls == 1)
        return ::write(fd, buffer, count / 2);
    errno = ENOSPC;
    return -1;
}

} // namespace

class TestReceiveMonitor : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_oldDir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldDir); }
    void cleanup()
    {
        QFile::remove(QStringLiteral("Receive.txt"));
        QDir().rmdir(QStringLiteral("Receive.txt"));
        SetReceiveFileWriter(nullptr);
    }

    void listsEveryLineUnchanged()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        Steps steps;
        steps.then([&] { module.send("t123211AB\r"); })
            .waitUntil([&] { return f.ReceiveItems()->Count() == 1; }, "first line")
            .then([&] { module.send(QByteArray("E\x00\x80\xFF" "1\r", 6)); })
            .waitUntil([&] { return f.ReceiveItems()->Count() == 2; }, "binary line")
            .then([&] { module.send("\r"); }) // a line with nothing but its CR
            .waitUntil([&] { return f.ReceiveItems()->Count() == 3; }, "empty line")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(f.ReceiveItems()->Item(0), QByteArray("t123211AB\r"));
        QCOMPARE(f.ReceiveItems()->Item(1), QByteArray("E\x00\x80\xFF" "1\r", 6));
        QCOMPARE(f.ReceiveItems()->Item(2), QByteArray("\r"));
        // shown readably, nothing hidden, once the list has been told of the row
        QTRY_COMPARE(f.ReceiveItems()->rowCount(), 3);
        QCOMPARE(f.ReceiveItems()->data(f.ReceiveItems()->index(1), Qt::DisplayRole).toString(),
                 QStringLiteral("E\\x00\\x80\\xFF1"));
        QCOMPARE(f.ReceiveItems()->data(f.ReceiveItems()->index(2), Qt::DisplayRole).toString(), QString());
        QVERIFY(!f.Connected);
    }

    void repliesArrivingTogetherShareOneItem()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        Steps steps;
        steps.then([&] { module.send("t1230\rt4560\r"); })
            .waitUntil([&] { return f.ReceiveItems()->Count() >= 1; }, "an item")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(f.ReceiveItems()->Count(), 1);
        QCOMPARE(f.ReceiveItems()->Item(0), QByteArray("t1230\rt4560\r"));
    }

    void pausedLinesAreReadAndDropped()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        Steps steps;
        steps.then([&] {
                 f.ReceiveBitBtn->click();
                 QCOMPARE(f.ReceiveBitBtn->text(), QStringLiteral("Start"));
                 QVERIFY(!f.Receiving);
                 module.send("t1110\r");
             })
            .pause(200)
            .then([&] {
                QCOMPARE(f.ComPort->InCount(), 0); // read from the port...
                QCOMPARE(f.ReceiveItems()->Count(), 0); // ...and dropped
                f.ReceiveBitBtn->click();
                QCOMPARE(f.ReceiveBitBtn->text(), QStringLiteral("Stop"));
                QVERIFY(f.Receiving);
                module.send("t2220\r");
            })
            .waitUntil([&] { return f.ReceiveItems()->Count() == 1; }, "line after resuming")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(itemTexts(f), QStringList{QStringLiteral("t2220\r")});
    }

    void listSurvivesReconnectingAndListingIsOnAgain()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        {
            Steps steps;
            steps.then([&] { module.send("t1230\r"); })
                .waitUntil([&] { return f.ReceiveItems()->Count() == 1; }, "line")
                .then([&] { f.ReceiveBitBtn->click(); })
                .then([&] { f.DisconnectToolButtonClick(nullptr); });
            c.runOperationMode(steps);
            QVERIFY(!f.Receiving);
        }
        Steps again;
        again.then([&] {
                 QCOMPARE(f.ReceiveItems()->Count(), 1);
                 QCOMPARE(f.ReceiveBitBtn->text(), QStringLiteral("Stop"));
                 QVERIFY(f.Receiving);
             })
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(again);
        QVERIFY2(again.failure.isEmpty(), qPrintable(again.failure));
    }

    void clearThenSaveGivesAnEmptyFile()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        Steps steps;
        steps.then([&] { module.send("t1230\r"); })
            .waitUntil([&] { return f.ReceiveItems()->Count() == 1; }, "line")
            .then([&] {
                f.ClearBitBtn->click();
                f.SaveBitBtn->click();
            })
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(steps);
        QFile file(QStringLiteral("Receive.txt"));
        QVERIFY(file.exists());
        QCOMPARE(file.size(), 0);
    }

    void saveWritesEveryByteAndOverwrites()
    {
        TMainForm f;
        f.ReceiveItems()->Append("t123211AB\r");
        f.ReceiveItems()->Append(QByteArray("\x00\xFF\r", 3));
        f.SaveBitBtnClick(nullptr);
        QFile file(QStringLiteral("Receive.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("t123211AB\r\r\n\x00\xFF\r\r\n", 17));
        file.close();

        f.ClearBitBtnClick(nullptr);
        f.ReceiveItems()->Append("x");
        f.SaveBitBtnClick(nullptr);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("x\r\n"));
    }

    void failedSaveReportsAndKeepsTheEarlierFile()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        f.ReceiveItems()->Append("first\r");
        f.SaveBitBtnClick(nullptr);
        QVERIFY(boxes.boxes.isEmpty()); // a successful save shows nothing

        f.ReceiveItems()->Append(QByteArray(100000, 'A'));
        g_writeCalls = 0;
        SetReceiveFileWriter(&shortWriter);
        f.SaveBitBtnClick(nullptr);
        SetReceiveFileWriter(nullptr);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Stream write error")});
        QCOMPARE(boxes.boxes[0].type, TMsgType::AppError);
        QFile file(QStringLiteral("Receive.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("first\r\r\n"));
        QCOMPARE(f.ReceiveItems()->Count(), 2); // the list is unchanged
        QCOMPARE(QDir().entryList(QDir::Files).size(), 1); // no temporary file left behind
    }

    void saveOverADirectoryNamesThePath()
    {
        MessageBoxRecorder boxes;
        TMainForm f;
        QVERIFY(QDir().mkdir(QStringLiteral("Receive.txt")));
        f.ReceiveItems()->Append("a\r");
        f.SaveBitBtnClick(nullptr);
        QCOMPARE(boxes.boxes.size(), 1);
        const QString expected = QStringLiteral("Cannot create file \"%1\". ").arg(QDir::current().absoluteFilePath("Receive.txt"));
        QVERIFY2(boxes.boxes[0].text.startsWith(expected), qPrintable(boxes.boxes[0].text));
        QVERIFY(boxes.boxes[0].text.size() > expected.size()); // the system's reason follows
        QCOMPARE(f.ReceiveItems()->Count(), 1);
    }

    void linesArrivingDuringAModalWindowWaitAndAreListedAfter()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        MessageBoxRecorder boxes;
        int countDuringBox = -1;
        boxes.onBox = [&](const RecordedBox &) {
            // a modal window runs its own loop: the receive loop does not advance meanwhile
            module.send("t1230\r");
            QTest::qWait(150);
            countDuringBox = f.ReceiveItems()->Count();
        };
        Steps steps;
        steps.then([&] { ShowMessageBox(TMsgType::Information, QStringLiteral("modal")); })
            .waitUntil([&] { return f.ReceiveItems()->Count() == 1; }, "line after the box")
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(countDuringBox, 0);
    }
};

QTEST_MAIN(TestReceiveMonitor)
#include "tst_receivemonitor.moc"
