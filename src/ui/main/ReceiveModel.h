#pragma once
// The receive list: every text the receive loop read, byte for byte, oldest first.
// All items share one byte buffer plus an offset table, so a million lines stay small and an
// append costs constant time.
// An item is stored the moment it arrives; the views hear of new rows at most ShowIntervalMs
// apart, so a fast line does not repaint the list once per line.

#include <QAbstractListModel>
#include <QByteArray>
#include <QTimer>

#include <string>
#include <vector>

class TReceiveModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit TReceiveModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    static constexpr int ShowIntervalMs = 100;

    void Append(const QByteArray &item);
    void Clear();
    // Every stored item, including those the views have not been told about yet.
    int Count() const { return int(m_ends.size()); }
    QByteArray Item(int row) const;
    // The row holding the most bytes, or -1: what the list's width is measured on.
    int LongestRow() const { return m_longestRow; }

    // Every item followed by CR LF, exactly as received.
    QByteArray SaveText() const;

    // How an item is shown: printable ASCII as is, the final CR left out, every other byte as \xHH
    // (a backslash as \\), so nothing received is hidden or altered.
    static QString DisplayText(const char *data, qsizetype size);
    // The shown text of a row, or of its first `maxBytes` bytes when it is longer: a list box
    // cannot show megabytes of one line anyway.
    QString ShownText(int row, qsizetype maxBytes) const;

signals:
    // New rows reached the views.
    void RowsShown();

private:
    struct Span {
        const char *data;
        qsizetype size;
    };
    // Where a stored item's bytes lie; `row` must be below Count().
    Span ItemSpan(int row) const;
    void ShowPendingRows();

    QTimer m_showTimer;
    int m_shown = 0; // rows the views know of
    int m_longestRow = -1;
    qsizetype m_longestSize = 0;
    std::string m_bytes;
    std::vector<size_t> m_ends; // end offset of each item in m_bytes
};
