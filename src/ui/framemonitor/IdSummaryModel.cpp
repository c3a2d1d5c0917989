#include "ui/framemonitor/IdSummaryModel.h"

#include "dbc/DbcDatabase.h"
#include "monitor/FrameText.h"
#include "ui/signals/SignalText.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace {

const char *const columnNames[] = {"Kind", "ID", "Count", "DLC", "Last data", "Mean period (s)", "Last time",
                                   "Message", "Last signals"};
constexpr uint64_t extendedBit = uint64_t(1) << 32;

} // namespace

TIdSummaryModel::TIdSummaryModel(const TFrameStore *store, TFrameTableModel *frames, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), m_frames(frames)
{
    connect(frames, &TFrameTableModel::Reset, this, &TIdSummaryModel::Rebuild);
    connect(frames, &TFrameTableModel::RowsShown, this, [this] { Consume(); });
    // The history's oldest rows went: counted again over what is kept.
    connect(frames, &TFrameTableModel::RowsDropped, this, [this] {
        if (m_active)
            Rebuild();
    });
    // Counting starts when the view is first shown: no work for a view nobody looks at.
}

int TIdSummaryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TIdSummaryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount + (m_database ? 2 : 0);
}

QVariant TIdSummaryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return QString::fromLatin1(columnNames[section]);
    return {};
}

double TIdSummaryModel::MeanPeriod(const Entry &e)
{
    return e.count < 2 ? 0.0 : double(e.lastUs - e.firstUs) / 1e6 / double(e.count - 1);
}

QVariant TIdSummaryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    const Entry &e = m_entries[size_t(index.row())];
    const bool extended = e.key & extendedBit;
    const auto id = uint32_t(e.key);
    switch (index.column()) {
    case ColKind:
        return extended ? QStringLiteral("extended") : QStringLiteral("standard");
    case ColId: {
        TDecodedLine d;
        d.kind = extended ? TFrameKind::ExtendedData : TFrameKind::StandardData;
        d.id = id;
        return QString::fromLatin1(IdText(d));
    }
    case ColCount:
        return QString::number(e.count);
    case ColDlc:
    case ColData: {
        const qsizetype last = LastStoreRow(e);
        if (last < 0)
            return {};
        const TFrameRow row = m_store->Row(last);
        if (index.column() == ColDlc)
            return QString::number(row.decoded.dlc);
        if (IsRemote(row.decoded.kind))
            return QStringLiteral("remote");
        return QString::fromLatin1(DataText(row.decoded));
    }
    case ColPeriod:
        return e.count < 2 ? QString() : QString::number(MeanPeriod(e), 'f', 6);
    case ColLast:
        return QString::fromLatin1(ClockText(e.lastUs));
    case ColMessage:
    case ColSignals: {
        const TDbcMessage *m = m_database ? m_database->Find(id, extended) : nullptr;
        if (!m)
            return QString();
        if (index.column() == ColMessage)
            return m->Name;
        // Decoded when shown: nothing decoded is kept per frame.
        const qsizetype last = LastStoreRow(e);
        if (last < 0)
            return QString();
        const TFrameRow row = m_store->Row(last);
        if (IsRemote(row.decoded.kind))
            return QString();
        return SignalsLine(DecodeSignals(*m, row.decoded.data, row.decoded.dlc));
    }
    default:
        return {};
    }
}

qsizetype TIdSummaryModel::LastStoreRow(const Entry &e) const
{
    const uint64_t first = m_store->FirstNumber();
    if (e.lastNumber < first || e.lastNumber - first >= uint64_t(m_store->Count()))
        return -1;
    return qsizetype(e.lastNumber - first);
}

uint64_t TIdSummaryModel::KeyOf(const TFrameRecord &r)
{
    return (IsExtended(r.kind) ? extendedBit : 0) | r.id;
}

void TIdSummaryModel::SetActive(bool active)
{
    m_active = active;
    Rebuild();
}

void TIdSummaryModel::SetDatabase(const TDbcDatabase *database)
{
    beginResetModel();
    m_database = database && !database->IsEmpty() ? database : nullptr;
    endResetModel();
}

void TIdSummaryModel::Rebuild()
{
    beginResetModel();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_consumed = 0;
    if (m_active)
        Take(m_entries, m_consumed);
    endResetModel();
}

bool TIdSummaryModel::Take(std::vector<Entry> &entries, qsizetype &consumed) const
{
    // A busy bus may carry thousands of identifiers: known ones are found by binary search, new
    // ones gathered and merged in once per batch, so no batch costs more than one pass.
    std::unordered_map<uint64_t, Entry> fresh;
    const qsizetype rows = m_frames->ShownStoreRows();
    for (; consumed < rows; ++consumed) {
        const qsizetype storeRow = m_frames->StoreRow(int(consumed));
        if (storeRow < 0)
            continue;
        const TFrameRecord &r = m_store->Record(storeRow);
        if (!IsCanFrame(r.kind))
            continue;
        const uint64_t key = KeyOf(r);
        auto it = std::lower_bound(entries.begin(), entries.end(), key,
                                   [](const Entry &e, uint64_t k) { return e.key < k; });
        Entry *e = nullptr;
        if (it != entries.end() && it->key == key) {
            e = &*it;
        } else {
            e = &fresh[key];
            if (e->count == 0) {
                e->key = key;
                e->firstUs = r.timeUs;
            }
        }
        ++e->count;
        e->lastUs = r.timeUs;
        e->lastNumber = m_store->FirstNumber() + uint64_t(storeRow);
    }
    if (fresh.empty())
        return false;
    std::vector<Entry> added;
    added.reserve(fresh.size());
    for (const auto &[key, e] : fresh)
        added.push_back(e);
    const auto byKey = [](const Entry &a, const Entry &b) { return a.key < b.key; };
    std::sort(added.begin(), added.end(), byKey);
    std::vector<Entry> merged;
    merged.reserve(entries.size() + added.size());
    std::merge(entries.begin(), entries.end(), added.begin(), added.end(), std::back_inserter(merged), byKey);
    entries.swap(merged);
    return true;
}

void TIdSummaryModel::Consume()
{
    if (!m_active || m_consumed >= m_frames->ShownStoreRows())
        return;
    // Counted into a copy: when the batch brings new identifiers the views must see the old
    // rows until the reset begins.
    std::vector<Entry> next = m_entries;
    qsizetype consumed = m_consumed;
    if (Take(next, consumed)) {
        beginResetModel();
        m_entries.swap(next);
        m_consumed = consumed;
        endResetModel();
    } else {
        m_entries.swap(next);
        m_consumed = consumed;
        if (!m_entries.empty())
            emit dataChanged(index(0, 0), index(int(m_entries.size()) - 1, columnCount() - 1));
    }
}
