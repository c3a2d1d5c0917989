#include "ui/IdSummaryModel.h"

#include "monitor/FrameDecoder.h"

#include <QDateTime>

#include <algorithm>

namespace {

const char *const columnNames[] = {"Kind", "ID", "Count", "DLC", "Last data", "Mean period (s)", "Last time"};
constexpr uint64_t extendedBit = uint64_t(1) << 32;

} // namespace

TIdSummaryModel::TIdSummaryModel(const TFrameStore *store, TFrameTableModel *frames, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), m_frames(frames)
{
    connect(frames, &TFrameTableModel::Reset, this, &TIdSummaryModel::Rebuild);
    connect(frames, &TFrameTableModel::RowsShown, this, [this] { Consume(); });
}

int TIdSummaryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TIdSummaryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TIdSummaryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
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
    case ColId:
        return QStringLiteral("%1").arg(id, extended ? 8 : 3, 16, QLatin1Char('0')).toUpper();
    case ColCount:
        return QString::number(e.count);
    case ColDlc:
    case ColData: {
        const TFrameRow row = m_store->Row(e.lastRow);
        if (index.column() == ColDlc)
            return QString::number(row.decoded.dlc);
        if (IsRemote(row.decoded.kind))
            return QStringLiteral("remote");
        QString out;
        for (int i = 0; i < row.decoded.dlc; ++i) {
            if (i)
                out += QLatin1Char(' ');
            out += QStringLiteral("%1").arg(row.decoded.data[i], 2, 16, QLatin1Char('0')).toUpper();
        }
        return out;
    }
    case ColPeriod:
        return e.count < 2 ? QString() : QString::number(MeanPeriod(e), 'f', 6);
    case ColLast:
        return QDateTime::fromMSecsSinceEpoch(e.lastUs / 1000).toString(QStringLiteral("HH:mm:ss.zzz"));
    default:
        return {};
    }
}

uint64_t TIdSummaryModel::KeyOf(const TFrameRecord &r)
{
    return (IsExtended(r.kind) ? extendedBit : 0) | r.id;
}

bool TIdSummaryModel::Find(uint64_t key) const
{
    return std::binary_search(m_entries.begin(), m_entries.end(), Entry{key},
                              [](const Entry &a, const Entry &b) { return a.key < b.key; });
}

void TIdSummaryModel::Add(qsizetype storeRow)
{
    const TFrameRecord &r = m_store->Record(storeRow);
    if (!IsCanFrame(r.kind))
        return;
    const uint64_t key = KeyOf(r);
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                               [](const Entry &e, uint64_t k) { return e.key < k; });
    if (it == m_entries.end() || it->key != key) {
        Entry e;
        e.key = key;
        e.firstUs = r.timeUs;
        it = m_entries.insert(it, e);
    }
    ++it->count;
    it->lastUs = r.timeUs;
    it->lastRow = storeRow;
}

void TIdSummaryModel::Rebuild()
{
    beginResetModel();
    m_entries.clear();
    m_consumed = 0;
    const int rows = int(m_frames->ShownStoreRows());
    for (; m_consumed < rows; ++m_consumed)
        Add(m_frames->StoreRow(m_consumed));
    endResetModel();
}

void TIdSummaryModel::Consume()
{
    const int rows = int(m_frames->ShownStoreRows());
    if (m_consumed >= rows)
        return;
    // New identifiers are rare: a batch that brings one resets the view once, any other batch
    // updates the counts and data in place.
    bool newIdentifier = false;
    for (int row = m_consumed; row < rows && !newIdentifier; ++row) {
        const TFrameRecord &r = m_store->Record(m_frames->StoreRow(row));
        newIdentifier = IsCanFrame(r.kind) && !Find(KeyOf(r));
    }
    if (newIdentifier)
        beginResetModel();
    for (; m_consumed < rows; ++m_consumed)
        Add(m_frames->StoreRow(m_consumed));
    if (newIdentifier)
        endResetModel();
    else if (!m_entries.empty())
        emit dataChanged(index(0, 0), index(int(m_entries.size()) - 1, ColumnCount - 1));
}
