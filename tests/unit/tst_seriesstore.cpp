// The plot's point store and what a chart of a given width gets from it: the extremes of every
// pixel column, compared with a plain count over all the points.

#include "monitor/SeriesStore.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <random>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

// The same store filled with `values` at times 0, step, 2*step, ...
TSeriesStore filled(const std::vector<double> &values, double step)
{
    TSeriesStore s;
    for (size_t i = 0; i < values.size(); ++i)
        s.Append(double(i) * step, values[i]);
    return s;
}

std::vector<double> randomWalk(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> step(-1.0, 1.0);
    std::vector<double> v;
    double x = 0;
    for (int i = 0; i < count; ++i)
        v.push_back(x += step(random));
    return v;
}

} // namespace

class TestSeriesStore : public QObject {
    Q_OBJECT

private slots:
    void extremesOfAnyStretchMatchAPlainSearch_data()
    {
        QTest::addColumn<qsizetype>("first");
        QTest::addColumn<qsizetype>("end");
        QTest::newRow("inside one block") << qsizetype(3) << qsizetype(9);
        QTest::newRow("one whole block") << qsizetype(64) << qsizetype(128);
        QTest::newRow("across blocks, ragged ends") << qsizetype(5) << qsizetype(1000);
        QTest::newRow("the growing last block") << qsizetype(4090) << qsizetype(5000);
        QTest::newRow("everything") << qsizetype(0) << qsizetype(5000);
        QTest::newRow("end past the points") << qsizetype(4999) << qsizetype(9999);
    }
    void extremesOfAnyStretchMatchAPlainSearch()
    {
        QFETCH(qsizetype, first);
        QFETCH(qsizetype, end);
        const std::vector<double> values = randomWalk(5000, 1);
        const TSeriesStore s = filled(values, 0.001);
        double low = 0;
        double high = 0;
        QVERIFY(s.Extremes(first, end, low, high));
        const auto b = values.begin() + first;
        const auto e = values.begin() + std::min<qsizetype>(end, 5000);
        QCOMPARE(low, *std::min_element(b, e));
        QCOMPARE(high, *std::max_element(b, e));
        QVERIFY(!s.Extremes(10, 10, low, high));
    }

    void findsPointsByTime()
    {
        const TSeriesStore s = filled({1, 2, 3, 4}, 1.0); // times 0 1 2 3
        QCOMPARE(s.LowerBound(1.5), qsizetype(2));
        QCOMPARE(s.LowerBound(-1), qsizetype(0));
        QCOMPARE(s.LowerBound(9), qsizetype(4));
        QCOMPARE(s.Nearest(1.4), qsizetype(1));
        QCOMPARE(s.Nearest(1.6), qsizetype(2));
        QCOMPARE(s.Nearest(-5), qsizetype(0));
        QCOMPARE(s.Nearest(50), qsizetype(3));
        QCOMPARE(TSeriesStore().Nearest(0), qsizetype(-1));
    }

    void refusesValuesThatAreNotNumbersAndKeepsTimeInOrder()
    {
        TSeriesStore s;
        QVERIFY(s.Append(1.0, 5));
        QVERIFY(!s.Append(2.0, std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!s.Append(2.0, std::numeric_limits<double>::infinity()));
        QVERIFY(s.Append(0.5, 6)); // the clock stepped back
        QCOMPARE(s.Count(), qsizetype(2));
        QCOMPARE(s.Time(1), 1.0);
        QCOMPARE(s.Value(1), 6.0);
        s.Clear();
        QCOMPARE(s.Count(), qsizetype(0));
    }

    void aMillionPointsTakeSixteenMegabytes()
    {
        TSeriesStore s;
        for (int i = 0; i < 1000000; ++i)
            s.Append(i * 0.001, i % 7);
        QCOMPARE(s.Count(), qsizetype(1000000));
        QVERIFY2(s.MemoryBytes() <= 1000000 * 16 * 1.6, qPrintable(QString::number(s.MemoryBytes())));
    }

    // Few points in sight: each as it is, plus the neighbours outside the edges.
    void fewPointsPassUnchanged()
    {
        const TSeriesStore s = filled({10, 20, 30, 40, 50, 60}, 1.0);
        const std::vector<TPlotPoint> got = Decimate(s, 1.5, 4.0, 100);
        const std::vector<TPlotPoint> want = {{1, 20}, {2, 30}, {3, 40}, {4, 50}, {5, 60}};
        QCOMPARE(got, want);
        QVERIFY(Decimate(s, 2, 2, 100).empty());
        QVERIFY(Decimate(TSeriesStore(), 0, 1, 100).empty());
    }

    // Many points: each column's lowest and highest value, as a plain pass over the points finds them.
    void manyPointsGiveEachColumnsExtremes_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<int>("columns");
        QTest::newRow("whole history, 800 columns") << 0.0 << 100.0 << 800;
        QTest::newRow("a zoomed stretch") << 12.3456 << 19.87 << 333;
        QTest::newRow("range beyond the last point") << 90.0 << 120.0 << 100;
        QTest::newRow("one column") << 0.0 << 100.0 << 1;
    }
    void manyPointsGiveEachColumnsExtremes()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, columns);
        const std::vector<double> values = randomWalk(100000, 2);
        const TSeriesStore s = filled(values, 0.001); // 100 s at 1,000 points a second
        const std::vector<TPlotPoint> got = Decimate(s, from, to, columns);
        QVERIFY(got.size() <= size_t(columns) * 2 + 2);
        const double width = (to - from) / columns;
        std::vector<double> low(size_t(columns), HUGE_VAL);
        std::vector<double> high(size_t(columns), -HUGE_VAL);
        for (size_t i = 0; i < values.size(); ++i) {
            const double t = double(i) * 0.001;
            if (t < from || t > to)
                continue;
            const auto c = std::min(size_t((t - from) / width), size_t(columns - 1));
            low[c] = std::min(low[c], values[i]);
            high[c] = std::max(high[c], values[i]);
        }
        std::vector<double> gotLow(size_t(columns), HUGE_VAL);
        std::vector<double> gotHigh(size_t(columns), -HUGE_VAL);
        for (const TPlotPoint &p : got) {
            if (p.time < from || p.time > to)
                continue; // the neighbours outside the edges
            const auto c = std::min(size_t((p.time - from) / width), size_t(columns - 1));
            gotLow[c] = std::min(gotLow[c], p.value);
            gotHigh[c] = std::max(gotHigh[c], p.value);
        }
        int differing = 0;
        for (size_t c = 0; c < size_t(columns); ++c)
            differing += gotLow[c] != low[c] || gotHigh[c] != high[c];
        // A column boundary computed two ways may put a point on either side; no more than that.
        QVERIFY2(differing <= columns / 100 + 1, qPrintable(QString::number(differing)));
        if (from > 0)
            QCOMPARE(got.front().time, std::floor(from * 1000 - 1e-9) / 1000);
    }
};

QTEST_GUILESS_MAIN(TestSeriesStore)
#include "tst_seriesstore.moc"
