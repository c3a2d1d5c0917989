#include "cli/Interrupt.h"
#include "common/InputFile.h"
#include "support/PathPipe.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Puts a descriptor on standard input for the life of the object.
struct TStdinSwap {
    int saved = ::dup(STDIN_FILENO);
    explicit TStdinSwap(int fd) { ::dup2(fd, STDIN_FILENO); }
    ~TStdinSwap()
    {
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
    }
};

QByteArray lines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "(1.000000) can0 123#" + QByteArray::number(i) + '\n';
    return text;
}

} // namespace

class TestInputFile : public QObject {
    Q_OBJECT

private slots:
    // Each row: what the name is, the kind, and a word the refusal must hold beside the name.
    void refusedUnread_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("word");
        QTest::newRow("FIFO, no writer (must not wait)") << "fifo" << int(TInputKind::TransmitList) << "FIFO";
        QTest::newRow("FIFO as a log") << "fifo" << int(TInputKind::Log) << "FIFO";
        QTest::newRow("directory") << "dir" << int(TInputKind::Database) << "directory";
        QTest::newRow("/dev/zero") << "/dev/zero" << int(TInputKind::TransmitList) << "device";
        QTest::newRow("/dev/null") << "/dev/null" << int(TInputKind::Profile) << "device";
        QTest::newRow("missing") << "no-such-file" << int(TInputKind::Database) << "No such file";
        QTest::newRow("profile over 1 MB") << "big" << int(TInputKind::Profile) << "too large for a profile";
        QTest::newRow("transmit list over 16 MB") << "huge" << int(TInputKind::TransmitList)
                                                  << "too large for a transmit list";
        QTest::newRow("empty name") << "" << int(TInputKind::Profile) << "no file name";
    }
    void refusedUnread()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, word);
        QTemporaryDir dir;
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        QVERIFY(QDir(dir.path()).mkdir("dir"));
        QFile big(dir.filePath("big"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(InputLimit(TInputKind::Profile) + 1));
        big.close();
        QFile huge(dir.filePath("huge"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(InputLimit(TInputKind::TransmitList) + 1));
        huge.close();

        if (!name.isEmpty() && !name.startsWith('/'))
            name = dir.filePath(name);
        QByteArray bytes = "left over";
        QString problem;
        QCOMPARE(ReadInputFile(name, TInputKind(kind), bytes, problem), TInputResult::Refused);
        QVERIFY2(problem.contains(word) && problem.contains(name), qPrintable(problem));
        QVERIFY(bytes.isEmpty());

        // A stream has no limit, but refuses the same kinds of file.
        TInputStream stream;
        if (!name.endsWith("big") && !name.endsWith("huge"))
            QVERIFY(!stream.Open(name));
    }

    // Each row: the bytes, whether they come through a pipe reached by path, standard input
    // as a pipe, or a regular file; and the kind (its limit).
    void readWhole_data()
    {
        QTest::addColumn<QString>("via");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("read");
        const QByteArray many = lines(40000); // well over what a pipe holds at once
        QTest::newRow("file") << "file" << many << int(TInputKind::Log) << true;
        QTest::newRow("empty file") << "file" << QByteArray() << int(TInputKind::Database) << true;
        QTest::newRow("pipe by path") << "path" << many << int(TInputKind::TransmitList) << true;
        QTest::newRow("standard input, pipe") << "stdin" << many << int(TInputKind::Database) << true;
        QTest::newRow("standard input, file") << "stdin-file" << many << int(TInputKind::Database) << true;
        QTest::newRow("pipe over the profile limit") << "path" << QByteArray(InputLimit(TInputKind::Profile) + 1, 'x')
                                                     << int(TInputKind::Profile) << false;
        QTest::newRow("pipe at the profile limit") << "stdin" << QByteArray(InputLimit(TInputKind::Profile), 'x')
                                                   << int(TInputKind::Profile) << true;
    }
    void readWhole()
    {
        QFETCH(QString, via);
        QFETCH(QByteArray, bytes);
        QFETCH(int, kind);
        QFETCH(bool, read);
        QTemporaryDir dir;
        const QString file = dir.filePath("input");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        }
        QByteArray got;
        QString problem;
        TInputResult result;
        if (via == "file") {
            result = ReadInputFile(file, TInputKind(kind), got, problem);
        } else if (via == "stdin-file") {
            const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
            TStdinSwap swap(fd);
            ::close(fd);
            result = ReadInputFile("-", TInputKind(kind), got, problem);
        } else {
            TPathPipe pipe;
            QVERIFY(pipe.IsOpen());
            std::thread writer = pipe.Feed(bytes);
            if (via == "stdin") {
                TStdinSwap swap(pipe.fds[0]);
                result = ReadInputFile("-", TInputKind(kind), got, problem);
            } else {
                result = ReadInputFile(pipe.Path(), TInputKind(kind), got, problem);
            }
            pipe.CloseReader(); // a writer still blocked on a refused pipe
            writer.join();
        }
        QCOMPARE(result, read ? TInputResult::Read : TInputResult::Refused);
        if (read) {
            QCOMPARE(got.size(), bytes.size());
            QVERIFY(got == bytes);
        } else {
            QVERIFY2(problem.contains("too large"), qPrintable(problem));
        }
    }

    // A stream hands out lines as they come, from a pipe (never read as empty) or a file; the
    // last line needs no line feed, a carriage return stays for the reader.
    void streamLines_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList three{"a", "bb\r", "ccc"};
        QTest::newRow("pipe") << true << QByteArray("a\nbb\r\nccc") << three;
        QTest::newRow("file") << false << QByteArray("a\nbb\r\nccc") << three;
        QTest::newRow("pipe, final line feed") << true << QByteArray("a\nbb\r\nccc\n") << three;
        QTest::newRow("pipe, empty") << true << QByteArray() << QStringList();
        QTest::newRow("file, blank lines") << false << QByteArray("\n\nx\n") << QStringList{"", "", "x"};
        // Far more than a pipe or the stream's buffer holds at once.
        const QByteArray many = lines(40000);
        QTest::newRow("pipe, 40,000 lines") << true << many << QString::fromLatin1(many).split('\n', Qt::SkipEmptyParts);
    }
    void streamLines()
    {
        QFETCH(bool, pipe);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        TPathPipe p;
        QVERIFY(p.IsOpen());
        std::thread writer;
        QString name = dir.filePath("log");
        if (pipe) {
            writer = p.Feed(text);
            name = p.Path();
        } else {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        TInputStream stream;
        QVERIFY2(stream.Open(name), qPrintable(stream.Problem()));
        QCOMPARE(stream.IsPipe(), pipe);
        QStringList got;
        QByteArray line;
        while (stream.ReadLine(line))
            got << QString::fromLatin1(line);
        if (writer.joinable())
            writer.join();
        QCOMPARE(got, expected);
        QVERIFY(stream.Problem().isEmpty());
        QVERIFY(stream.AtEnd());
        QCOMPARE(stream.Position(), qint64(text.size()));
        QCOMPARE(stream.LineNumber(), qint64(expected.size()));
    }

    void overlongLineNamed()
    {
        TPathPipe p;
        QVERIFY(p.IsOpen());
        std::thread writer = p.Feed(QByteArray("ok\n") + QByteArray(5000, 'x') + '\n');
        TInputStream stream;
        QVERIFY(stream.Open(p.Path()));
        QByteArray line;
        QVERIFY(stream.ReadLine(line, 1000));
        QVERIFY(!stream.ReadLine(line, 1000));
        QVERIFY2(stream.Problem().contains("line 2"), qPrintable(stream.Problem()));
        p.CloseReader();
        writer.join();
    }

    // A writer that never writes: the read waits until the hook is raised, whichever way.
    void interruptedDuringSlowRead_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("cancel flag") << 0 << 0;
        QTest::newRow("SIGINT") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    }
    void interruptedDuringSlowRead()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        TPathPipe p;
        QVERIFY(p.IsOpen());
        QVERIFY(::write(p.fds[1], "partial\n", 8) == 8); // some bytes, then silence
        TInputCancelFlag flag;
        TInterrupt interrupt;
        const TInputCancel *cancel = signal == 0 ? static_cast<const TInputCancel *>(&flag) : &interrupt;
        std::thread raiser([&] {
            if (signal == 0)
                flag.Raise();
            else
                ::kill(::getpid(), signal);
        });
        QByteArray bytes;
        QString problem;
        const TInputResult result = ReadInputFile(p.Path(), TInputKind::TransmitList, bytes, problem, cancel);
        raiser.join();
        QCOMPARE(result, TInputResult::Interrupted);
        QVERIFY2(problem.contains("interrupted") && problem.contains(p.Path()), qPrintable(problem));
        if (signal != 0)
            QCOMPARE(interrupt.ExitCode(), exitCode);
    }
};

QTEST_GUILESS_MAIN(TestInputFile)
#include "tst_inputfile.moc"
