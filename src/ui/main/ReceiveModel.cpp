#include "ui/main/ReceiveModel.h"

#include "common/EscapeBytes.h"

#include <algorithm>

TReceiveModel::TReceiveModel(QObject *parent) : QAbstractListModel(parent)
{
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(ShowIntervalMs);
    connect(&m_showTimer, &QTimer::timeout, this, [this] {
        if (m_shown < Count()) {
            ShowPendingRows();
            m_showTimer.start(); // still busy: hold the next rows back again
        }
    });
}

int TReceiveModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

TReceiveModel::Span TReceiveModel::ItemSpan(int row) const
{
    const size_t begin = row == 0 ? 0 : m_ends[size_t(row) - 1];
    return {m_bytes.data() + begin, qsizetype(m_ends[size_t(row)] - begin)};
}

QByteArray TReceiveModel::Item(int row) const
{
    if (row < 0 || row >= Count())
        return {};
    const Span item = ItemSpan(row);
    return QByteArray(item.data, item.size);
}

QVariant TReceiveModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    const Span item = ItemSpan(index.row());
    return DisplayText(item.data, item.size);
}

void TReceiveModel::Append(const QByteArray &item)
{
    if (m_longestRow < 0 || item.size() > m_longestSize) {
        m_longestRow = Count();
        m_longestSize = item.size();
    }
    m_bytes.append(item.constData(), size_t(item.size()));
    m_ends.push_back(m_bytes.size());
    // The first item after a quiet spell shows at once; a burst shows in steps.
    if (!m_showTimer.isActive()) {
        ShowPendingRows();
        m_showTimer.start();
    }
}

void TReceiveModel::ShowPendingRows()
{
    // Rows past m_shown are invisible to the views until announced, so announcing them after
    // they were stored keeps the views consistent.
    beginInsertRows(QModelIndex(), m_shown, Count() - 1);
    m_shown = Count();
    endInsertRows();
    emit RowsShown();
}

void TReceiveModel::Clear()
{
    m_showTimer.stop();
    beginResetModel();
    m_shown = 0;
    m_longestRow = -1;
    m_longestSize = 0;
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_ends.clear();
    m_ends.shrink_to_fit();
    endResetModel();
}

QByteArray TReceiveModel::SaveText() const
{
    QByteArray out;
    out.reserve(qsizetype(m_bytes.size() + 2 * m_ends.size()));
    size_t begin = 0;
    for (size_t end : m_ends) {
        out.append(m_bytes.data() + begin, qsizetype(end - begin));
        out.append("\r\n", 2);
        begin = end;
    }
    return out;
}

QString TReceiveModel::ShownText(int row, qsizetype maxBytes) const
{
    if (row < 0 || row >= m_shown)
        return {};
    const Span item = ItemSpan(row);
    if (item.size <= maxBytes)
        return DisplayText(item.data, item.size);
    return EscapedText(item.data, std::max<qsizetype>(0, maxBytes));
}

QString TReceiveModel::DisplayText(const char *data, qsizetype size)
{
    if (size > 0 && data[size - 1] == '\r')
        --size;
    return EscapedText(data, size);
}
