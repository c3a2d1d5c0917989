#include "ui/transmit/TransmitTableModel.h"

#include "common/StrToInt.h"
#include "transmit/TransmitRunner.h"

#include <QColor>
#include <QRegularExpression>

namespace {

const char *const kHeaders[] = {"On", "Name", "ID (hex)", "Ext", "RTR", "DLC", "Data (hex)", "Period ms",
                                "Count", "Counter", "Sent", "Rate/s"};
const char *const kTips[] = {
    "Enabled: runs with Start", "A name of your own", "Identifier, 3 hexadecimal digits (8 when extended)",
    "Extended frame (29-bit identifier)", "Remote frame (no data)", "Data length, 0 to 8",
    "Data bytes, two hexadecimal digits each", "Period in ms (1 to 99999), 0: only on demand",
    "Sends per run, 0: until stopped", "Rolling counter: start bit, length, step (e.g. 8,4,1); empty: none",
    "Sent so far", "Achieved rate, sends per second"};

bool IsCheckColumn(int column)
{
    return column == TTransmitTableModel::ColEnabled || column == TTransmitTableModel::ColExtended ||
           column == TTransmitTableModel::ColRemote;
}

// A row filled from a database message is saved by its message name and signal values; once a
// cell the database decides is edited, it is saved by its own fields instead, or the edit would
// be lost (or, for a counter by bits, not open again).
void KeepOrLeaveDatabase(const TTransmitRow &before, TTransmitRow &r)
{
    if (r.Message.isEmpty())
        return;
    if (r.Counter && before.Counter && r.Counter->StartBit == before.Counter->StartBit &&
        r.Counter->Length == before.Counter->Length)
        r.Counter->Signal = before.Counter->Signal; // only the step changed
    const bool same = r.Id == before.Id && r.Extended == before.Extended && r.Dlc == before.Dlc &&
                      r.Data == before.Data && (!r.Counter || !r.Counter->Signal.isEmpty());
    if (same)
        return;
    r.Message.clear();
    r.Signals.clear();
    if (r.Counter)
        r.Counter->Signal.clear();
}

} // namespace

TTransmitTableModel::TTransmitTableModel(TTransmitRunner *runner, QObject *parent)
    : QAbstractTableModel(parent), m_runner(runner)
{
}

int TTransmitTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_runner->Rows().size());
}

int TTransmitTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TTransmitTableModel::CounterText(const TTransmitRow &row)
{
    if (!row.Counter)
        return QString();
    return QStringLiteral("%1,%2,%3").arg(row.Counter->StartBit).arg(row.Counter->Length).arg(row.Counter->Step);
}

QVariant TTransmitTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const TTransmitRow &r = m_runner->Rows()[index.row()];
    const int c = index.column();
    if (role == Qt::CheckStateRole && IsCheckColumn(c)) {
        const bool on = c == ColEnabled ? r.Enabled : c == ColExtended ? r.Extended : r.Remote;
        return on ? Qt::Checked : Qt::Unchecked;
    }
    if (role == Qt::AccessibleTextRole && IsCheckColumn(c))
        return QStringLiteral("%1: %2").arg(QLatin1String(kHeaders[c]),
                                            data(index, Qt::CheckStateRole).toInt() == Qt::Checked ? "yes" : "no");
    // A row whose sends came later than its period since the last sample is marked in its rate.
    const bool behind = c == ColRate && m_runner->Running() && m_runner->Behind(index.row());
    if (role == Qt::ToolTipRole)
        return behind ? QStringLiteral("Falls short of its period of %1 ms: the list asks more than the line or "
                                       "the machine gives")
                            .arg(r.PeriodMs)
                      : QLatin1String(kTips[c]);
    if (role == Qt::ForegroundRole)
        return behind ? QVariant(QColor(Qt::darkRed)) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)
        return QVariant();
    switch (c) {
    case ColName: return r.Name;
    case ColId: return r.Id;
    // Numbers are edited as text, so a refused one ("1.5", "abc") is said, not dropped by a spin box.
    case ColDlc: return QString::number(r.Dlc);
    case ColData:
        // While running, the data as the next send carries it (its counter moves).
        return TransmitRows::DataText(role == Qt::EditRole ? r.Data : m_runner->CurrentData(index.row()));
    case ColPeriod: return QString::number(r.PeriodMs);
    case ColCount: return QString::number(r.Count);
    case ColCounter: return CounterText(r);
    case ColSent: return QString::number(m_runner->Sent(index.row()));
    case ColRate:
        if (!m_runner->Running())
            return QString();
        return QString::number(m_runner->Rate(index.row()), 'f', 1) + (behind ? QStringLiteral(" behind") : QString());
    default: return QVariant();
    }
}

bool TTransmitTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= rowCount())
        return false;
    TTransmitRow r = m_runner->Rows()[index.row()];
    const int c = index.column();
    const QString text = value.toString().trimmed();
    QString problem;
    auto wholeNumber = [&text](int64_t &n) {
        bool ok = false;
        n = text.toLongLong(&ok, 10);
        return ok;
    };
    int64_t n = 0;
    if (role == Qt::CheckStateRole && IsCheckColumn(c)) {
        const bool on = value.toInt() == Qt::Checked;
        if (c == ColEnabled)
            r.Enabled = on;
        else if (c == ColExtended)
            r.Extended = on;
        else
            r.Remote = on;
        if (c == ColExtended) {
            // As the composer's MODE field does to its ID field: widen to 8 digits, or keep the
            // last 3.
            int32_t id = 0;
            if (on && TryStrToInt(QStringLiteral("$") + r.Id, id))
                r.Id = IntToHex(id, 8);
            else if (!on && r.Id.size() > 3)
                r.Id = r.Id.right(3);
            problem = TransmitRows::CheckId(r.Id, r.Extended);
        }
        if (c == ColRemote && on && r.Counter)
            problem = TransmitRows::CheckCounter(*r.Counter, r.Dlc, r.Remote);
    } else if (role != Qt::EditRole) {
        return false;
    } else {
        switch (c) {
        case ColName: r.Name = value.toString(); break;
        case ColId:
            r.Id = text.toUpper();
            problem = TransmitRows::CheckId(r.Id, r.Extended);
            break;
        case ColDlc:
            problem = wholeNumber(n) ? TransmitRows::CheckDlc(int(std::clamp<int64_t>(n, -1, 9)))
                                     : QStringLiteral("'%1' is not a valid integer value").arg(text);
            if (problem.isEmpty()) {
                r.Dlc = int(n);
                r.Data.truncate(r.Dlc); // bytes beyond the new length would not go out
                if (r.Counter)
                    problem = TransmitRows::CheckCounter(*r.Counter, r.Dlc, r.Remote);
            }
            break;
        case ColData: problem = TransmitRows::CheckData(text, r.Dlc, r.Data); break;
        case ColPeriod:
            problem = wholeNumber(n) ? TransmitRows::CheckPeriod(n) : QStringLiteral("'%1' is not a valid integer value").arg(text);
            if (problem.isEmpty())
                r.PeriodMs = int(n);
            break;
        case ColCount:
            problem = wholeNumber(n) ? TransmitRows::CheckCount(n) : QStringLiteral("'%1' is not a valid integer value").arg(text);
            if (problem.isEmpty())
                r.Count = n;
            break;
        case ColCounter: {
            if (text.isEmpty()) {
                r.Counter.reset();
                break;
            }
            const QStringList parts = text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
            int64_t v[3] = {0, 0, 1};
            bool ok = parts.size() >= 2 && parts.size() <= 3;
            for (int i = 0; ok && i < parts.size(); ++i)
                v[i] = parts[i].toLongLong(&ok, 10);
            if (!ok) {
                problem = QStringLiteral("expected start bit, length and step, such as 8,4,1");
                break;
            }
            const TTransmitCounter counter{int(std::clamp<int64_t>(v[0], -1, 64)), int(std::clamp<int64_t>(v[1], 0, 65)), v[2]};
            problem = TransmitRows::CheckCounter(counter, r.Dlc, r.Remote);
            r.Counter = counter;
            break;
        }
        default: return false;
        }
    }
    if (!problem.isEmpty()) {
        emit Refused(QStringLiteral("%1: %2").arg(QLatin1String(kHeaders[c]), problem));
        return false;
    }
    KeepOrLeaveDatabase(m_runner->Rows()[index.row()], r);
    m_runner->SetRow(index.row(), r);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    return true;
}

QVariant TTransmitTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount) {
        if (role == Qt::DisplayRole)
            return QLatin1String(kHeaders[section]);
        if (role == Qt::ToolTipRole)
            return QLatin1String(kTips[section]);
    }
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return QVariant();
}

Qt::ItemFlags TTransmitTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsCheckColumn(index.column()))
        f |= Qt::ItemIsUserCheckable;
    else if (index.column() != ColSent && index.column() != ColRate)
        f |= Qt::ItemIsEditable;
    return f;
}

void TTransmitTableModel::AddRow()
{
    TTransmitRow r;
    r.Id = QStringLiteral("000");
    r.Dlc = 8;
    r.Data = QByteArray(8, '\0');
    r.PeriodMs = 100;
    AddRow(r);
}

void TTransmitTableModel::AddRow(const TTransmitRow &r)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_runner->InsertRow(row, r);
    endInsertRows();
}

void TTransmitTableModel::DuplicateRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginInsertRows(QModelIndex(), row + 1, row + 1);
    m_runner->InsertRow(row + 1, m_runner->Rows()[row]);
    endInsertRows();
}

void TTransmitTableModel::RemoveRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_runner->RemoveRow(row);
    endRemoveRows();
}

void TTransmitTableModel::Reset()
{
    beginResetModel();
    endResetModel();
}

void TTransmitTableModel::CountsChanged()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, ColData), index(rowCount() - 1, ColRate));
}
