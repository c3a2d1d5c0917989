// A log opened in a Frame Monitor window of its own: rows at the log's times, read a batch at a
// time, FD and error frames counted, a log longer than the history keeps its last rows and says
// so, Cancel stops the reading, and a file that is no log is refused with its name.

#include "logs/LogReader.h"
#include "monitor/FrameStore.h"
#include "monitor/FrameText.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/framemonitor/LogWindow.h"

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QPointer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

class TestLogWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return QString();
        return f.fileName();
    }

    static QByteArray candump(int frames)
    {
        QByteArray out;
        for (int i = 0; i < frames; ++i)
            out += QStringLiteral("(%1.%2) can0 %3#%4\n")
                       .arg(1765280000 + i / 1000)
                       .arg(i % 1000 * 1000, 6, 10, QLatin1Char('0'))
                       .arg(0x100 + i % 16, 3, 16, QLatin1Char('0'))
                       .arg(i % 256, 2, 16, QLatin1Char('0'))
                       .toLatin1();
        return out;
    }

private slots:
    void opensWithTheLogsTimesAndCounts_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<int>("history");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("firstRow"); // the first row's time, identifier and data, as shown
        QTest::newRow("candump with FD and error frames")
            << QByteArray("(1765280000.000001) can0 123#11AB\n(1765280000.5) can0 100##1AA\n"
                          "(1765280001.0) can0 20000004#\n(1765280002.0) can0 1ABCDEF0#R2\n")
            << 1000 << 2 << "drive.log - Frame Monitor (2 CAN FD or error frames left out)"
            << QStringLiteral("%1 123 11 AB").arg(QString::fromLatin1(ClockText(1765280000000001)));
        // The history drops its oldest rows a chunk at a time: a few under 1000 are kept.
        QTest::newRow("longer than the history, read in several batches")
            << candump(TLogLoader::BatchFrames + 5000) << 1000 << -1
            << QStringLiteral("drive.log - Frame Monitor (the last %2 of %1 frames)").arg(TLogLoader::BatchFrames + 5000)
            << QString();
    }
    void opensWithTheLogsTimesAndCounts()
    {
        QFETCH(QByteArray, log);
        QFETCH(int, history);
        const QString path = write(QStringLiteral("drive.log"), log);
        QString problem;
        QPointer<TFrameMonitor> window = OpenLogWindow(path, problem);
        QVERIFY2(window, qPrintable(problem));
        window->HistorySpinBox->setValue(history);
        TLogLoader *loader = LogLoaderOf(window);
        QVERIFY(loader);
        QTRY_VERIFY_WITH_TIMEOUT(!loader->Loading(), 30000);
        QVERIFY(loader->Problem().isEmpty());
        QFETCH(int, rows);
        QFETCH(QString, title);
        if (rows < 0) {
            QTRY_VERIFY(window->Frames()->rowCount() > 0);
            rows = window->Frames()->rowCount();
            QVERIFY2(rows > history * 9 / 10 && rows <= history, qPrintable(QString::number(rows)));
            title = title.arg(rows);
        }
        QTRY_COMPARE(window->Frames()->rowCount(), rows);
        QCOMPARE(window->windowTitle(), title);
        QFETCH(QString, firstRow);
        if (!firstRow.isEmpty()) {
            const QAbstractItemModel *m = window->Frames();
            QCOMPARE(QStringList({m->index(0, TFrameTableModel::ColTime).data().toString(),
                                  m->index(0, TFrameTableModel::ColId).data().toString(),
                                  m->index(0, TFrameTableModel::ColData).data().toString()})
                         .join(QLatin1Char(' ')),
                     firstRow);
        }
        window->close();
        QTRY_VERIFY(window.isNull());
    }

    void cancelStopsTheReading()
    {
        const QString path = write(QStringLiteral("long.log"), candump(3 * TLogLoader::BatchFrames));
        QString problem;
        QPointer<TFrameMonitor> window = OpenLogWindow(path, problem);
        QVERIFY(window);
        TLogLoader *loader = LogLoaderOf(window);
        loader->Cancel();
        QVERIFY(!loader->Loading());
        QCOMPARE(loader->Problem(), QStringLiteral("cancelled"));
        QVERIFY(loader->Frames() < uint64_t(3 * TLogLoader::BatchFrames));
        QVERIFY(window->windowTitle().endsWith(QStringLiteral("stopped: cancelled")));
        delete window;
    }

    // A log dropped onto a Frame Monitor opens in a window of its own.
    void aDroppedLogOpensInItsOwnWindow()
    {
        const QString path = write(QStringLiteral("dropped.asc"), "base hex  timestamps absolute\n 0.5 1  123  Rx d 1 AA\n");
        QString problem;
        QPointer<TFrameMonitor> target = OpenLogWindow(write(QStringLiteral("first.log"), candump(1)), problem);
        QVERIFY(target);
        auto *mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QVERIFY(drop.isAccepted());
        TFrameMonitor *opened = nullptr;
        QTRY_VERIFY((opened = [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->windowTitle().startsWith(QStringLiteral("dropped.asc")))
                    return qobject_cast<TFrameMonitor *>(w);
            return static_cast<TFrameMonitor *>(nullptr);
        }()));
        QTRY_COMPARE(opened->Frames()->rowCount(), 1);
        delete opened;
        delete target;
        delete mime;
    }

    void aFileThatIsNoLogIsRefusedByName()
    {
        const QString path = write(QStringLiteral("notes.txt"), "hello\n");
        QString problem;
        QVERIFY(!OpenLogWindow(path, problem));
        QVERIFY2(problem.startsWith(path + QStringLiteral(": not a log format")), qPrintable(problem));
    }
};

QTEST_MAIN(TestLogWindow)
#include "tst_logwindow.moc"
