#pragma once
// The rows of the transmit list as a table the user edits in place. The runner holds the rows;
// an edit passes the composer's field rules first, and a refused one leaves the cell as it was
// and says why.

#include <QAbstractTableModel>

class TTransmitRunner;

class TTransmitTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColEnabled, ColName, ColId, ColExtended, ColRemote, ColDlc, ColData, ColPeriod, ColCount,
                  ColCounter, ColSent, ColRate, ColumnCount };

    explicit TTransmitTableModel(TTransmitRunner *runner, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void AddRow();
    void AddRow(const struct TTransmitRow &row);
    void DuplicateRow(int row);
    void RemoveRow(int row);
    // The runner's rows were replaced (a list opened).
    void Reset();
    // Sent and rate figures moved on.
    void CountsChanged();

    // "start bit, length, step" as the counter cell shows and takes it; empty for none.
    static QString CounterText(const struct TTransmitRow &row);

signals:
    // An edit was refused: the cell's key and the composer's message.
    void Refused(const QString &message);

private:
    TTransmitRunner *m_runner;
};
