// The frame monitor's filter: identifier lists and ranges, kinds and text.

#include "monitor/FrameFilter.h"

#include <QTest>

using Ranges = std::vector<TIdRange>;
using Rows = QList<int>;
Q_DECLARE_METATYPE(Ranges)

namespace {

// Rows 0..6 of every filter row below.
const QByteArray streamOfLines = "t1000\r"          // 0: standard 100
                                 "t1FF1AB\r"        // 1: standard 1FF
                                 "t2000\r"          // 2: standard 200
                                 "T7E80\r"          // 3: standard remote 7E8
                                 "e000007E82CAFE\r" // 4: extended 7E8
                                 "!P0\r"            // 5: reply
                                 "junk\r";          // 6: other

constexpr uint32_t bit(TFrameKind k)
{
    return 1u << unsigned(k);
}

} // namespace

class TestFrameFilter : public QObject {
    Q_OBJECT

private slots:
    void parsesIdentifierLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<Ranges>("ranges");

        QTest::newRow("empty: every identifier") << "" << true << Ranges{};
        QTest::newRow("blanks only") << "  , " << true << Ranges{};
        QTest::newRow("one") << "7E8" << true << Ranges{{0x7E8, 0x7E8}};
        QTest::newRow("lower case") << "7e8" << true << Ranges{{0x7E8, 0x7E8}};
        QTest::newRow("range and one") << "100-1FF, 7E8" << true << Ranges{{0x100, 0x1FF}, {0x7E8, 0x7E8}};
        QTest::newRow("blanks around the dash") << "100 - 1FF" << true << Ranges{{0x100, 0x1FF}};
        QTest::newRow("blank separated") << "1 2" << true << Ranges{{1, 1}, {2, 2}};
        QTest::newRow("29-bit") << "18DAF110" << true << Ranges{{0x18DAF110, 0x18DAF110}};
        QTest::newRow("range backwards") << "1FF-100" << false << Ranges{};
        QTest::newRow("not hex") << "100, xyz" << false << Ranges{};
        QTest::newRow("nine digits") << "123456789" << false << Ranges{};
        QTest::newRow("open range") << "100-" << false << Ranges{};
        QTest::newRow("two dashes") << "1-2-3" << false << Ranges{};
        QTest::newRow("sign") << "+100" << false << Ranges{};
    }
    void parsesIdentifierLists()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(Ranges, ranges);
        Ranges parsed{{9, 9}};
        QString error;
        QCOMPARE(ParseIdRanges(text, parsed, &error), ok);
        if (ok) {
            QVERIFY(parsed == ranges);
            QVERIFY(error.isEmpty());
        } else {
            QVERIFY(parsed == (Ranges{{9, 9}})); // a bad list changes nothing
            QVERIFY2(error.contains(QLatin1String("is not an identifier")), qPrintable(error));
        }
    }

    void selectsRows_data()
    {
        QTest::addColumn<QString>("ids");
        QTest::addColumn<uint>("kinds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Rows>("rows");

        QTest::newRow("nothing set: all") << "" << TFrameFilter::AllKinds << "" << Rows{0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("range, ends included") << "100-1FF" << TFrameFilter::AllKinds << "" << Rows{0, 1};
        QTest::newRow("one identifier, standard and extended") << "7E8" << TFrameFilter::AllKinds << "" << Rows{3, 4};
        QTest::newRow("list") << "100-1FF, 7E8" << TFrameFilter::AllKinds << "" << Rows{0, 1, 3, 4};
        QTest::newRow("kind t") << "" << bit(TFrameKind::StandardData) << "" << Rows{0, 1, 2};
        QTest::newRow("kind replies") << "" << bit(TFrameKind::Reply) << "" << Rows{5};
        QTest::newRow("kind other") << "" << bit(TFrameKind::Other) << "" << Rows{6};
        QTest::newRow("identifier and kind") << "7E8" << bit(TFrameKind::ExtendedData) << "" << Rows{4};
        QTest::newRow("text, any case") << "" << TFrameFilter::AllKinds << "cafe" << Rows{4};
        QTest::newRow("text with identifier") << "100-7FF" << TFrameFilter::AllKinds << "AB" << Rows{1};
        QTest::newRow("text found nowhere") << "" << TFrameFilter::AllKinds << "zz" << Rows{};
        QTest::newRow("no kind") << "" << 0u << "" << Rows{};
    }
    void selectsRows()
    {
        QFETCH(QString, ids);
        QFETCH(uint, kinds);
        QFETCH(QString, text);
        QFETCH(Rows, rows);
        TFrameStore store;
        store.Append(streamOfLines, 0);
        QCOMPARE(store.Count(), 7);
        TFrameFilter filter;
        QVERIFY(filter.SetIdentifiers(ids, nullptr));
        filter.SetKinds(kinds);
        filter.SetText(text);
        std::vector<uint64_t> passed;
        filter.Collect(store, 0, store.Count(), passed);
        Rows got;
        for (uint64_t r : passed) {
            got << int(r);
            QVERIFY(filter.Matches(store, qsizetype(r)));
        }
        QCOMPARE(got, rows);
        QCOMPARE(filter.PassesAll(), rows.size() == 7 && ids.isEmpty() && text.isEmpty());
        // Collect from a later row judges only those.
        passed.clear();
        filter.Collect(store, 4, store.Count(), passed);
        QCOMPARE(qsizetype(passed.size()), std::count_if(rows.begin(), rows.end(), [](int r) { return r >= 4; }));
    }

    // Identifiers whose message or signal names match the text pass its part too (the names come
    // from a database the window holds); the other parts still apply.
    void namedIdentifiersPassTheText_data()
    {
        QTest::addColumn<QString>("ids");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qulonglong>>("named");
        QTest::addColumn<Rows>("rows");
        const qulonglong extended = qulonglong(1) << 32;
        QTest::newRow("standard 200 named") << "" << "speed" << QList<qulonglong>{0x200} << Rows{2};
        QTest::newRow("named or in the line") << "" << "ab" << QList<qulonglong>{0x100} << Rows{0, 1};
        QTest::newRow("extended only, not the remote standard") << "" << "door" << QList<qulonglong>{extended | 0x7E8}
                                                                << Rows{4};
        QTest::newRow("standard 7E8 names the remote") << "" << "door" << QList<qulonglong>{0x7E8} << Rows{3};
        QTest::newRow("the identifier part still applies") << "100-1FF" << "speed" << QList<qulonglong>{0x200} << Rows{};
        QTest::newRow("no text: names do not narrow") << "" << "" << QList<qulonglong>{0x200} << Rows{0, 1, 2, 3, 4, 5, 6};
    }
    void namedIdentifiersPassTheText()
    {
        QFETCH(QString, ids);
        QFETCH(QString, text);
        QFETCH(QList<qulonglong>, named);
        QFETCH(Rows, rows);
        TFrameStore store;
        store.Append(streamOfLines, 0);
        TFrameFilter filter;
        QVERIFY(filter.SetIdentifiers(ids, nullptr));
        filter.SetText(text);
        filter.SetNamedIdentifiers(std::vector<uint64_t>(named.begin(), named.end()));
        std::vector<uint64_t> passed; // numbers: the rows, nothing dropped yet
        filter.Collect(store, 0, store.Count(), passed);
        QCOMPARE(Rows(passed.begin(), passed.end()), rows);
    }
};

QTEST_GUILESS_MAIN(TestFrameFilter)
#include "tst_framefilter.moc"
