// A log opened in a Frame Monitor window of its own: rows at the log's times, read a batch at a
// time with the first rows shown at once, FD and error frames counted, a log longer than the
// history keeps its last rows and says so, Cancel or closing stops the reading, and a file that
// is no log is refused with its name. A pipe whose writer is quiet opens the window at once.

#include "logs/LogFrameRow.h"
#include "logs/LogReader.h"
#include "monitor/FrameStore.h"
#include "monitor/FrameText.h"
#include "monitor/LogWriters.h"
#include "support/MessageBoxRecorder.h"
#include "support/PathPipe.h"
#include "ui/framemonitor/FrameTableModel.h"
#include "ui/framemonitor/LogWindow.h"

#include <QApplication>
#include <QLabel>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
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

    // Frames numbered `from` on: 1 ms apart, identifiers 100 to 10F, one byte of data.
    static QByteArray candump(int frames, int from = 0)
    {
        QByteArray out;
        for (int i = from; i < from + frames; ++i)
            out += QStringLiteral("(%1.%2) can0 %3#%4\n")
                       .arg(1765280000 + i / 1000)
                       .arg(i % 1000 * 1000, 6, 10, QLatin1Char('0'))
                       .arg(0x100 + i % 16, 3, 16, QLatin1Char('0'))
                       .arg(i % 256, 2, 16, QLatin1Char('0'))
                       .toLatin1();
        return out;
    }

    // The same frames as candump() in a binary log, BLF unless told.
    static QByteArray blf(int frames, TLogFormat format = TLogFormat::Blf, bool withFooter = true)
    {
        TLogEncoder encoder(format, 1765280000000000);
        QByteArray out = encoder.Header(), text;
        for (int i = 0; i < frames; ++i) {
            TLogFrame f;
            f.TimeUs = 1765280000000000 + int64_t(i) * 1000;
            f.Id = uint32_t(0x100 + i % 16);
            f.Dlc = 1;
            f.Data = QByteArray(1, char(i % 256));
            TFrameRow row;
            LogFrameToRow(f, text, row);
            encoder.Append(out, row);
        }
        return withFooter ? out + encoder.Footer() : out;
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
        QTest::newRow("BLF longer than the history")
            << blf(TLogLoader::BatchFrames + 5000) << 1000 << -1
            << QStringLiteral("drive.log - Frame Monitor (the last %2 of %1 frames)").arg(TLogLoader::BatchFrames + 5000)
            << QString();
        // The rows before the line that is no frame are kept; the title says where the log broke.
        QTest::newRow("broken partway")
            << candump(10) + "garbage\n" + candump(5, 10) << 1000 << 10
            << "drive.log - Frame Monitor - stopped: {path}:11: expected \"(seconds.microseconds)\" at the start"
            << QStringLiteral("%1 100 00").arg(QString::fromLatin1(ClockText(1765280000000000)));
        // No frame lost or doubled where one batch ends and the next begins.
        QTest::newRow("several batches, every row kept")
            << candump(2 * TLogLoader::BatchFrames + 7) << 100000 << 2 * TLogLoader::BatchFrames + 7
            << "drive.log - Frame Monitor"
            << QStringLiteral("%1 100 00").arg(QString::fromLatin1(ClockText(1765280000000000)));
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
        QFETCH(int, rows);
        QFETCH(QString, title);
        title.replace(QStringLiteral("{path}"), path);
        QCOMPARE(loader->Problem().isEmpty(), !title.contains(QStringLiteral(" - stopped: ")));
        // Every row kept is shown as the loading ends, with the title that counts them.
        if (rows < 0) {
            rows = window->Frames()->rowCount();
            QVERIFY2(rows > history * 9 / 10 && rows <= history, qPrintable(QString::number(rows)));
            title = title.arg(rows);
        }
        QCOMPARE(window->Frames()->rowCount(), rows);
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

    // Rows show as they are read, while the rest is still to come: here the log comes through a
    // pipe that stalls after its first rows.
    void theFirstRowsShowBeforeTheLoadEnds()
    {
        TPathPipe pipe;
        QVERIFY(pipe.IsOpen());
        QVERIFY(pipe.Write(candump(200)));
        QString problem;
        QPointer<TFrameMonitor> window = OpenLogWindow(pipe.Path(), problem);
        QVERIFY2(window, qPrintable(problem));
        TLogLoader *loader = LogLoaderOf(window);
        QTRY_COMPARE(window->Frames()->rowCount(), 200);
        QVERIFY(loader->Loading());
        // A pipe has no size: the progress bar is busy rather than stuck at 0%, and it comes
        // with its Cancel while the pipe stalls.
        const QProgressDialog *progress = window->findChild<QProgressDialog *>(QStringLiteral("LogProgress"));
        QCOMPARE(progress->maximum(), 0);
        QTRY_VERIFY(progress->isVisible());
        QCOMPARE(window->Frames()->index(0, TFrameTableModel::ColId).data().toString(), QStringLiteral("100"));
        QVERIFY2(window->CountsLabel->text().startsWith(QStringLiteral("Rows: 200 shown of 200 ")),
                 qPrintable(window->CountsLabel->text()));
        const int frames = 3 * TLogLoader::BatchFrames;
        std::thread writer = pipe.Feed(candump(frames - 200, 200));
        QTRY_VERIFY_WITH_TIMEOUT(!loader->Loading(), 30000);
        writer.join();
        QVERIFY2(loader->Problem().isEmpty(), qPrintable(loader->Problem()));
        QCOMPARE(loader->Frames(), uint64_t(frames));
        QCOMPARE(window->Frames()->rowCount(), frames);
        QCOMPARE(window->Frames()->index(frames - 1, TFrameTableModel::ColData).data().toString(),
                 QStringLiteral("%1").arg((frames - 1) % 256, 2, 16, QLatin1Char('0')).toUpper());
        delete window;
    }

    // Cancel (called, or the progress dialog's button) keeps the rows taken so far and reads no
    // more; closing the window takes the reading and its progress dialog with it. Either is done
    // at once, also while the reader waits on a pipe that stalls.
    void stopsMidLoad_data()
    {
        QTest::addColumn<bool>("stalledPipe"); // else a long file, stopped before the window took any
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel, a file") << false << "cancel";
        QTest::newRow("close, a file") << false << "close";
        QTest::newRow("cancel, a stalled pipe") << true << "cancel";
        QTest::newRow("the progress dialog's Cancel, a stalled pipe") << true << "button";
        QTest::newRow("close, a stalled pipe") << true << "close";
    }
    void stopsMidLoad()
    {
        QFETCH(bool, stalledPipe);
        QFETCH(QString, how);
        TPathPipe pipe;
        QVERIFY(pipe.IsOpen());
        QVERIFY(pipe.Write(candump(200)));
        const QString path = stalledPipe ? pipe.Path() : write(QStringLiteral("long.log"), candump(3 * TLogLoader::BatchFrames));
        QString problem;
        QPointer<TFrameMonitor> window = OpenLogWindow(path, problem);
        QVERIFY2(window, qPrintable(problem));
        QPointer<TLogLoader> loader = LogLoaderOf(window);
        const uint64_t taken = stalledPipe ? 200 : 0;
        if (stalledPipe)
            QTRY_COMPARE(loader->Frames(), taken);
        if (how == QLatin1String("close")) {
            QPointer<QProgressDialog> progress = window->findChild<QProgressDialog *>(QStringLiteral("LogProgress"));
            QVERIFY(progress);
            window->close();
            QTRY_VERIFY(window.isNull());
            QVERIFY(loader.isNull());
            QVERIFY(progress.isNull());
            return;
        }
        if (how == QLatin1String("button")) {
            auto *progress = window->findChild<QProgressDialog *>(QStringLiteral("LogProgress"));
            QVERIFY(progress);
            QPushButton *cancel = progress->findChild<QPushButton *>();
            QVERIFY(cancel);
            cancel->click();
        } else {
            loader->Cancel();
        }
        QVERIFY(!loader->Loading());
        QCoreApplication::processEvents(); // whatever the reader had told the window of
        QCOMPARE(loader->Frames(), taken);
        QCOMPARE(loader->Problem(), QStringLiteral("cancelled"));
        QVERIFY(window->windowTitle().endsWith(QStringLiteral("stopped: cancelled")));
        QCOMPARE(window->Frames()->rowCount(), int(taken));
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

    // A pipe whose writer is quiet (a shell's <(sleep 30; cat x.log)): the window shows at once
    // with its busy bar and Cancel, and answers while it waits; Cancel and closing end the wait
    // at once; what then comes is opened whole, or refused as a file would be.
    void aQuietPipe_data()
    {
        // "write" the bytes and close; "trickle": write them, then Cancel once they show; "cancel",
        // "button" (the progress dialog's Cancel), "close".
        QTest::addColumn<QString>("then");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows"); // -1: no window is left
        QTest::addColumn<QString>("outcome"); // the title once loaded, or the message box's text
        const int frames = 2 * TLogLoader::BatchFrames + 3;
        QTest::newRow("then a log, read whole") << "write" << candump(frames) << frames << "{path} - Frame Monitor";
        QTest::newRow("then a BLF log, read whole") << "write" << blf(1000) << 1000 << "{path} - Frame Monitor";
        QTest::newRow("then no log") << "write" << QByteArray("hello\n") << -1
                                     << "{path}: not a log format this program reads (candump, ASC, TRC, pcap, "
                                        "pcapng, BLF, CSV); name it by its ending or give its format";
        QTest::newRow("then closed with nothing") << "write" << QByteArray() << -1 << "{path}: is empty, no log";
        // Shown as soon as a whole first line tells the format, not once the first 4 KiB came.
        QTest::newRow("then one frame, quiet again")
            << "trickle" << candump(1) << 1 << "{path} - Frame Monitor - stopped: cancelled";
        QTest::newRow("then an ASC header and one frame, quiet again")
            << "trickle" << QByteArray("date Wed Dec 10 09:00:00.000 am 2025\nbase hex  timestamps absolute\n"
                                       "// version 9.0.0\n0.5 1  123  Rx d 1 AA\n")
            << 1 << "{path} - Frame Monitor - stopped: cancelled";
        QTest::newRow("then a pcapng header and one frame, quiet again")
            << "trickle" << blf(1, TLogFormat::Pcapng, false) << 1 << "{path} - Frame Monitor - stopped: cancelled";
        QTest::newRow("cancel") << "cancel" << QByteArray() << 0 << "{path} - Frame Monitor - stopped: cancelled";
        QTest::newRow("the progress dialog's Cancel")
            << "button" << QByteArray() << 0 << "{path} - Frame Monitor - stopped: cancelled";
        QTest::newRow("close") << "close" << QByteArray() << -1 << QString();
    }
    void aQuietPipe()
    {
        QFETCH(QString, then);
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        QFETCH(QString, outcome);
        MessageBoxRecorder boxes;
        TPathPipe pipe;
        QVERIFY(pipe.IsOpen());
        outcome.replace(QStringLiteral("{path}"), pipe.Path());
        QString problem;
        QPointer<TFrameMonitor> window = OpenLogWindow(pipe.Path(), problem);
        QVERIFY2(window, qPrintable(problem));
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), pipe.Path() + QStringLiteral(" - Frame Monitor"));
        QPointer<TLogLoader> loader = LogLoaderOf(window);
        QVERIFY(loader->Loading());
        QPointer<QProgressDialog> progress = window->findChild<QProgressDialog *>(QStringLiteral("LogProgress"));
        QVERIFY(progress);
        QCOMPARE(progress->maximum(), 0);
        // Its timer fired: the event loop turns while the pipe is quiet, and the window answers.
        QTRY_VERIFY(progress->isVisible());
        QCOMPARE(progress->labelText(), QStringLiteral("Waiting for %1...").arg(pipe.Path()));
        window->HistorySpinBox->setValue(100000);
        QCOMPARE(window->HistorySpinBox->value(), 100000);
        QVERIFY(loader->Opening());
        if (then == QLatin1String("close")) {
            window->close();
            QTRY_VERIFY(window.isNull());
            QVERIFY(loader.isNull());
            QVERIFY(progress.isNull());
            QCOMPARE(boxes.texts(), QStringList());
            return;
        }
        if (then == QLatin1String("write")) {
            std::thread writer = pipe.Feed(bytes);
            QTRY_VERIFY_WITH_TIMEOUT(loader.isNull() || !loader->Loading(), 30000);
            writer.join();
        } else if (then == QLatin1String("trickle")) {
            QVERIFY(pipe.Write(bytes));
            QTRY_COMPARE(window->Frames()->rowCount(), rows);
            QVERIFY(loader->Loading());
            loader->Cancel();
        } else if (then == QLatin1String("button")) {
            QPushButton *cancel = progress->findChild<QPushButton *>();
            QVERIFY(cancel);
            cancel->click();
        } else {
            loader->Cancel();
        }
        if (rows < 0) {
            QTRY_VERIFY(window.isNull());
            QTRY_COMPARE(boxes.texts(), QStringList(outcome));
            return;
        }
        QVERIFY(!loader->Loading());
        QVERIFY(!loader->Opening());
        QCOMPARE(loader->Frames(), uint64_t(rows));
        QCOMPARE(window->Frames()->rowCount(), rows);
        QCOMPARE(window->windowTitle(), outcome);
        QCOMPARE(boxes.texts(), QStringList());
        delete window;
    }

    // The window's title names the log: a descriptor's path whole, as its last part says nothing.
    void aLogIsTitledByWhatNamesIt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("a file") << "/home/ann/logs/drive.log" << "drive.log";
        QTest::newRow("a file here") << "drive.asc" << "drive.asc";
        QTest::newRow("a shell's <(...)") << "/dev/fd/63" << "/dev/fd/63";
        QTest::newRow("/dev/stdin") << "/dev/stdin" << "/dev/stdin";
        QTest::newRow("/proc/self/fd") << "/proc/self/fd/7" << "/proc/self/fd/7";
        QTest::newRow("standard input") << "-" << "standard input";
    }
    void aLogIsTitledByWhatNamesIt()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(LogWindowName(path), name);
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
