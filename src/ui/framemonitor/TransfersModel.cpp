#include "ui/framemonitor/TransfersModel.h"

#include "monitor/FrameStore.h"

#include <QDateTime>

#include <cstring>

namespace {

const char *const columnNames[TTransfersModel::ColumnCount] = {"Start", "Protocol", "ID", "Peer", "Bytes",
                                                                "Data", "Decoded", "Answer after", "Fault"};

QString idText(uint32_t id)
{
    return id > 0x7FF ? QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper()
                      : QStringLiteral("%1").arg(id, 3, 16, QLatin1Char('0')).toUpper();
}

} // namespace

TTransfersModel::TTransfersModel(const TFrameStore *store, QObject *parent) : QAbstractTableModel(parent), m_store(store)
{
}

int TTransfersModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_transfers.size());
}

int TTransfersModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTransfersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount
        && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
        return QString::fromLatin1(columnNames[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant TTransfersModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    const TTransfer &t = m_transfers[size_t(index.row())];
    switch (index.column()) {
    case ColStart:
        return QDateTime::fromMSecsSinceEpoch(t.StartUs / 1000).toString(QStringLiteral("HH:mm:ss.zzz"));
    case ColProtocol: return t.Protocol;
    case ColId: return t.SourceId ? idText(t.SourceId) : QString();
    case ColPeer: return t.TargetId ? idText(t.TargetId) : QString();
    case ColLength: return QString::number(t.Payload.size());
    case ColData: return HexBytes(t.Payload.left(64)) + (t.Payload.size() > 64 ? QStringLiteral(" ...") : QString());
    case ColMeaning: return t.Meaning;
    case ColAnswer:
        return t.AnswerAfterUs >= 0 ? QStringLiteral("%1 ms").arg(double(t.AnswerAfterUs) / 1000.0, 0, 'f', 1) : QString();
    case ColFault: return t.Fault;
    default: return {};
    }
}

void TTransfersModel::SetProtocol(TProtocol protocol, const TProtocolOptions &options)
{
    beginResetModel();
    m_protocol = protocol;
    m_options = options;
    m_decoder = MakeProtocolDecoder(protocol, options);
    m_transfers.clear();
    const uint64_t first = m_store->FirstNumber();
    const uint64_t count = uint64_t(m_store->Count());
    m_next = first + (count > uint64_t(RereadRows) ? count - uint64_t(RereadRows) : 0);
    endResetModel();
    Follow();
}

void TTransfersModel::Follow()
{
    const uint64_t first = m_store->FirstNumber();
    const uint64_t end = first + uint64_t(m_store->Count());
    if (!m_decoder) {
        m_next = end;
        return;
    }
    m_next = std::max(m_next, first); // rows the history dropped unread are gone
    QList<TTransfer> done;
    for (; m_next < end; ++m_next) {
        const qsizetype row = qsizetype(m_next - first);
        const TFrameRecord r = m_store->Record(row);
        if (!IsCanFrame(r.kind) || r.checksum == TChecksum::Wrong)
            continue;
        m_decoder->Feed(BusFrameOf(m_store->Row(row).decoded, r.timeUs), done);
    }
    Append(done);
}

void TTransfersModel::StoreCleared()
{
    beginResetModel();
    m_transfers.clear();
    m_decoder = MakeProtocolDecoder(m_protocol, m_options);
    m_next = m_store->FirstNumber() + uint64_t(m_store->Count());
    endResetModel();
}

void TTransfersModel::Append(QList<TTransfer> &done)
{
    if (done.isEmpty())
        return;
    const qsizetype over = qsizetype(m_transfers.size()) + done.size() - MaxTransfers;
    if (over > 0) {
        const int gone = int(std::min<qsizetype>(over, qsizetype(m_transfers.size())));
        if (gone > 0) {
            beginRemoveRows(QModelIndex(), 0, gone - 1);
            m_transfers.erase(m_transfers.begin(), m_transfers.begin() + gone);
            endRemoveRows();
        }
        if (done.size() > MaxTransfers)
            done.remove(0, done.size() - MaxTransfers);
    }
    beginInsertRows(QModelIndex(), rowCount(), rowCount() + int(done.size()) - 1);
    m_transfers.insert(m_transfers.end(), done.cbegin(), done.cend());
    endInsertRows();
}
