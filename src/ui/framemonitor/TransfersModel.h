#pragma once
// The Frame Monitor's Transfers view: one row per message a protocol reassembled or
// conversation it followed (request and answer, with the time between), decoded as frames
// reach the store, whatever view is in sight. The newest MaxTransfers are kept.

#include "protocols/ProtocolFrame.h"

#include <QAbstractTableModel>

#include <deque>
#include <memory>

class TFrameStore;

class TTransfersModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColStart, ColProtocol, ColId, ColPeer, ColLength, ColData, ColMeaning, ColAnswer, ColFault, ColumnCount };
    static constexpr qsizetype MaxTransfers = 100000;
    // Choosing a protocol reads this many of the newest rows kept again.
    static constexpr qsizetype RereadRows = 100000;

    explicit TTransfersModel(const TFrameStore *store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Starts over with `protocol` (None: nothing is decoded) from the newest rows kept.
    void SetProtocol(TProtocol protocol, const TProtocolOptions &options);
    TProtocol Protocol() const { return m_protocol; }
    const TProtocolOptions &Options() const { return m_options; }
    // Reads the rows the store took since the last call.
    void Follow();
    // The store was emptied: the transfers go too.
    void StoreCleared();
    const TTransfer &Transfer(int row) const { return m_transfers[size_t(row)]; }

private:
    void Append(QList<TTransfer> &done);

    const TFrameStore *m_store;
    TProtocol m_protocol = TProtocol::None;
    TProtocolOptions m_options;
    std::unique_ptr<TProtocolDecoder> m_decoder;
    std::deque<TTransfer> m_transfers;
    uint64_t m_next = 0; // number of the next store row to read
};
