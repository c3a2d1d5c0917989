#include "monitor/SeriesStore.h"

#include <algorithm>
#include <cmath>

bool TSeriesStore::Append(double time, double value)
{
    if (!std::isfinite(value) || !std::isfinite(time))
        return false;
    if (!m_time.empty() && time < m_time.back())
        time = m_time.back();
    if (m_time.size() == m_time.capacity()) {
        // Doubling, but never by less than a block's worth: a million points are copied ~20 times
        // in all, not a million.
        const size_t more = std::max<size_t>(m_time.size(), 1024);
        m_time.reserve(m_time.size() + more);
        m_value.reserve(m_value.size() + more);
    }
    if (m_time.size() % BlockSize == 0) {
        m_blockLow.push_back(value);
        m_blockHigh.push_back(value);
    } else {
        m_blockLow.back() = std::min(m_blockLow.back(), value);
        m_blockHigh.back() = std::max(m_blockHigh.back(), value);
    }
    m_time.push_back(time);
    m_value.push_back(value);
    return true;
}

void TSeriesStore::Clear()
{
    for (std::vector<double> *v : {&m_time, &m_value, &m_blockLow, &m_blockHigh}) {
        v->clear();
        v->shrink_to_fit();
    }
}

qsizetype TSeriesStore::LowerBound(double time) const
{
    return qsizetype(std::lower_bound(m_time.begin(), m_time.end(), time) - m_time.begin());
}

qsizetype TSeriesStore::Nearest(double time) const
{
    if (m_time.empty())
        return -1;
    const qsizetype at = LowerBound(time);
    if (at == Count())
        return at - 1;
    if (at == 0)
        return 0;
    return time - m_time[size_t(at - 1)] <= m_time[size_t(at)] - time ? at - 1 : at;
}

bool TSeriesStore::Extremes(qsizetype first, qsizetype end, double &low, double &high) const
{
    first = std::max<qsizetype>(first, 0);
    end = std::min(end, Count());
    if (first >= end)
        return false;
    low = high = m_value[size_t(first)];
    auto take = [&](double lo, double hi) {
        low = std::min(low, lo);
        high = std::max(high, hi);
    };
    qsizetype i = first;
    while (i < end && i % BlockSize != 0)
        take(m_value[size_t(i)], m_value[size_t(i)]), ++i;
    for (; i + BlockSize <= end; i += BlockSize)
        take(m_blockLow[size_t(i / BlockSize)], m_blockHigh[size_t(i / BlockSize)]);
    for (; i < end; ++i)
        take(m_value[size_t(i)], m_value[size_t(i)]);
    return true;
}

size_t TSeriesStore::MemoryBytes() const
{
    return (m_time.capacity() + m_value.capacity() + m_blockLow.capacity() + m_blockHigh.capacity()) * sizeof(double);
}

std::vector<TPlotPoint> Decimate(const TSeriesStore &series, double from, double to, int columns)
{
    std::vector<TPlotPoint> out;
    if (series.Count() == 0 || !(to > from) || columns < 1)
        return out;
    const qsizetype first = series.LowerBound(from);
    const double past = std::nextafter(to, HUGE_VAL); // a point exactly at `to` counts
    const qsizetype end = series.LowerBound(past);
    const qsizetype before = first > 0 ? first - 1 : -1;
    const qsizetype after = end < series.Count() ? end : -1;
    auto point = [&](qsizetype i) { return TPlotPoint{series.Time(i), series.Value(i)}; };
    if (before >= 0)
        out.push_back(point(before));
    if (end - first <= 2 * qsizetype(columns)) {
        for (qsizetype i = first; i < end; ++i)
            out.push_back(point(i));
    } else {
        out.reserve(size_t(columns) * 2 + 2);
        const double width = (to - from) / columns;
        qsizetype begin = first;
        for (int c = 0; c < columns && begin < end; ++c) {
            const double columnEnd = c + 1 == columns ? past : from + width * (c + 1);
            const qsizetype stop = std::min(series.LowerBound(columnEnd), end);
            double low = 0;
            double high = 0;
            if (series.Extremes(begin, stop, low, high)) {
                const double middle = from + width * (c + 0.5);
                if (low == high) {
                    out.push_back({middle, low});
                } else {
                    // Start at the end nearer the line so far: no needless stroke across the column.
                    const bool lowFirst = out.empty() || std::abs(out.back().value - low) <= std::abs(out.back().value - high);
                    out.push_back({middle, lowFirst ? low : high});
                    out.push_back({middle, lowFirst ? high : low});
                }
            }
            begin = std::max(begin, stop);
        }
    }
    if (after >= 0)
        out.push_back(point(after));
    return out;
}
