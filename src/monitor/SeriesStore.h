#pragma once
// The points of one plotted signal since plotting began: times and values in two plain arrays
// (16 bytes a point) plus the lowest and highest value of every block of 64 points, so the
// extremes of any stretch are found without reading all of it. Times never go back.

#include <QtGlobal>

#include <vector>

class TSeriesStore {
public:
    static constexpr int BlockSize = 64;

    // `time` in seconds. A time before the last one is taken as the last one (a clock step back
    // must not unsort the series); a value that is not finite is left out and false returned.
    bool Append(double time, double value);
    void Clear();

    qsizetype Count() const { return qsizetype(m_time.size()); }
    double Time(qsizetype i) const { return m_time[size_t(i)]; }
    double Value(qsizetype i) const { return m_value[size_t(i)]; }
    // The first point at or after `time` (Count() when none).
    qsizetype LowerBound(double time) const;
    // The point nearest in time to `time`; -1 when there is none.
    qsizetype Nearest(double time) const;
    // Lowest and highest value among the points [first, end); false when the stretch is empty.
    bool Extremes(qsizetype first, qsizetype end, double &low, double &high) const;
    size_t MemoryBytes() const;

private:
    std::vector<double> m_time;
    std::vector<double> m_value;
    std::vector<double> m_blockLow;  // per complete or growing block
    std::vector<double> m_blockHigh;
};

struct TPlotPoint {
    double time = 0;
    double value = 0;
    bool operator==(const TPlotPoint &) const = default;
};

// What a chart `columns` pixels wide needs to draw the series between `from` and `to`: every
// point where there are few, else each column's lowest and highest value (at the column's
// middle, in the order that joins its neighbours best). The nearest point outside each edge is
// added so the line runs to the border.
std::vector<TPlotPoint> Decimate(const TSeriesStore &series, double from, double to, int columns);
