#pragma once
// The receive list: every text the receive loop read, byte for byte, oldest first.
// All items share one byte buffer plus an offset table, so a million lines stay small and an
// append costs constant time.

#include <QAbstractListModel>
#include <QByteArray>

#include <string>
#include <vector>

class TReceiveModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit TReceiveModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void Append(const QByteArray &item);
    void Clear();
    int Count() const { return int(m_ends.size()); }
    QByteArray Item(int row) const;

    // Every item followed by CR LF, exactly as received.
    QByteArray SaveText() const;

    // How an item is shown: printable ASCII as is, the final CR left out, every other byte as \xHH
    // (a backslash as \\), so nothing received is hidden or altered.
    static QString DisplayText(const char *data, qsizetype size);

private:
    std::string m_bytes;
    std::vector<size_t> m_ends; // end offset of each item in m_bytes
};
