#include "ui/framemonitor/FrameTableModel.h"

#include "common/EscapeBytes.h"
#include "dbc/DbcDatabase.h"
#include "monitor/LogWriters.h"

#include <QLocale>

#include <algorithm>

namespace {

const char *const columnNames[] = {"No.", "Time", "Since previous", "Kind", "ID", "DLC", "Data", "Checksum", "Raw line",
                                   "Message", "Decoded"};

QString wallClock(int64_t timeUs)
{
    return QString::fromLatin1(ClockText(timeUs));
}

} // namespace

TFrameTableModel::TFrameTableModel(const TFrameStore *store, QObject *parent) : QAbstractTableModel(parent), m_store(store)
{
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(ShowIntervalMs);
    connect(&m_showTimer, &QTimer::timeout, this, [this] {
        if (!m_paused && m_inSight && (m_end < m_store->FirstNumber() + uint64_t(m_store->Count()) || PendingRows() != m_pendingShown)) {
            ShowPending();
            m_showTimer.start(); // still busy: hold the next rows back again
        }
    });
}

int TFrameTableModel::PendingRows() const
{
    // The line waiting for its CR shows only while nothing is filtered out (no filter can judge
    // half a line) and the view is live.
    return !m_filtered && !m_paused && m_store->HasPending() ? 1 : 0;
}

int TFrameTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ShownStoreRows()) + m_pendingShown;
}

int TFrameTableModel::columnCount(const QModelIndex &parent) const
{
    // With a protocol both added columns are there; the Message column is hidden without a database.
    if (parent.isValid())
        return 0;
    return m_protocol != TProtocol::None ? ColDecoded + 1 : ColumnCount + (m_database ? 1 : 0);
}

qsizetype TFrameTableModel::StoreRow(int row) const
{
    if (row < 0 || row >= ShownStoreRows())
        return -1;
    const uint64_t number = m_filtered ? m_rows[size_t(row)] : m_first + uint64_t(row);
    const uint64_t first = m_store->FirstNumber();
    if (number < first || number >= first + uint64_t(m_store->Count()))
        return -1;
    return qsizetype(number - first);
}

QVariant TFrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return QString::fromLatin1(columnNames[section]);
    return {};
}

QVariant TFrameTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole) {
        const bool right = index.column() == ColNumber || index.column() == ColDelta;
        return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    const qsizetype storeRow = StoreRow(index.row());
    if (storeRow >= 0)
        return Cell(storeRow, index.column(), index.row());
    if (index.row() >= ShownStoreRows())
        return PendingCell(index.column());
    return {};
}

QString TFrameTableModel::Cell(qsizetype storeRow, int column, int row) const
{
    const TFrameRecord &r = m_store->Record(storeRow);
    switch (column) {
    case ColNumber:
        return QString::number(m_store->Dropped() + uint64_t(storeRow) + 1); // counted from the last Clear
    case ColTime:
        return wallClock(r.timeUs);
    case ColDelta: {
        const qsizetype previous = row == 0 ? -1 : StoreRow(row - 1);
        if (previous < 0)
            return QString();
        const int64_t before = m_store->Record(previous).timeUs;
        return QString::fromLatin1(SecondsText(r.timeUs - before));
    }
    case ColKind:
        return r.terminated ? QString::fromLatin1(FrameKindName(r.kind))
                            : QString::fromLatin1(FrameKindName(r.kind)) + QStringLiteral(" (no CR)");
    case ColId: {
        TDecodedLine d;
        d.kind = r.kind;
        d.id = r.id;
        return QString::fromLatin1(IdText(d));
    }
    case ColDlc:
        return IsCanFrame(r.kind) ? QString::number(r.dlc) : QString();
    case ColData: {
        if (!IsCanFrame(r.kind) || IsRemote(r.kind))
            return QString();
        return QString::fromLatin1(DataText(m_store->Row(storeRow).decoded));
    }
    case ColChecksum:
        return r.checksum == TChecksum::None ? QString() : QString::fromLatin1(ChecksumText(m_store->Row(storeRow).decoded));
    case ColRaw: {
        const QByteArrayView text = m_store->Text(storeRow);
        // A table cell cannot show megabytes of one line anyway.
        constexpr qsizetype shownBytes = 4096;
        if (text.size() <= shownBytes)
            return EscapedText(text.data(), text.size());
        return EscapedText(text.data(), shownBytes) + QStringLiteral("... (%1 bytes)").arg(text.size());
    }
    case ColDecoded:
        return DecodedText(storeRow);
    case ColMessage: {
        const TDbcMessage *m = m_database && IsCanFrame(r.kind) ? m_database->Find(r.id, IsExtended(r.kind)) : nullptr;
        return m ? m->Name : QString();
    }
    default:
        return QString();
    }
}

QString TFrameTableModel::PendingCell(int column) const
{
    switch (column) {
    case ColTime:
        return wallClock(m_store->PendingTimeUs());
    case ColKind:
        return QStringLiteral("pending");
    case ColRaw: {
        const QByteArrayView text = m_store->PendingText();
        return EscapedText(text.data(), std::min<qsizetype>(text.size(), 4096));
    }
    default:
        return QString();
    }
}

void TFrameTableModel::StoreGrew()
{
    TakeDrops();
    // Nothing new (an empty store): no step starts, so the first rows to come show at once.
    const bool news = m_end < m_store->FirstNumber() + uint64_t(m_store->Count()) || PendingRows() > 0
                      || m_pendingShown > 0;
    if (news && !m_showTimer.isActive() && !m_paused && m_inSight) {
        // The first line after a quiet spell shows at once; a burst shows in steps.
        ShowPending();
        m_showTimer.start();
    }
}

void TFrameTableModel::ShowNow()
{
    if (m_paused || !m_inSight)
        return;
    m_showTimer.stop();
    ShowPending();
    m_showTimer.start();
}

void TFrameTableModel::TakeDrops()
{
    const uint64_t first = m_store->FirstNumber();
    qsizetype gone = 0;
    if (m_filtered)
        gone = std::lower_bound(m_rows.begin(), m_rows.end(), first) - m_rows.begin();
    else if (m_first < first)
        gone = qsizetype(std::min(first, m_end) - m_first);
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, int(gone) - 1);
        if (m_filtered)
            m_rows.erase(m_rows.begin(), m_rows.begin() + gone);
        m_first = std::max(m_first, std::min(first, m_end));
        endRemoveRows();
    }
    // Rows dropped before they were shown are not shown.
    if (m_end < first) {
        m_end = first;
        m_first = first;
    }
    if (gone > 0)
        emit RowsDropped();
}

void TFrameTableModel::ShowPending()
{
    TakeDrops();
    const int oldRows = rowCount();
    const bool hadPending = m_pendingShown > 0;
    const uint64_t first = m_store->FirstNumber();
    const uint64_t end = first + uint64_t(m_store->Count());
    if (m_filtered)
        m_filter.Collect(*m_store, qsizetype(m_end - first), m_store->Count(), m_rows);
    m_end = end;
    const int newPending = PendingRows();
    const int newRows = int(ShownStoreRows()) + newPending;
    // Rows a view knows of are never moved, only added; the pending line's row becomes the
    // completed line (or a row before the new pending one) and is redrawn.
    if (newRows > oldRows) {
        beginInsertRows(QModelIndex(), oldRows, newRows - 1);
        m_pendingShown = newPending;
        endInsertRows();
    } else if (newRows < oldRows) {
        beginRemoveRows(QModelIndex(), newRows, oldRows - 1);
        m_pendingShown = newPending;
        endRemoveRows();
    } else {
        m_pendingShown = newPending;
    }
    if (hadPending && newRows >= oldRows)
        emit dataChanged(index(oldRows - 1, 0), index(oldRows - 1, columnCount() - 1));
    emit RowsShown();
}

void TFrameTableModel::StoreCleared()
{
    m_showTimer.stop();
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_first = m_end = m_store->FirstNumber();
    m_pendingShown = 0;
    endResetModel();
    emit Reset();
    StoreGrew(); // a kept pending line
}

void TFrameTableModel::SetFilter(const TFrameFilter &filter)
{
    // Judged again over the rows the views knew of; rows held back by a pause stay held back.
    TakeDrops();
    beginResetModel();
    m_filter = filter;
    m_filtered = !filter.PassesAll();
    m_rows.clear();
    const uint64_t first = m_store->FirstNumber();
    if (m_filtered)
        m_filter.Collect(*m_store, 0, qsizetype(m_end - first), m_rows);
    else
        m_rows.shrink_to_fit();
    m_first = first;
    m_pendingShown = PendingRows();
    endResetModel();
    emit Reset();
}

void TFrameTableModel::SetInSight(bool inSight)
{
    m_inSight = inSight;
    if (inSight)
        StoreGrew();
    else
        m_showTimer.stop();
}

void TFrameTableModel::SetDatabase(const TDbcDatabase *database)
{
    beginResetModel();
    m_database = database && !database->IsEmpty() ? database : nullptr;
    endResetModel();
}

QString TFrameTableModel::DecodedText(qsizetype storeRow) const
{
    const TFrameRecord r = m_store->Record(storeRow);
    if (m_protocol == TProtocol::None || !IsCanFrame(r.kind) || r.checksum == TChecksum::Wrong)
        return QString();
    const uint64_t number = m_store->FirstNumber() + uint64_t(storeRow);
    if (const auto cached = m_decodedCache.constFind(number); cached != m_decodedCache.constEnd())
        return *cached;
    if (m_decodedCache.size() >= DecodedCacheRows)
        m_decodedCache.clear();
    const QString text = DescribeProtocolFrame(m_protocol, m_protocolOptions, BusFrameOf(m_store->Row(storeRow).decoded, r.timeUs));
    m_decodedCache.insert(number, text);
    return text;
}

void TFrameTableModel::SetProtocol(TProtocol protocol, const TProtocolOptions &options)
{
    beginResetModel();
    m_protocol = protocol;
    m_protocolOptions = options;
    m_decodedCache.clear();
    endResetModel();
}

void TFrameTableModel::SetPaused(bool paused)
{
    if (paused && m_pendingShown > 0) {
        // A held view shows no live line.
        const int row = int(ShownStoreRows());
        beginRemoveRows(QModelIndex(), row, row);
        m_pendingShown = 0;
        m_paused = true;
        endRemoveRows();
    }
    m_paused = paused;
    if (!paused)
        StoreGrew();
}
