// `k3316-cli serve` against the virtual module, with python-can's socketcand client (Debian's
// python3-can) and with plain sockets. Everything connects to 127.0.0.1 only.

#include "CanBus.h"
#include "support/CliRun.h"
#include "support/PtyPair.h"
#include "support/ServeProcess.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/socket.h>

namespace {

// The data frames among the node's first `count` lines, as the client script prints them:
// identifier without leading zeros, then the data, read straight from the module's line.
QStringList nodeDataFrames(uint64_t seed, int count)
{
    Sim::BusNode node(seed);
    QStringList frames;
    for (int i = 0; i < count; ++i) {
        const QByteArray line = node.next();
        const bool extended = line.startsWith('e');
        if (!extended && !line.startsWith('t'))
            continue; // remote frames reach python-can as "< rtr ... >", which it skips
        const int idDigits = extended ? 8 : 3;
        const QByteArray id = QByteArray::number(line.mid(1, idDigits).toUInt(nullptr, 16), 16).toUpper();
        const int dlc = line.at(1 + idDigits) - '0';
        frames << QString::fromLatin1(id + ' ' + line.mid(2 + idDigits, 2 * dlc));
    }
    return frames;
}

// Reads from `socket` until `text` has come; false after the time-out.
bool awaitText(QTcpSocket &socket, QByteArray &seen, const QByteArray &text, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(text)) {
        if (clock.elapsed() > timeoutMs)
            return false;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(100))
            continue;
        seen += socket.readAll();
    }
    return true;
}

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    socket->waitForConnected(5000);
    return socket;
}

// Connects anew every tenth of a second (the event loop runs between) until a connection is
// greeted with "< hi >" and nothing else, or `withinMs` pass; the last connection, and in `seen`
// what it got.
std::unique_ptr<QTcpSocket> greetedClient(quint16 port, QByteArray &seen, int withinMs)
{
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QTcpSocket> client;
    do {
        QTest::qWait(100);
        client = connectTo(port);
        seen.clear();
        awaitText(*client, seen, " >", 1000);
    } while (seen != "< hi >" && clock.elapsed() < withinMs);
    return client;
}

} // namespace

class TestServe : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    // The real client: it receives the node's frames in order with their data, and what it
    // sends arrives at the module as the composer's line (with a checksum when the module wants one).
    // At the line rate, several clients at once each get every frame (python-can's reader drops
    // the character after the last whole message it has read: a blank follows each frame).
    void pythonCanClient_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("traffic"); // lines per second, or max: the line rate
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("clients");
        QTest::addColumn<QStringList>("expectedLines");
        // Checksums summed by hand: "t1AB3010AFF" adds up to 0x2B9, "e01ABCDEF0" to 0x28B.
        QTest::newRow("plain") << QStringList{} << "100" << 24 << 1 << QStringList{"t1AB3010AFF", "e01ABCDEF0"};
        QTest::newRow("checksums") << QStringList{"--checksum"} << "100" << 24 << 1
                                   << QStringList{"t1AB3010AFFB9", "e01ABCDEF08B"};
        // (no sends here: python-can closes at once after its last send, and under a heavy load the
        // server's frames can meet a closed socket, whose reset takes unread data with it)
        QTest::newRow("line rate, three clients") << QStringList{} << "max" << 3000 << 3 << QStringList{};
    }
    void pythonCanClient()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, traffic);
        QFETCH(int, lines);
        QFETCH(int, clients);
        QFETCH(QStringList, expectedLines);
        const QString log = m_dir.filePath(QStringLiteral("python-%1.log").arg(QTest::currentDataTag()));
        QFile::remove(log);
        // The node starts a while after the probe, once the clients have had time to open the bus.
        SimProcess sim(simArgs + QStringList{"--mode", "operation", "--traffic", traffic, "--traffic-count",
                                             QString::number(lines), "--traffic-after", "3000", "--seed", "7",
                                             "--log", log});
        QVERIFY(sim.isRunning());
        ServeProcess serve(sim.path());
        QVERIFY2(serve.port() != 0, serve.process().readAllStandardError().constData());

        const QStringList expected = nodeDataFrames(7, lines);
        QVERIFY(expected.size() >= 5);
        std::vector<std::unique_ptr<QProcess>> running;
        for (int c = 0; c < clients; ++c) {
            running.push_back(std::make_unique<QProcess>());
            // Only the first one sends: the module's lines are then known.
            QStringList args{QStringLiteral(K3316_CLIENT_SCRIPT), QString::number(serve.port()),
                             QString::number(expected.size())};
            if (c == 0 && !expectedLines.isEmpty())
                args << "1AB#010AFF" << "1ABCDEF#";
            running.back()->start(QStringLiteral("/usr/bin/python3"), args);
            QVERIFY(running.back()->waitForStarted(5000));
        }
        for (const auto &client : running) {
            QVERIFY2(client->waitForFinished(60000), client->readAllStandardError().constData());
            const QByteArray err = client->readAllStandardError();
            QVERIFY2(client->exitStatus() == QProcess::NormalExit && client->exitCode() == 0, err.constData());

            QStringList out = QString::fromLatin1(client->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(out.value(0), QStringLiteral("ready"));
            out.removeFirst();
            QStringList frames;
            double lastTime = 0;
            for (const QString &line : std::as_const(out)) {
                const QStringList parts = line.split(QLatin1Char(' '));
                QCOMPARE(parts.size(), 3);
                frames << parts[0] + QLatin1Char(' ') + parts[1];
                const double time = parts[2].toDouble();
                QVERIFY2(time >= lastTime, qPrintable(line)); // the time of the module's line, in order
                lastTime = time;
            }
            // Under load a client may open the bus after the node has begun: then it must have
            // every frame from where it came in to the end.
            QVERIFY2(frames.size() >= 5, qPrintable(frames.join(", ")));
            const qsizetype from = expected.indexOf(frames.first());
            if (from > 0)
                qWarning("the client came in after %lld of the node's frames", (long long)from);
            QCOMPARE(frames, expected.mid(from));
        }
        QTRY_COMPARE(ReceivedBySim(log).filter(QRegularExpression("^[te]")), expectedLines);
    }

    // One connection through commands right and wrong: each is answered and the line stays up.
    void commandsAnswered()
    {
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        ServeProcess serve(sim.path(), {}, {"--channel", "can7"});
        QVERIFY(serve.port() != 0);
        auto socket = connectTo(serve.port());
        QByteArray seen;
        QVERIFY(awaitText(*socket, seen, "< hi >"));
        const QList<QPair<QByteArray, QByteArray>> exchanges = {
            {"< send 123 0 >", "< error open the bus first >"},
            {"< open k3316 >", "< error no bus named k3316 here, only can7 >"},
            {"< open can7 >", "< ok >"},
            {"< bcmmode >", "< error bcmmode is not offered"},
            {"hello\r\n", "< error text outside a command"},
            {"<" + QByteArray(2000, 'x') + ">", "< error command longer than 1024 bytes >"},
            {QByteArray("< send \0\xff >", 11), "< error binary data in a command >"},
            {"< send 123 2 11 >", "< error send: length 2 but 1 data bytes >"},
            {"< rawmode >", "< ok >"},
            {"< echo >", "< echo >"},
        };
        for (const auto &[sent, reply] : exchanges) {
            seen.clear();
            socket->write(sent);
            QVERIFY2(awaitText(*socket, seen, reply), (sent.left(40) + " got " + seen).constData());
            QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
        }
    }

    // A client that sends faster than the line takes frames is answered a few commands a turn:
    // nothing it sent is lost or reordered, and the echo after the flood comes back. One that
    // closes right after its flood has every frame sent all the same.
    void floodOfSendsArrivesWhole_data()
    {
        QTest::addColumn<bool>("closeAfter");
        QTest::newRow("echo after the flood") << false;
        QTest::newRow("closed right after the flood") << true;
    }
    void floodOfSendsArrivesWhole()
    {
        QFETCH(bool, closeAfter);
        const QString log = m_dir.filePath(QStringLiteral("flood-%1.log").arg(int(closeAfter)));
        QFile::remove(log);
        SimProcess sim({"--mode", "operation", "--log", log});
        QVERIFY(sim.isRunning());
        ServeProcess serve(sim.path());
        QVERIFY(serve.port() != 0);
        auto socket = connectTo(serve.port());
        QByteArray flood = "< open k3316 >";
        QStringList expected;
        for (int i = 0; i < 400; ++i) {
            flood += "< send " + QByteArray::number(i, 16) + " 1 " + QByteArray::number(i % 256, 16) + " >";
            expected << QLatin1Char('t') + QStringLiteral("%1").arg(i, 3, 16, QLatin1Char('0')).toUpper() +
                            QLatin1Char('1') + QStringLiteral("%1").arg(i % 256, 2, 16, QLatin1Char('0')).toUpper();
        }
        if (closeAfter) {
            // Closed for sending once all is written; a full close would make the replies the
            // server still writes answer with a reset, which loses data in any TCP server.
            socket->write(flood);
            while (socket->bytesToWrite() > 0)
                QVERIFY(socket->waitForBytesWritten(10000));
            QCOMPARE(::shutdown(int(socket->socketDescriptor()), SHUT_WR), 0);
        } else {
            socket->write(flood + "< echo >");
            QByteArray seen;
            QVERIFY2(awaitText(*socket, seen, "< ok >< echo >", 20000), seen.right(200).constData());
        }
        QTRY_COMPARE_WITH_TIMEOUT(ReceivedBySim(log).filter(QRegularExpression("^t")), expected, 10000);
    }

    // A frame's time is when its line came, not when serve began to wait for it: the node's
    // first line comes a second after serve's probe is answered.
    void frameTimeIsWhenTheLineCame()
    {
        SimProcess sim({"--mode", "operation", "--traffic", "10", "--traffic-count", "1", "--traffic-after", "1000"});
        QVERIFY(sim.isRunning());
        const double beforeTheProbe = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        ServeProcess serve(sim.path());
        QVERIFY(serve.port() != 0);
        auto socket = connectTo(serve.port());
        socket->write("< open k3316 >< rawmode >");
        QByteArray seen;
        QVERIFY(awaitText(*socket, seen, "< hi >< ok >< ok >"));
        seen.clear();
        QVERIFY(awaitText(*socket, seen, " >", 10000)); // "< frame ID TIME DATA >" or "< rtr ID TIME DLC >"
        const double now = double(QDateTime::currentMSecsSinceEpoch() + 1) / 1000.0;
        const double time = seen.split(' ').value(3).toDouble();
        // Not before the node starts (0.9 s: its timer may round), not after the test read it, however
        // loaded the machine; a time taken when serve began to wait, right after the probe, is earlier.
        QVERIFY2(time >= beforeTheProbe + 0.9 && time <= now,
                 qPrintable(QStringLiteral("%1 not within %2 .. %3").arg(time, 0, 'f', 6).arg(beforeTheProbe + 0.9, 0, 'f', 6).arg(now, 0, 'f', 6)));
    }

    // Clients that try to take the server down or hold it: it goes on greeting and answering.
    void hostileClientsLeaveTheServerServing_data()
    {
        QTest::addColumn<int>("connections");
        QTest::addColumn<QByteArray>("commands"); // each connection sends these at once and never reads
        // Its replies pile up past the slack, and the answer to rawmode was once written to a
        // client already freed.
        QTest::newRow("replies unread, then rawmode")
            << 1 << QByteArray("< open k3316 >").append(QByteArray("< echo >").repeated(40000)) + "< rawmode >";
        QTest::newRow("sixteen silent connections") << 16 << QByteArray();
    }
    void hostileClientsLeaveTheServerServing()
    {
        QFETCH(int, connections);
        QFETCH(QByteArray, commands);
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        ServeProcess serve(sim.path());
        QVERIFY(serve.port() != 0);
        std::vector<std::unique_ptr<QTcpSocket>> hostile;
        for (int i = 0; i < connections; ++i) {
            auto s = std::make_unique<QTcpSocket>();
            s->setReadBufferSize(256);
            s->connectToHost(QHostAddress(QHostAddress::LocalHost), serve.port());
            QVERIFY(s->waitForConnected(5000));
            s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096); // (not before)
            s->write(commands);
            hostile.push_back(std::move(s));
        }
        // Greeted and answered once the hostile connections are let go (they write their commands
        // while the event loop runs between the tries).
        QByteArray seen;
        const auto next = greetedClient(serve.port(), seen, 30000);
        QCOMPARE(seen, QByteArray("< hi >"));
        next->write("< open k3316 >< echo >");
        QVERIFY(awaitText(*next, seen, "< ok >< echo >"));
        QCOMPARE(serve.process().state(), QProcess::Running);
    }

    // A module that stops taking bytes: a line that cannot go is refused to the client that sent
    // it, none reaches the module in part, and the server goes on greeting and answering.
    void moduleThatStopsTakingBytes()
    {
        PtyPair pty; // the test is the module, and does not read until the end
        QVERIFY(pty.isValid());
        ServeProcess serve(pty.slavePath(), {"--no-probe"});
        QVERIFY(serve.port() != 0);
        auto a = connectTo(serve.port());
        QByteArray flood = "< open k3316 >";
        QList<QByteArray> expected;
        const int count = 20000;
        for (int i = 0; i < count; ++i) {
            const int id = i % 0x800, data = i / 0x800;
            flood += "< send " + QByteArray::number(id, 16) + " 1 " + QByteArray::number(data, 16) + " >";
            expected << 't' + QByteArray::number(id, 16).toUpper().rightJustified(3, '0') + '1' +
                            QByteArray::number(data, 16).toUpper().rightJustified(2, '0');
        }
        a->write(flood + "< echo >");
        QByteArray seenA;
        QVERIFY2(awaitText(*a, seenA, "< echo >", 120000), seenA.right(200).constData());
        const QByteArray refusal = "< error the module is not taking bytes: frame not sent >";
        const qsizetype refused = seenA.count(refusal);
        QVERIFY(refused > 0);
        QCOMPARE(seenA.count("< error"), refused);

        auto b = connectTo(serve.port());
        QByteArray seenB;
        QVERIFY(awaitText(*b, seenB, "< hi >"));
        b->write("< open k3316 >< send 7ff 0 >< echo >");
        QVERIFY(awaitText(*b, seenB, "< ok >" + refusal + "< echo >"));

        // The module takes bytes again: the line it had begun is finished, and every line is whole.
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.count('\r') < count - refused && clock.elapsed() < 30000)
            got += pty.readAvailable(100);
        QList<QByteArray> lines = got.split('\r');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines.size(), count - refused);
        qsizetype at = 0;
        for (const QByteArray &line : std::as_const(lines)) {
            at = expected.indexOf(line, at);
            QVERIFY2(at >= 0, line.constData());
            ++at;
        }
    }

    // A stream with no CR (a wrong baud rate with --no-probe) does not grow serve, monitor or
    // k3316-extcap without bound: the line is cut, counted, and said at the end.
    void lineWithoutCrIsCutAndCounted_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args"); // PORT and FILE stand for the module's port and a file
        QTest::newRow("serve") << CliExecutable() << QStringList{"--port", "PORT", "--no-probe", "serve", "--listen", "127.0.0.1:0"};
        QTest::newRow("monitor") << CliExecutable() << QStringList{"--port", "PORT", "--no-probe", "monitor", "--format", "candump"};
        QTest::newRow("k3316-extcap") << QCoreApplication::applicationDirPath() + "/k3316-extcap"
                                      << QStringList{"--capture", "--extcap-interface", "k3316", "--port", "PORT",
                                                     "--no-probe", "--fifo", "FILE"};
    }
    void lineWithoutCrIsCutAndCounted()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString file = m_dir.filePath(QStringLiteral("cut.pcap"));
        QFile::remove(file);
        args.replaceInStrings(QRegularExpression("^PORT$"), pty.slavePath());
        args.replaceInStrings(QRegularExpression("^FILE$"), file);
        QProcess p;
        p.start(program, args);
        QVERIFY(p.waitForStarted());
        QByteArray out;
        std::unique_ptr<QTcpSocket> client;
        QByteArray seen;
        // Each program shows it has the port open and reads it in its own way.
        auto shows = [&](const QByteArray &frameText) {
            out += p.readAllStandardOutput();
            if (args.contains("serve")) {
                const auto match = QRegularExpression("127\\.0\\.0\\.1:(\\d+)").match(QString::fromLatin1(out));
                if (!client && match.hasMatch()) {
                    client = connectTo(quint16(match.captured(1).toUInt()));
                    client->write("< open k3316 >< rawmode >");
                    awaitText(*client, seen, "< ok >< ok >");
                }
                return client && (pty.write("t0010\r"), awaitText(*client, seen, "< frame " + frameText, 200));
            }
            if (args.contains("monitor"))
                return pty.write("t0010\r") && out.contains(frameText + '#');
            QFile f(file); // pcap: the identifier as four bytes, most significant first
            const QByteArray pcap = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            return pty.write("t0010\r") && pcap.size() > 24 &&
                   (frameText == "001" || pcap.contains(QByteArray::fromHex("00000" + frameText)));
        };
        QTRY_VERIFY_WITH_TIMEOUT(shows("001"), 10000);
        QVERIFY(pty.write(QByteArray(100000, 'x') + "\rt1230\r"));
        QTRY_VERIFY_WITH_TIMEOUT(shows("123"), 20000);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains("line(s) longer than 64 bytes without a CR were cut"), err.constData());
    }

    void seventeenthClientRefused()
    {
        SimProcess sim({"--mode", "operation"});
        QVERIFY(sim.isRunning());
        ServeProcess serve(sim.path());
        QVERIFY(serve.port() != 0);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 16; ++i) {
            clients.push_back(connectTo(serve.port()));
            QByteArray seen;
            // With the bus open, not closed as silent however slow the machine is.
            clients.back()->write("< open k3316 >");
            QVERIFY(awaitText(*clients.back(), seen, "< hi >< ok >"));
        }
        auto extra = connectTo(serve.port());
        QByteArray seen;
        QVERIFY(awaitText(*extra, seen, "< error too many clients: this server takes at most 16 >"));
        QTRY_COMPARE(extra->state(), QAbstractSocket::UnconnectedState);
        // A place that frees up is taken again.
        clients.front()->disconnectFromHost();
        QTRY_COMPARE(clients.front()->state(), QAbstractSocket::UnconnectedState);
        // Refused until the server has seen the close.
        greetedClient(serve.port(), seen, 10000);
        QCOMPARE(seen, QByteArray("< hi >"));
    }

    void moduleLostTellsEveryClient()
    {
        auto sim = std::make_unique<SimProcess>(QStringList{"--mode", "operation"});
        QVERIFY(sim->isRunning());
        ServeProcess serve(sim->path());
        QVERIFY(serve.port() != 0);
        auto a = connectTo(serve.port());
        auto b = connectTo(serve.port());
        QByteArray seenA, seenB;
        QVERIFY(awaitText(*a, seenA, "< hi >"));
        QVERIFY(awaitText(*b, seenB, "< hi >"));
        sim.reset(); // the pseudo-terminal hangs up
        QVERIFY(awaitText(*a, seenA, "< error the module is lost:"));
        QVERIFY(awaitText(*b, seenB, "Connection Lost! >"));
        QVERIFY(serve.process().waitForFinished(5000));
        QCOMPARE(serve.process().exitCode(), 1);
        QVERIFY(serve.process().readAllStandardError().contains("Connection Lost!"));
        QTRY_COMPARE(a->state(), QAbstractSocket::UnconnectedState);
    }

    void signalClosesClients_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Ctrl+C") << SIGINT << 130;
        QTest::newRow("SIGTERM") << SIGTERM << 143;
    }
    void signalClosesClients()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        SimProcess sim({"--mode", "operation", "--traffic", "200", "--traffic-after", "50"});
        QVERIFY(sim.isRunning());
        ServeProcess serve(sim.path());
        QVERIFY(serve.port() != 0);
        auto socket = connectTo(serve.port());
        QByteArray seen;
        socket->write("< open k3316 >< rawmode >");
        QVERIFY(awaitText(*socket, seen, "< frame "));
        ::kill(pid_t(serve.process().processId()), signal);
        QVERIFY(serve.process().waitForFinished(5000));
        QCOMPARE(serve.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(serve.process().exitCode(), exitCode);
        QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        seen += socket->readAll();
        QVERIFY2(seen.endsWith(" > "), seen.right(60).constData()); // whole frames only, each with its blank
    }

    void addressInUse()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress(QHostAddress::LocalHost), 0));
        SimProcess sim({"--mode", "operation", "--log", m_dir.filePath("in-use.log")});
        QVERIFY(sim.isRunning());
        const CliResult r = RunCli({"--port", sim.path(), "serve", "--listen",
                                    QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains("cannot listen on 127.0.0.1:"), r.err.constData());
        QCOMPARE(ReceivedBySim(m_dir.filePath("in-use.log")), QStringList()); // the module was not asked
    }
};

QTEST_GUILESS_MAIN(TestServe)
#include "tst_serve.moc"
