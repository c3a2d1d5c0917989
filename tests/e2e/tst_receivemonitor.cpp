#include "common/SafeSave.h"
#include "support/ConfiguredForm.h"
#include "ui/main/ReceiveModel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include "ui/main/ReceiveListView.h"
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
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
        SetSaveFileWriter(nullptr);
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

    // Every save goes through one atomic save: a full disk names the file and the reason, and
    // the earlier file stays whole.
    void failedSaveReportsAndKeepsTheEarlierFile_data()
    {
        QTest::addColumn<QString>("saved"); // what is saved: the receive list or a profile
        QTest::newRow("receive list onto a full disk") << QStringLiteral("Receive.txt");
        QTest::newRow("profile onto a full disk") << QStringLiteral("line.json");
    }
    void failedSaveReportsAndKeepsTheEarlierFile()
    {
        QFETCH(QString, saved);
        const QString path = QDir::current().absoluteFilePath(saved);
        ConnectedForm c(2);
        TMainForm &f = c.form;
        f.DefaultButtonClick(nullptr);
        SetItemIndex(f.CANSpecificationComboBox, 1); // 2.0B, which the default codes fit:
        f.CANSpecificationComboBoxChange(nullptr);    // a page that can be saved as a profile
        c.boxes.boxes.clear();
        f.ChooseProfileFile = [&](bool) { return path; };
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("first\r\r\n");
        }

        f.ReceiveItems()->Append(QByteArray(100000, 'A'));
        g_writeCalls = 0;
        SetSaveFileWriter(&shortWriter);
        if (saved == QLatin1String("Receive.txt"))
            f.SaveBitBtnClick(nullptr);
        else
            f.SaveProfileAs1->trigger();
        SetSaveFileWriter(nullptr);
        QCOMPARE(c.boxes.texts(), QStringList{QStringLiteral("Cannot write %1: No space left on device").arg(path)});
        QVERIFY(g_writeCalls >= 2); // the first write went through in part
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("first\r\r\n"));
        QCOMPARE(f.ReceiveItems()->Count(), 1); // the list is unchanged
        QCOMPARE(QDir().entryList(QDir::Files).size(), 1); // no temporary file left behind
        QFile::remove(path);
    }

    // Saving goes through a symbolic link to the file it names, which keeps its permissions;
    // a new file gets the usual ones.
    void saveKeepsLinksAndPermissions_data()
    {
        QTest::addColumn<QString>("link");   // what "Receive.txt" links to, relative; empty: no link
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<int>("mode");       // of the existing target
        QTest::newRow("new file") << QString() << false << 0;
        QTest::newRow("existing file keeps 0640") << QString() << true << 0640;
        QTest::newRow("existing file keeps 0604") << QString() << true << 0604;
        QTest::newRow("link to a file in a folder") << QStringLiteral("logs/target.txt") << true << 0600;
        QTest::newRow("link to a file not there yet") << QStringLiteral("logs/new.txt") << false << 0;
        QTest::newRow("link to a link") << QStringLiteral("second-link") << true << 0644;
    }
    void saveKeepsLinksAndPermissions()
    {
        QFETCH(QString, link);
        QFETCH(bool, targetExists);
        QFETCH(int, mode);
        QDir().mkpath(QStringLiteral("logs"));
        QString target = QStringLiteral("Receive.txt");
        if (!link.isEmpty()) {
            QVERIFY(QFile::link(link, QStringLiteral("Receive.txt")));
            target = link;
            if (link == QLatin1String("second-link")) {
                QVERIFY(QFile::link(QStringLiteral("logs/final.txt"), link));
                target = QStringLiteral("logs/final.txt");
            }
        }
        if (targetExists) {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
            old.close();
            QVERIFY(::chmod(QFile::encodeName(target).constData(), mode_t(mode)) == 0);
        }
        MessageBoxRecorder boxes;
        TMainForm f;
        f.ReceiveItems()->Append("t1230\r");
        f.SaveBitBtnClick(nullptr);
        QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.texts().join(QLatin1Char('|'))));

        QCOMPARE(QFileInfo(QStringLiteral("Receive.txt")).isSymLink(), !link.isEmpty());
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("t1230\r\r\n"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        QCOMPARE(int(st.st_mode & 07777), targetExists ? mode : int(0666 & ~mask));
        QCOMPARE(QDir(QStringLiteral("logs")).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".txt.")).size(), 0);

        QFile::remove(QStringLiteral("Receive.txt"));
        QFile::remove(QStringLiteral("second-link"));
        QDir(QStringLiteral("logs")).removeRecursively();
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

    void linesArrivingDuringAModalWindowAreListedAtOnce()
    {
        ConnectedForm c;
        TMainForm &f = c.form;
        FakeModule &module = c.module;
        MessageBoxRecorder boxes;
        int countDuringBox = -1;
        boxes.onBox = [&](const RecordedBox &) {
            // a modal window runs its own loop over the receive loop: the port is read all the same
            module.send("t1230\r");
            (void)QTest::qWaitFor([&] { return f.ReceiveItems()->Count() == 1; }, 5000);
            countDuringBox = f.ReceiveItems()->Count();
        };
        Steps steps;
        steps.then([&] { ShowMessageBox(TMsgType::Information, QStringLiteral("modal")); })
            .then([&] { f.DisconnectToolButtonClick(nullptr); });
        c.runOperationMode(steps);
        QVERIFY2(steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(countDuringBox, 1);
        QCOMPARE(f.ReceiveItems()->Item(0), QByteArray("t1230\r"));
    }
};

QTEST_MAIN(TestReceiveMonitor)
#include "tst_receivemonitor.moc"
