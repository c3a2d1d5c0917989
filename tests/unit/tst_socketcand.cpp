// The socketcand protocol of `serve`: client commands to module lines, frames to socketcand's
// text, the command stream, the slow-client policy and the listen address.

#include "bridge/ClientBacklog.h"
#include "bridge/CommandReader.h"
#include "bridge/ListenAddress.h"
#include "bridge/SocketcandProtocol.h"

#include <QTest>

using namespace Socketcand;

class TestSocketcand : public QObject {
    Q_OBJECT

private slots:
    // What python-can 4.1 writes ("< send {id:X} {len:X} {b:x} ... >") and socketcand's own form.
    void sendBecomesModuleLine_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("python-can, one-digit bytes") << QByteArray("< send 123 3 1 a ff >") << QByteArray("t1233010AFF");
        QTest::newRow("no data, python-can's two blanks") << QByteArray("< send 7FF 0  >") << QByteArray("t7FF0");
        QTest::newRow("lower-case identifier") << QByteArray("< send 1ab 1 5 >") << QByteArray("t1AB105");
        QTest::newRow("eight digits are extended") << QByteArray("< send 00000123 2 11 22 >") << QByteArray("e0000012321122");
        QTest::newRow("above 7FF is extended") << QByteArray("< send 1ABCDEF 1 0 >") << QByteArray("e01ABCDEF100");
        QTest::newRow("socketcand example") << QByteArray("< send 1AAAAAAA 2 1 F1 >") << QByteArray("e1AAAAAAA201F1");
        QTest::newRow("eight bytes") << QByteArray("< send 0 8 0 1 2 3 4 5 6 7 >") << QByteArray("t00080001020304050607");
        QTest::newRow("tabs and extra blanks") << QByteArray("<send\t5  1   2>") << QByteArray("t005102");
        QTest::newRow("remote") << QByteArray("< sendrtr 123 4 >") << QByteArray("T1234");
        QTest::newRow("remote extended") << QByteArray("< sendrtr 1AAAAAAA 2 >") << QByteArray("E1AAAAAAA2");
    }
    void sendBecomesModuleLine()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, line);
        const TCommand c = ParseCommand(command);
        QVERIFY2(c.kind == TCommandKind::Send || c.kind == TCommandKind::SendRtr, c.error.constData());
        QCOMPARE(ModuleLine(c), line);
    }

    void otherCommands_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("detail"); // channel, or a part of the error
        QTest::newRow("open") << QByteArray("< open k3316 >") << int(TCommandKind::Open) << QByteArray("k3316");
        QTest::newRow("rawmode") << QByteArray("< rawmode >") << int(TCommandKind::RawMode) << QByteArray();
        QTest::newRow("echo") << QByteArray("< echo >") << int(TCommandKind::Echo) << QByteArray();
        QTest::newRow("bcmmode not offered") << QByteArray("< bcmmode >") << int(TCommandKind::Error) << QByteArray("raw mode only");
        QTest::newRow("unknown") << QByteArray("< hello >") << int(TCommandKind::Error) << QByteArray("unknown command");
        QTest::newRow("empty") << QByteArray("<  >") << int(TCommandKind::Error) << QByteArray("empty");
        QTest::newRow("open without name") << QByteArray("< open >") << int(TCommandKind::Error) << QByteArray("one bus name");
        QTest::newRow("bus name too long") << QByteArray("< open abcdefghijklmnopq >") << int(TCommandKind::Error) << QByteArray("16");
        QTest::newRow("rawmode with argument") << QByteArray("< rawmode x >") << int(TCommandKind::Error) << QByteArray("no arguments");
        QTest::newRow("half send") << QByteArray("< send 123 >") << int(TCommandKind::Error) << QByteArray("a length");
        QTest::newRow("too few bytes") << QByteArray("< send 123 2 11 >") << int(TCommandKind::Error) << QByteArray("length 2 but 1");
        QTest::newRow("too many bytes") << QByteArray("< send 123 0 11 >") << int(TCommandKind::Error) << QByteArray("length 0 but 1");
        QTest::newRow("length 9") << QByteArray("< send 123 9 >") << int(TCommandKind::Error) << QByteArray("0 to 8");
        QTest::newRow("length 10") << QByteArray("< send 123 10 >") << int(TCommandKind::Error) << QByteArray("0 to 8");
        QTest::newRow("identifier not hex") << QByteArray("< send 12G 0 >") << int(TCommandKind::Error) << QByteArray("identifier");
        QTest::newRow("identifier of 9 digits") << QByteArray("< send 000000123 0 >") << int(TCommandKind::Error) << QByteArray("identifier");
        QTest::newRow("identifier above 29 bits") << QByteArray("< send 20000000 0 >") << int(TCommandKind::Error) << QByteArray("identifier");
        QTest::newRow("byte of 3 digits") << QByteArray("< send 1 1 100 >") << int(TCommandKind::Error) << QByteArray("data byte");
        QTest::newRow("rtr with data") << QByteArray("< sendrtr 1 1 5 >") << int(TCommandKind::Error) << QByteArray("no data");
        QTest::newRow("binary") << QByteArray("< send \x01 >") << int(TCommandKind::Error) << QByteArray("binary");
        QTest::newRow("no brackets") << QByteArray("send 1 0") << int(TCommandKind::Error) << QByteArray("bracketed");
    }
    void otherCommands()
    {
        QFETCH(QByteArray, command);
        QFETCH(int, kind);
        QFETCH(QByteArray, detail);
        const TCommand c = ParseCommand(command);
        QCOMPARE(int(c.kind), kind);
        if (c.kind == TCommandKind::Open)
            QCOMPARE(c.channel, detail);
        if (c.kind == TCommandKind::Error)
            QVERIFY2(c.error.contains(detail), c.error.constData());
        QVERIFY(ModuleLine(c).isEmpty());
    }

    // Byte for byte socketcand's sprintf("< frame %03X %ld.%06ld ") + "%02X"... + " >".
    void frameText_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("timeUs");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("standard") << QByteArray("t12341122AABB") << qint64(1700000000000042) << QByteArray("< frame 123 1700000000.000042 1122AABB >");
        QTest::newRow("no data keeps the blank") << QByteArray("t7FF0") << qint64(23424242) << QByteArray("< frame 7FF 23.424242  >");
        QTest::newRow("extended") << QByteArray("e0000012321122") << qint64(1000000) << QByteArray("< frame 00000123 1.000000 1122 >");
        QTest::newRow("eight bytes") << QByteArray("t0018FFEEDDCCBBAA9988") << qint64(999999) << QByteArray("< frame 001 0.999999 FFEEDDCCBBAA9988 >");
        QTest::newRow("remote") << QByteArray("T1234") << qint64(5000001) << QByteArray("< rtr 123 5.000001 4 >");
        QTest::newRow("remote extended") << QByteArray("E1AAAAAAA2") << qint64(0) << QByteArray("< rtr 1AAAAAAA 0.000000 2 >");
        QTest::newRow("module checksum read, not sent") << QByteArray("t123211AB21") << qint64(0) << QByteArray("< frame 123 0.000000 11AB >");
        QTest::newRow("reply is no frame") << QByteArray("!P0") << qint64(0) << QByteArray();
        QTest::newRow("other line is no frame") << QByteArray("hello") << qint64(0) << QByteArray();
    }
    void frameText()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint64, timeUs);
        QFETCH(QByteArray, text);
        QCOMPARE(FormatFrame(DecodeLine(line), timeUs), text);
    }

    void errorTextKeepsFraming()
    {
        QCOMPARE(FormatError("unknown command"), QByteArray("< error unknown command >"));
        QCOMPARE(FormatError("a<b>c\n"), QByteArray("< error a b c  >"));
    }

    // Feeds `stream` in chunks of every size; the items must not depend on the cut.
    void commandStream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("items"); // "!" marks an error
        QTest::newRow("python-can's greeting, no line ends") << QByteArray("< open k3316 >< rawmode >")
                                                            << QStringList{"< open k3316 >", "< rawmode >"};
        QTest::newRow("netcat lines") << QByteArray("< open k3316 >\r\n< rawmode >\n") << QStringList{"< open k3316 >", "< rawmode >"};
        QTest::newRow("stray text reported once") << QByteArray("hello world\n< echo >") << QStringList{"!", "< echo >"};
        QTest::newRow("unclosed before next") << QByteArray("< send 1 < echo >") << QStringList{"!", "< echo >"};
        QTest::newRow("binary skipped to its end") << QByteArray("< send \x00\xff 1 >< echo >", 21) << QStringList{"!", "< echo >"};
        QTest::newRow("oversized skipped to its end") << "<" + QByteArray(2000, 'a') + "> < echo >" << QStringList{"!", "< echo >"};
        QTest::newRow("exactly the limit") << "<" + QByteArray(1022, 'a') + ">" << QStringList{"<" + QString(1022, 'a') + ">"};
        QTest::newRow("half command waits") << QByteArray("< echo >< send 12") << QStringList{"< echo >"};
    }
    void commandStream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, items);
        for (int chunk : {1, 3, 7, 4096}) {
            TCommandReader reader;
            QList<TReadItem> out;
            for (qsizetype i = 0; i < stream.size(); i += chunk)
                reader.Feed(QByteArrayView(stream).sliced(i, std::min<qsizetype>(chunk, stream.size() - i)), out);
            QStringList got;
            for (const TReadItem &item : out)
                got << (item.isError ? QStringLiteral("!") : QString::fromLatin1(item.text));
            QCOMPARE(got, items);
            QVERIFY(reader.Pending() <= TCommandReader::MaxCommand);
        }
    }

    void slowClient()
    {
        TClientBacklog b(100, 5000);
        QCOMPARE(b.Offer(0, 40, 0), TClientBacklog::TVerdict::Send);
        QCOMPARE(b.Offer(80, 40, 10), TClientBacklog::TVerdict::Drop); // 120 > 100
        // Once behind, nothing is sent until it is told, even if a frame would fit.
        QCOMPARE(b.Offer(60, 20, 20), TClientBacklog::TVerdict::Drop);
        QCOMPARE(b.TakeReport(60), QByteArray()); // not yet drained to half
        QCOMPARE(b.TakeReport(50), QByteArray("< error 2 frames missed: this client read slower than the bus sent >"));
        QCOMPARE(b.TakeReport(0), QByteArray()); // told once
        QCOMPARE(b.Offer(50, 40, 30), TClientBacklog::TVerdict::Send);
        QCOMPARE(b.MissedTotal(), 2u);
        // Behind again, and for the whole grace time: let go.
        QCOMPARE(b.Offer(100, 40, 1000), TClientBacklog::TVerdict::Drop);
        QVERIFY(!b.Overdue(5999));
        QVERIFY(b.Overdue(6000));
        QCOMPARE(b.Offer(100, 40, 6000), TClientBacklog::TVerdict::Disconnect);
    }

    void listenAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("warns");
        QTest::newRow("default form") << "127.0.0.1:29536" << true << "127.0.0.1" << 29536 << false;
        QTest::newRow("localhost") << "localhost:0" << true << "127.0.0.1" << 0 << false;
        QTest::newRow("IPv6 loopback") << "[::1]:5000" << true << "::1" << 5000 << false;
        QTest::newRow("all addresses warn") << "0.0.0.0:29536" << true << "0.0.0.0" << 29536 << true;
        QTest::newRow("LAN address warns") << "192.168.1.20:29536" << true << "192.168.1.20" << 29536 << true;
        QTest::newRow("no port") << "127.0.0.1" << false << "" << 0 << false;
        QTest::newRow("port too big") << "127.0.0.1:65536" << false << "" << 0 << false;
        QTest::newRow("name") << "example.org:1" << false << "" << 0 << false;
        QTest::newRow("IPv6 without brackets") << "::1:5000" << false << "" << 0 << false;
    }
    void listenAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(bool, warns);
        TListenAddress listen;
        QString error;
        QCOMPARE(ParseListenAddress(text, listen, error), ok);
        if (!ok) {
            QVERIFY(error.contains(text));
            return;
        }
        QCOMPARE(listen.address, QHostAddress(address));
        QCOMPARE(int(listen.port), port);
        const QString warning = ListenWarning(listen);
        QCOMPARE(!warning.isEmpty(), warns);
        if (warns)
            QVERIFY(warning.contains(QLatin1String("anyone who can reach")));
    }
};

QTEST_GUILESS_MAIN(TestSocketcand)
#include "tst_socketcand.moc"
