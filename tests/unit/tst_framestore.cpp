// Splitting the reads of the receive loop into module lines, and decoding each line.

#include "monitor/FrameDecoder.h"
#include "monitor/FrameStore.h"
#include "monitor/LineSplitter.h"

#include <QTest>

using Reads = QList<QByteArray>;

class TestFrameStore : public QObject {
    Q_OBJECT

private slots:
    void splitsReadsIntoLines_data()
    {
        QTest::addColumn<Reads>("reads");
        QTest::addColumn<Reads>("rows");  // each row's bytes, its end included
        QTest::addColumn<Reads>("texts"); // each row's text; empty list: the rows without their CR
        QTest::addColumn<QByteArray>("pending");

        QTest::newRow("one line, one read") << Reads{"t1230\r"} << Reads{"t1230\r"} << Reads{} << QByteArray();
        QTest::newRow("three lines in one read")
            << Reads{"t1230\rt4561AA\rT7FF2\r"} << Reads{"t1230\r", "t4561AA\r", "T7FF2\r"} << Reads{} << QByteArray();
        QTest::newRow("a line across three reads") << Reads{"t12", "32AA", "BB\r"} << Reads{"t1232AABB\r"} << Reads{}
                                                   << QByteArray();
        QTest::newRow("a read ending mid-line, completed by the next")
            << Reads{"t1230\rt45", "61AA\rt7"} << Reads{"t1230\r", "t4561AA\r"} << Reads{} << QByteArray("t7");
        QTest::newRow("CR only") << Reads{"\r"} << Reads{"\r"} << Reads{} << QByteArray();
        QTest::newRow("CRs one after another") << Reads{"\r\r", "\r"} << Reads{"\r", "\r", "\r"} << Reads{} << QByteArray();
        QTest::newRow("a read of nothing but the CR") << Reads{"t1230", "\r"} << Reads{"t1230\r"} << Reads{} << QByteArray();
        QTest::newRow("NUL and high bytes are kept") << Reads{QByteArray("\x00\xFF\r\x00", 4)}
                                                     << Reads{QByteArray("\x00\xFF\r", 3)} << Reads{}
                                                     << QByteArray("\x00", 1);
        QTest::newRow("LF inside a line is no line end") << Reads{"a\nb\r"} << Reads{"a\nb\r"} << Reads{} << QByteArray();
        QTest::newRow("nothing complete yet") << Reads{"t12", "3"} << Reads{} << Reads{} << QByteArray("t123");
        QTest::newRow("empty reads change nothing") << Reads{"", "x\r", ""} << Reads{"x\r"} << Reads{} << QByteArray();
        // A line feed beside the CR belongs to the line end.
        QTest::newRow("CR LF in one read") << Reads{"t4561AA\r\nt1230\r\n"} << Reads{"t4561AA\r\n", "t1230\r\n"}
                                           << Reads{"t4561AA", "t1230"} << QByteArray();
        QTest::newRow("CR LF with the LF in the next read")
            << Reads{"t1230\r", "\nt4561AA\r", "\n"} << Reads{"t1230\r", "\nt4561AA\r"} << Reads{"t1230", "t4561AA"}
            << QByteArray();
        QTest::newRow("LF CR") << Reads{"t1230\n\rt4561AA\n", "\r"} << Reads{"t1230\n\r", "t4561AA\n\r"}
                               << Reads{"t1230", "t4561AA"} << QByteArray();
        QTest::newRow("the stream begins after a line end") << Reads{"\nt1230\r"} << Reads{"\nt1230\r"}
                                                            << Reads{"t1230"} << QByteArray();
        QTest::newRow("only one LF belongs to the end") << Reads{"t1\r\n\nx\r"} << Reads{"t1\r\n", "\nx\r"}
                                                        << Reads{"t1", "\nx"} << QByteArray();
        QTest::newRow("CR LF, a line pending") << Reads{"t1230\r\nt45"} << Reads{"t1230\r\n"} << Reads{"t1230"}
                                               << QByteArray("t45");
    }
    void splitsReadsIntoLines()
    {
        QFETCH(Reads, reads);
        QFETCH(Reads, rows);
        QFETCH(Reads, texts);
        QFETCH(QByteArray, pending);
        TFrameStore store;
        TLineSplitter splitter; // the command-line tool's use: lines as they come
        Reads split;
        QByteArray everything;
        int64_t time = 1000;
        for (const QByteArray &read : reads) {
            store.Append(read, time);
            splitter.Feed(read, time++, [&](const TLine &line) { split << line.text.toByteArray(); });
            everything += read;
        }
        if (texts.isEmpty())
            for (const QByteArray &row : rows)
                texts << row.chopped(1);
        QCOMPARE(store.Count(), rows.size());
        QCOMPARE(split, texts);
        QByteArray joined;
        for (qsizetype i = 0; i < store.Count(); ++i) {
            QCOMPARE(store.Raw(i).toByteArray(), rows[i]);
            QCOMPARE(store.Text(i).toByteArray(), texts[i]);
            QCOMPARE(store.Row(i).text.toByteArray(), texts[i]);
            joined += store.Raw(i).toByteArray();
        }
        QCOMPARE(store.HasPending(), !pending.isEmpty());
        QCOMPARE(store.PendingText().toByteArray(), pending);
        QCOMPARE(splitter.PendingText().toByteArray(), pending);
        // nothing read is missing: the rows and the pending bytes are the bytes read
        QCOMPARE(joined + store.PendingRaw().toByteArray(), everything);
        QCOMPARE(store.AllBytes().toByteArray(), joined);
        QCOMPARE(store.TotalBytes(), uint64_t(everything.size()));
    }

    // A line's time is that of the read that completed it.
    void aLineTakesTheTimeOfTheReadThatCompletedIt()
    {
        TFrameStore store;
        store.Append("t1230\rt45", 100);
        store.Append("60\r", 250);
        QCOMPARE(store.Count(), 2);
        QCOMPARE(store.Record(0).timeUs, 100);
        QCOMPARE(store.Record(1).timeUs, 250);
    }

    // Times are kept to the microsecond around the first line's; a clock set years away is
    // held at the edge of what the record holds instead of wrapping.
    void keepsTimesToTheMicrosecond_data()
    {
        QTest::addColumn<qint64>("timeUs");
        QTest::addColumn<qint64>("kept");
        const qint64 base = 1765280000123456;
        const qint64 year = qint64(365) * 86400 * 1000000;
        QTest::newRow("the first line's") << base << base;
        QTest::newRow("one microsecond later") << base + 1 << base + 1;
        QTest::newRow("five seconds earlier") << base - 5000000 << base - 5000000;
        QTest::newRow("three years later") << base + 3 * year << base + 3 * year;
        QTest::newRow("eight years earlier") << base - 8 * year << base - 8 * year;
        QTest::newRow("twenty years later: held") << base + 20 * year << base + (qint64(1) << 48) - 1;
        QTest::newRow("twenty years earlier: held") << base - 20 * year << base - (qint64(1) << 48);
    }
    void keepsTimesToTheMicrosecond()
    {
        QFETCH(qint64, timeUs);
        QFETCH(qint64, kept);
        TFrameStore store;
        store.Append("t1230\r", 1765280000123456);
        store.Append(QByteArray(20, 'x') + "\r", timeUs);
        QCOMPARE(store.Record(0).timeUs, 1765280000123456);
        QCOMPARE(store.Record(1).timeUs, kept);
        QCOMPARE(store.Record(1).end, uint64_t(27)); // the other fields are untouched
        QCOMPARE(store.Record(0).id, 0x123u);
    }

    void endingThePendingLineKeepsItWithoutCr()
    {
        TFrameStore store;
        store.Append("t12", 5);
        store.EndPendingLine();
        store.EndPendingLine(); // nothing pending: no empty row
        store.Append("t1230\r", 6);
        QCOMPARE(store.Count(), 2);
        QCOMPARE(store.Raw(0).toByteArray(), QByteArray("t12"));
        QVERIFY(!store.Record(0).terminated);
        QCOMPARE(store.Text(0).toByteArray(), QByteArray("t12"));
        QCOMPARE(store.Record(1).kind, TFrameKind::StandardData);
        QCOMPARE(store.AllBytes().toByteArray(), QByteArray("t12t1230\r"));
        QCOMPARE(store.Record(1).end, uint64_t(9));
    }

    void clearDropsRowsButKeepsTheHalfLine()
    {
        TFrameStore store;
        store.Append("t1230\rt4", 1);
        store.Clear();
        QCOMPARE(store.Count(), 0);
        store.Append("560\r", 2);
        QCOMPARE(store.Count(), 1);
        QCOMPARE(store.Raw(0).toByteArray(), QByteArray("t4560\r"));
        QCOMPARE(store.Record(0).id, 0x456u);
        QCOMPARE(store.TotalLines(), uint64_t(2)); // running totals go on
    }

    void decodesLines_data()
    {
        QTest::addColumn<QByteArray>("line"); // without CR
        QTest::addColumn<QString>("kind");
        QTest::addColumn<uint>("id");
        QTest::addColumn<int>("dlc");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("checksum"); // none, right, wrong

        QTest::newRow("standard data") << QByteArray("t123211AB") << "t" << 0x123u << 2 << QByteArray("\x11\xAB") << "none";
        QTest::newRow("standard data, DLC 0") << QByteArray("t1230") << "t" << 0x123u << 0 << QByteArray() << "none";
        QTest::newRow("standard data, 8 bytes") << QByteArray("t7FF80102030405060708") << "t" << 0x7FFu << 8
                                                << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08") << "none";
        QTest::newRow("standard remote") << QByteArray("T1233") << "T" << 0x123u << 3 << QByteArray() << "none";
        QTest::newRow("extended data") << QByteArray("e1ABCDEF01FF") << "e" << 0x1ABCDEF0u << 1 << QByteArray("\xFF")
                                       << "none";
        QTest::newRow("extended remote") << QByteArray("E000000008") << "E" << 0u << 8 << QByteArray() << "none";
        // "t1230" sums to 0x13A; "T1233" to 0x11D
        QTest::newRow("checksum right") << QByteArray("t12303A") << "t" << 0x123u << 0 << QByteArray() << "right";
        QTest::newRow("checksum wrong") << QByteArray("t12303B") << "t" << 0x123u << 0 << QByteArray() << "wrong";
        QTest::newRow("checksum in lower case is wrong") << QByteArray("T12331d") << "T" << 0x123u << 3 << QByteArray()
                                                         << "wrong";
        QTest::newRow("remote with checksum") << QByteArray("T12331D") << "T" << 0x123u << 3 << QByteArray() << "right";
        QTest::newRow("reply !") << QByteArray("!P0") << "reply" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("reply ?") << QByteArray("?") << "reply" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("empty line") << QByteArray() << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("garbage") << QByteArray("hello") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("NUL inside") << QByteArray("t12\x00" "0", 5) << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("data cut short") << QByteArray("t1232AA") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("one byte too many") << QByteArray("t1231AABB1") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("DLC 9") << QByteArray("t1239") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("lower-case data") << QByteArray("t1231ab") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("identifier beyond 11 bits") << QByteArray("t8000") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("identifier beyond 29 bits") << QByteArray("e200000000") << "other" << 0u << 0 << QByteArray()
                                                   << "none";
        QTest::newRow("identifier too short") << QByteArray("t12") << "other" << 0u << 0 << QByteArray() << "none";
        QTest::newRow("checksum of non-hex digits") << QByteArray("t1230XY") << "other" << 0u << 0 << QByteArray()
                                                    << "none";
    }
    void decodesLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, kind);
        QFETCH(uint, id);
        QFETCH(int, dlc);
        QFETCH(QByteArray, data);
        QFETCH(QString, checksum);
        const TDecodedLine d = DecodeLine(line);
        QCOMPARE(QString::fromLatin1(FrameKindName(d.kind)), kind);
        QCOMPARE(d.id, id);
        QCOMPARE(int(d.dlc), dlc);
        if (!IsRemote(d.kind))
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(d.data), d.dlc), data);
        const char *const names[] = {"none", "right", "wrong"};
        QCOMPARE(QString::fromLatin1(names[int(d.checksum)]), checksum);

        // The store decodes every line it completes the same way.
        TFrameStore store;
        store.Append(line + '\r', 0);
        QCOMPARE(store.Record(0).kind, d.kind);
        QCOMPARE(store.Record(0).id, d.id);
        QCOMPARE(store.Record(0).checksum, d.checksum);
        QCOMPARE(store.Record(0).dlc, d.dlc);
    }
};

QTEST_GUILESS_MAIN(TestFrameStore)
#include "tst_framestore.moc"
