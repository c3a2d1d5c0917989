// The socketcand server with clients on the loopback, in one process: a slow client misses
// frames, is told how many, and goes on where the others are; one that stays behind is let go;
// a fast client meanwhile gets every frame. (The client limit is tested through k3316-cli.)

#include "bridge/SocketcandServer.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <numeric>

namespace {

QByteArray frame(uint32_t seq)
{
    return "< frame 123 0.000000 " + QByteArray::number(seq, 16).toUpper().rightJustified(8, '0') + " >";
}

// The items a client got, in order: frame sequence numbers, or -1 for an error whose text
// goes to `errors`.
QList<qint64> itemsOf(const QByteArray &stream, QList<QByteArray> &errors)
{
    QList<qint64> items;
    static const QRegularExpression item(QStringLiteral("< (frame 123 0.000000 ([0-9A-F]{8})|error [^>]*) >"));
    auto it = item.globalMatch(QString::fromLatin1(stream));
    while (it.hasNext()) {
        const auto m = it.next();
        if (m.captured(2).isEmpty()) {
            items << -1;
            errors << m.captured(0).toLatin1();
        } else {
            items << m.captured(2).toLongLong(nullptr, 16);
        }
    }
    return items;
}

// `readBuffer` 0: a client that reads everything; otherwise Qt takes no more than that from the
// system while the test does not read, and the system's window is small too.
std::unique_ptr<QTcpSocket> rawClient(quint16 port, qint64 readBuffer)
{
    auto s = std::make_unique<QTcpSocket>();
    s->setReadBufferSize(readBuffer);
    s->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    // Set once connected: Qt applies it to no socket before that, and the system's own
    // tuning would then let megabytes wait for a client that does not read.
    if (readBuffer > 0 && s->waitForConnected(5000))
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    return s;
}

TServeOptions smallBuffers()
{
    TServeOptions o;
    o.backlogBytes = 4096;
    o.socketBufferBytes = 4096;
    o.rawStartMs = 0;
    return o;
}

} // namespace

class TestSocketcandServer : public QObject {
    Q_OBJECT

private slots:
    void slowClientToldHowManyItMissed()
    {
        TServeOptions o = smallBuffers();
        o.graceMs = 24 * 3600 * 1000; // however slow the machine, the slow client is not let go here
        TSocketcandServer server(o, [](const QByteArray &, QByteArray &) { return true; });
        QString problem;
        QVERIFY2(server.Listen(QHostAddress(QHostAddress::LocalHost), 0, problem), qPrintable(problem));
        auto fast = rawClient(server.Port(), 0);
        auto slow = rawClient(server.Port(), 256); // Qt reads no more than this while we do not
        QByteArray fastSeen, slowSeen;
        QObject::connect(fast.get(), &QTcpSocket::readyRead, [&] { fastSeen += fast->readAll(); });
        for (QTcpSocket *s : {fast.get(), slow.get()}) {
            QTRY_COMPARE(s->state(), QAbstractSocket::ConnectedState);
            s->write("< open k3316 >< rawmode >");
        }
        QTRY_VERIFY(fastSeen.endsWith("< ok >< ok >"));
        QTRY_VERIFY(slow->bytesAvailable() >= 18);
        slowSeen += slow->readAll();
        QCOMPARE(slowSeen, QByteArray("< hi >< ok >< ok >"));

        // Far more than the slow client's windows and our limit hold, in batches the fast one
        // reads between.
        uint32_t seq = 0;
        for (int batch = 0; batch < 200; ++batch) {
            for (int i = 0; i < 20; ++i)
                server.Publish(frame(seq++));
            server.Flush();
            QTRY_VERIFY(fastSeen.endsWith(frame(seq - 1) + ' '));
        }
        QCOMPARE(server.ClientsBehind(), 1); // the slow one has missed frames, the fast one none

        // The slow one reads again: it is told (maybe more than once: the system takes some of the
        // backlog even from a client that does not read), then gets the frames published from then on.
        slow->setReadBufferSize(0);
        QObject::connect(slow.get(), &QTcpSocket::readyRead, [&] { slowSeen += slow->readAll(); });
        slowSeen += slow->readAll();
        // Caught up, and told: an earlier report in the stream does not mean the last gap is told.
        QTRY_VERIFY_WITH_TIMEOUT(server.ClientsBehind() == 0 && slowSeen.contains("frames missed"), 10000);
        for (int i = 0; i < 20; ++i)
            server.Publish(frame(seq++));
        server.Flush();
        QTRY_VERIFY(slowSeen.endsWith(frame(seq - 1) + ' '));

        // Every frame is either received, in order, or counted in the report right after the gap.
        QList<QByteArray> errors;
        const QList<qint64> got = itemsOf(slowSeen, errors);
        QVERIFY(!errors.isEmpty());
        qint64 expectedNext = 0, received = 0, missedTotal = 0, pendingMissed = 0;
        int error = 0;
        for (qint64 item : got) {
            if (item < 0) {
                const QByteArray text = errors[error++];
                QVERIFY2(text.contains("frames missed"), text.constData());
                pendingMissed = text.split(' ').value(2).toLongLong();
                QVERIFY(pendingMissed > 0);
                expectedNext += pendingMissed;
                missedTotal += pendingMissed;
                continue;
            }
            QCOMPARE(item, expectedNext);
            ++expectedNext;
            ++received;
        }
        QCOMPARE(received + missedTotal, qint64(seq));
        QVERIFY(missedTotal > 0);

        // The fast one got every frame, in order, and no error.
        QTRY_VERIFY(fastSeen.endsWith(frame(seq - 1) + ' '));
        QList<QByteArray> fastErrors;
        QList<qint64> every(seq);
        std::iota(every.begin(), every.end(), 0);
        QCOMPARE(itemsOf(fastSeen, fastErrors), every);
        QCOMPARE(fastErrors, QList<QByteArray>());
    }

    // A client let go is told why before the close, whatever it was doing when it was dropped, and
    // the server goes on greeting others.
    void clientLetGoIsToldWhy_data()
    {
        QTest::addColumn<QByteArray>("commands"); // sent at once on connecting
        QTest::addColumn<int>("backlogBytes");
        QTest::addColumn<bool>("publish"); // frames until it is let go
        QTest::addColumn<int>("openWithinMs");
        QTest::addColumn<QByteArray>("notice");
        QTest::newRow("behind for the grace time") << QByteArray("< open k3316 >< rawmode >") << 256 << true << 0
                                                   << QByteArray("frames missed and still behind after 0.3 s: disconnected");
        // The answer to rawmode is the one that finds the replies past the slack (2 x 2 bytes).
        QTest::newRow("answer to rawmode past the slack") << QByteArray("< open k3316 >< rawmode >") << 2 << false << 0
                                                          << QByteArray("not reading its replies");
        QTest::newRow("replies unread") << QByteArray("< open k3316 >").append(QByteArray("< echo >").repeated(5000)) + "< rawmode >"
                                        << 256 << false << 0 << QByteArray("not reading its replies");
        QTest::newRow("no bus opened in time") << QByteArray() << 256 << false << 200
                                               << QByteArray("no bus opened within 0.2 s: closed");
    }
    void clientLetGoIsToldWhy()
    {
        QFETCH(QByteArray, commands);
        QFETCH(int, backlogBytes);
        QFETCH(bool, publish);
        QFETCH(int, openWithinMs);
        QFETCH(QByteArray, notice);
        TServeOptions o = smallBuffers();
        o.backlogBytes = backlogBytes;
        o.graceMs = 300;
        o.openWithinMs = openWithinMs;
        o.closeWaitMs = 24 * 3600 * 1000; // the notice waits for the client, however long it takes to read
        TSocketcandServer server(o, [](const QByteArray &, QByteArray &) { return true; });
        QString problem;
        QVERIFY(server.Listen(QHostAddress(QHostAddress::LocalHost), 0, problem));
        auto stuck = rawClient(server.Port(), 256);
        QTRY_VERIFY(stuck->bytesAvailable() >= 6); // greeted
        stuck->write(commands);
        uint32_t seq = 0;
        QElapsedTimer clock;
        clock.start();
        while (server.ClientCount() == 1 && clock.elapsed() < 20000) {
            if (publish) {
                for (int i = 0; i < 200; ++i)
                    server.Publish(frame(seq++));
                server.Flush();
            }
            QTest::qWait(10);
        }
        QCOMPARE(server.ClientCount(), 0);
        // It reads again: everything queued, then why, then the close.
        QByteArray seen;
        stuck->setReadBufferSize(0);
        QObject::connect(stuck.get(), &QTcpSocket::readyRead, [&] { seen += stuck->readAll(); });
        seen += stuck->readAll();
        QTRY_COMPARE_WITH_TIMEOUT(stuck->state(), QAbstractSocket::UnconnectedState, 20000);
        seen += stuck->readAll();
        QVERIFY2(seen.startsWith("< hi >"), seen.left(40).constData());
        const QByteArray last = seen.mid(seen.lastIndexOf("< "));
        QVERIFY2(last.startsWith("< error ") && last.contains(notice), last.constData());

        auto next = rawClient(server.Port(), 0);
        QTRY_VERIFY(next->bytesAvailable() >= 6);
        QCOMPARE(next->readAll(), QByteArray("< hi >"));
    }

    // Clients that reset the connection right after their commands: the answer's flush finds
    // them gone (under AddressSanitizer this once read a forgotten client).
    void clientsResettingWhileAnswered()
    {
        TSocketcandServer server(smallBuffers(), [](const QByteArray &, QByteArray &) { return true; });
        QString problem;
        QVERIFY(server.Listen(QHostAddress(QHostAddress::LocalHost), 0, problem));
        for (int i = 0; i < 20; ++i) {
            auto s = rawClient(server.Port(), 0);
            QTRY_COMPARE(s->state(), QAbstractSocket::ConnectedState);
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            s->write("< open k3316 >< rawmode >< echo >< send 1 0 >");
            s->flush();
            s->abort();
            server.Publish(frame(uint32_t(i)));
            server.Flush();
        }
        QTRY_COMPARE(server.ClientCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSocketcandServer)
#include "tst_socketcandserver.moc"
