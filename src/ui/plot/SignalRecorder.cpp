#include "ui/plot/SignalRecorder.h"

#include "dbc/SignalCodec.h"
#include "ui/signals/SignalText.h"

#include <algorithm>

TSignalRecorder::TSignalRecorder(const TFrameStore *store, const TDbcDatabase *database)
    : m_store(store), m_database(database), m_readLines(store->TotalLines())
{
}

bool TSignalRecorder::Add(const TDbcMessage &message, const TDbcSignal &signal)
{
    for (const auto &s : m_signals)
        if (s->Message == message.Name && s->Signal == signal.Name)
            return false;
    auto added = std::make_unique<TRecordedSignal>();
    added->Message = message.Name;
    added->Signal = signal.Name;
    added->Unit = signal.Unit;
    added->Id = message.Id;
    added->Extended = message.Extended;
    m_signals.push_back(std::move(added));
    m_sources.push_back({&message, &signal});
    // From the oldest line the store holds; it joins the others once it has caught up.
    m_next.push_back(m_store->TotalLines() - uint64_t(m_store->Count()));
    Index();
    return true;
}

bool TSignalRecorder::Filling() const
{
    return std::any_of(m_next.begin(), m_next.end(), [this](uint64_t next) { return next < m_readLines; });
}

void TSignalRecorder::Remove(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_signals.erase(m_signals.begin() + index);
    m_sources.erase(m_sources.begin() + index);
    m_next.erase(m_next.begin() + index);
    Index();
}

void TSignalRecorder::ClearPoints()
{
    for (auto &s : m_signals)
        s->Points.Clear();
    m_hasOrigin = false;
    m_originUs = 0;
}

void TSignalRecorder::Resolve()
{
    for (size_t i = 0; i < m_signals.size(); ++i) {
        const TRecordedSignal &s = *m_signals[i];
        m_sources[i] = {};
        const TDbcMessage *m = m_database->FindByName(s.Message);
        if (!m)
            continue;
        for (const TDbcSignal &candidate : m->Signals)
            if (candidate.Name == s.Signal)
                m_sources[i] = {m, &candidate};
    }
    Index();
}

void TSignalRecorder::Index()
{
    m_byId.clear();
    for (size_t i = 0; i < m_sources.size(); ++i)
        if (const TDbcMessage *m = m_sources[i].message; m && m_next[i] >= m_readLines)
            m_byId[IdKey(m->Id, m->Extended)].push_back(int(i));
}

bool TSignalRecorder::Take(qsizetype row, const std::vector<int> &which)
{
    const TFrameRow frame = m_store->Row(row);
    if (IsRemote(frame.decoded.kind))
        return false;
    const TDbcMessage *message = m_sources[size_t(which.front())].message;
    bool added = false;
    const QVector<TDecodedSignal> decoded = DecodeSignals(*message, frame.decoded.data, frame.decoded.dlc);
    for (int i : which) {
        const TDbcSignal *wanted = m_sources[size_t(i)].signal;
        for (const TDecodedSignal &d : decoded) {
            if (d.Signal != wanted || !d.Present)
                continue;
            if (!m_hasOrigin) {
                m_originUs = frame.timeUs;
                m_hasOrigin = true;
            }
            added |= m_signals[size_t(i)]->Points.Append(double(frame.timeUs - m_originUs) / 1e6, d.Value);
        }
    }
    return added;
}

bool TSignalRecorder::Consume(qsizetype fillRows)
{
    // Lines are counted since the store was made, so a store that was cleared (or dropped its
    // oldest rows) meanwhile is read from where its rows now begin.
    const uint64_t total = m_store->TotalLines();
    const uint64_t firstHeld = total - uint64_t(m_store->Count());
    auto rowOf = [firstHeld](uint64_t line) { return line > firstHeld ? qsizetype(line - firstHeld) : 0; };
    bool added = false;

    // Signals added late: a stretch of their history each, up to where the others have read.
    bool caughtUp = false;
    for (size_t i = 0; i < m_signals.size(); ++i) {
        if (m_next[i] >= m_readLines)
            continue;
        const TDbcMessage *message = m_sources[i].message;
        const qsizetype end = rowOf(m_readLines);
        qsizetype row = rowOf(m_next[i]);
        const qsizetype stop = fillRows < 0 ? end : std::min(end, row + fillRows);
        const uint64_t key = message ? IdKey(message->Id, message->Extended) : 0;
        const std::vector<int> one = {int(i)};
        for (; message && row < stop; ++row) {
            const TFrameRecord r = m_store->Record(row);
            if (IsCanFrame(r.kind) && IdKey(r.id, IsExtended(r.kind)) == key)
                added |= Take(row, one);
        }
        m_next[i] = message ? firstHeld + uint64_t(stop) : m_readLines;
        caughtUp |= m_next[i] >= m_readLines;
    }
    if (caughtUp)
        Index();

    // The new lines, for the signals read up to date.
    qsizetype row = rowOf(m_readLines);
    for (; !m_byId.isEmpty() && row < m_store->Count(); ++row) {
        const TFrameRecord r = m_store->Record(row);
        if (!IsCanFrame(r.kind))
            continue;
        const auto it = m_byId.constFind(IdKey(r.id, IsExtended(r.kind)));
        if (it != m_byId.constEnd())
            added |= Take(row, *it);
    }
    for (size_t i = 0; i < m_next.size(); ++i)
        if (m_next[i] >= m_readLines)
            m_next[i] = total;
    m_readLines = total;
    return added;
}

double TSignalRecorder::LatestTime() const
{
    double latest = 0;
    for (const auto &s : m_signals)
        if (s->Points.Count() > 0)
            latest = std::max(latest, s->Points.Time(s->Points.Count() - 1));
    return latest;
}
