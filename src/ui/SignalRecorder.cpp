#include "ui/SignalRecorder.h"

#include "dbc/SignalCodec.h"
#include "ui/SignalText.h"

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
    Consume(); // the others are up to date before the new one is filled
    auto added = std::make_unique<TRecordedSignal>();
    added->Message = message.Name;
    added->Signal = signal.Name;
    added->Unit = signal.Unit;
    added->Id = message.Id;
    added->Extended = message.Extended;
    m_signals.push_back(std::move(added));
    m_sources.push_back({&message, &signal});
    Index();
    const std::vector<int> which = {Count() - 1};
    const uint64_t key = IdKey(message.Id, message.Extended);
    for (qsizetype row = 0; row < m_store->Count(); ++row) {
        const TFrameRecord r = m_store->Record(row);
        if (IsCanFrame(r.kind) && IdKey(r.id, IsExtended(r.kind)) == key)
            Take(row, which);
    }
    return true;
}

void TSignalRecorder::Remove(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_signals.erase(m_signals.begin() + index);
    m_sources.erase(m_sources.begin() + index);
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
        if (const TDbcMessage *m = m_sources[i].message)
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

bool TSignalRecorder::Consume()
{
    // Lines are counted since the store was made, so a store that was cleared (or dropped its
    // oldest rows) meanwhile is read from where its rows now begin.
    const uint64_t total = m_store->TotalLines();
    const uint64_t firstHeld = total - uint64_t(m_store->Count());
    qsizetype row = m_readLines > firstHeld ? qsizetype(m_readLines - firstHeld) : 0;
    m_readLines = total;
    if (m_byId.isEmpty())
        return false;
    bool added = false;
    for (; row < m_store->Count(); ++row) {
        const TFrameRecord r = m_store->Record(row);
        if (!IsCanFrame(r.kind))
            continue;
        const auto it = m_byId.constFind(IdKey(r.id, IsExtended(r.kind)));
        if (it != m_byId.constEnd())
            added |= Take(row, *it);
    }
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
