// The receive list's store: every byte kept, shown escaped so that nothing is hidden or
// mistaken for something else.

#include "ui/main/ReceiveModel.h"

#include <QTest>

class TestReceiveModel : public QObject {
    Q_OBJECT

private slots:
    void shownTextEscapesAllButPrintableAscii_data()
    {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a line") << QByteArray("t123211AB\r") << QStringLiteral("t123211AB");
        QTest::newRow("no CR") << QByteArray("t1230") << QStringLiteral("t1230");
        QTest::newRow("only the final CR goes") << QByteArray("a\r\r") << QStringLiteral("a\\x0D");
        QTest::newRow("just a CR") << QByteArray("\r") << QString();
        QTest::newRow("backslash") << QByteArray("a\\b\r") << QStringLiteral("a\\\\b");
        QTest::newRow("lone backslash") << QByteArray("\\") << QStringLiteral("\\\\");
        // received as text, it must not read like the escape of the byte 0x41
        QTest::newRow("backslash before x41") << QByteArray("\\x41") << QStringLiteral("\\\\x41");
        QTest::newRow("control and high bytes") << QByteArray("\x00\x1F\x7F\x80\xFF", 5)
                                                << QStringLiteral("\\x00\\x1F\\x7F\\x80\\xFF");
        QTest::newRow("blank and tilde") << QByteArray(" ~") << QStringLiteral(" ~");
    }
    void shownTextEscapesAllButPrintableAscii()
    {
        QFETCH(QByteArray, item);
        QFETCH(QString, shown);
        QCOMPARE(TReceiveModel::DisplayText(item.constData(), item.size()), shown);
        TReceiveModel model;
        model.Append(item);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0), Qt::DisplayRole).toString(), shown);
        QCOMPARE(model.ShownText(0, item.size()), shown);
        QCOMPARE(model.Item(0), item); // stored unchanged
    }

    void itemsAreKeptByteForByteAndSavedWithCrLf()
    {
        TReceiveModel model;
        const QList<QByteArray> items = {"t1230\r", QByteArray("\0\\\r", 3), "", "longest line\r", "x"};
        for (const QByteArray &item : items)
            model.Append(item);
        QCOMPARE(model.Count(), items.size());
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(model.Item(i), items[i]);
        QCOMPARE(model.Item(-1), QByteArray());
        QCOMPARE(model.Item(items.size()), QByteArray());
        QCOMPARE(model.LongestRow(), 3);
        QCOMPARE(model.SaveText(), QByteArray("t1230\r\r\n" "\0\\\r\r\n" "\r\n" "longest line\r\r\n" "x\r\n", 33));
        model.Clear();
        QCOMPARE(model.Count(), 0);
        QCOMPARE(model.LongestRow(), -1);
        QVERIFY(model.SaveText().isEmpty());
    }

    // A burst is stored at once but announced to the list in a few steps; every row shows in
    // the end, and the view never sees a row the model cannot give.
    void burstReachesTheListInFewStepsAndWhole()
    {
        TReceiveModel model;
        int announcements = 0;
        int lastAnnouncedRow = -1;
        connect(&model, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex &, int first, int last) {
            ++announcements;
            QCOMPARE(first, lastAnnouncedRow + 1); // contiguous, nothing skipped
            lastAnnouncedRow = last;
            QVERIFY(model.data(model.index(last), Qt::DisplayRole).isValid());
        });
        model.Append("first\r");
        QCOMPARE(model.rowCount(), 1); // after a quiet spell a line shows at once
        for (int i = 0; i < 5000; ++i)
            model.Append(QByteArray::number(i) + '\r');
        QCOMPARE(model.Count(), 5001);
        QVERIFY(model.rowCount() < model.Count());
        QTRY_COMPARE(model.rowCount(), 5001);
        QCOMPARE(lastAnnouncedRow, 5000);
        QVERIFY2(announcements <= 3, qPrintable(QString::number(announcements)));
        QCOMPARE(model.Item(5000), QByteArray("4999\r"));

        // Clearing while rows wait to be shown leaves nothing stale behind.
        for (int i = 0; i < 10; ++i)
            model.Append("x\r");
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
        QTest::qWait(3 * TReceiveModel::ShowIntervalMs);
        QCOMPARE(model.rowCount(), 0);
        lastAnnouncedRow = -1;
        model.Append("after\r");
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0), Qt::DisplayRole).toString(), QStringLiteral("after"));
    }
};

QTEST_MAIN(TestReceiveModel)
#include "tst_receivemodel.moc"
