#pragma once
// The signals a plot shows and every value they took: it reads the frames the store gained since
// it last looked, decodes only the messages plotted and keeps each signal's points in a compact
// store. A signal added late is filled from the frames the store still holds, a stretch at a
// time, so a long history never holds the window up. No widgets.

#include "dbc/DbcDatabase.h"
#include "monitor/FrameStore.h"
#include "monitor/SeriesStore.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct TRecordedSignal {
    QString Message;
    QString Signal;
    QString Unit;
    uint32_t Id = 0;
    bool Extended = false;
    TSeriesStore Points; // seconds since the recorder's origin
};

class TSignalRecorder {
public:
    TSignalRecorder(const TFrameStore *store, const TDbcDatabase *database);

    // Adds a signal of `message`; its values in the frames the store holds are read by the next
    // calls of Consume. False when it is plotted already.
    bool Add(const TDbcMessage &message, const TDbcSignal &signal);
    void Remove(int index);
    // Forgets every point, keeps the signals; the next point starts the time again.
    void ClearPoints();
    // The database changed: signals are found again by message and signal name. One no longer
    // there keeps its points and gains no more.
    void Resolve();
    // Reads the frames the store gained, and up to `fillRows` older rows for each signal added
    // late (all of them when negative); true when a point was added.
    bool Consume(qsizetype fillRows = -1);
    // True while a signal added late has older rows still to read.
    bool Filling() const;

    int Count() const { return int(m_signals.size()); }
    const TRecordedSignal &Signal(int index) const { return *m_signals[size_t(index)]; }
    // Microseconds since the epoch at time 0 of the points; 0 until the first point.
    int64_t OriginUs() const { return m_originUs; }
    // The latest time of any point, in seconds since the origin; 0 with none.
    double LatestTime() const;

private:
    struct Source {
        const TDbcMessage *message = nullptr;
        const TDbcSignal *signal = nullptr;
    };
    void Index();
    // Appends the values of the store row to the signals in `which` (indexes of m_signals).
    bool Take(qsizetype row, const std::vector<int> &which);

    const TFrameStore *m_store;
    const TDbcDatabase *m_database;
    std::vector<std::unique_ptr<TRecordedSignal>> m_signals;
    std::vector<Source> m_sources;                 // parallel to m_signals; null when gone
    std::vector<uint64_t> m_next;                  // parallel: the next line each signal reads
    QHash<uint64_t, std::vector<int>> m_byId;      // identifier key -> signals read up to date
    uint64_t m_readLines = 0;                      // the store's lines read, counted since it was made
    int64_t m_originUs = 0;
    bool m_hasOrigin = false;
};
