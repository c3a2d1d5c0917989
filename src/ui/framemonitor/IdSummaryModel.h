#pragma once
// The "by identifier" view of the frame monitor: one row per identifier seen among the rows the
// table shows, with how many frames came, the last data and the mean period between them.
// It follows the table model: the same filter, the same pause, the same batches.

#include "ui/framemonitor/FrameTableModel.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

class TDbcDatabase;

class TIdSummaryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColKind, ColId, ColCount, ColDlc, ColData, ColPeriod, ColLast, ColumnCount,
                  // while a database is loaded: the message's name and its latest signal values
                  ColMessage = ColumnCount, ColSignals };

    TIdSummaryModel(const TFrameStore *store, TFrameTableModel *frames, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    struct Entry {
        uint64_t key = 0; // extended flag above the identifier: standard ones sort first
        uint64_t count = 0;
        int64_t firstUs = 0;
        int64_t lastUs = 0;
        uint64_t lastNumber = 0; // store row number (FirstNumber() + row) of the last frame
    };
    const std::vector<Entry> &Entries() const { return m_entries; }
    // The store row of the entry's last frame; -1 once the history has dropped it.
    qsizetype LastStoreRow(const Entry &e) const;
    // Mean time between the frames of an identifier, in seconds; 0 with fewer than two.
    static double MeanPeriod(const Entry &e);
    // Counts while active; inactive it holds nothing.
    void SetActive(bool active);
    // Names identifiers by the messages of `database` (null or empty: no such columns).
    void SetDatabase(const TDbcDatabase *database);
    bool Named() const { return m_database != nullptr; }

private:
    void Rebuild();
    // Counts the table rows shown since the last call.
    void Consume();
    // Counts table rows from `consumed` on into `entries`; true when new identifiers came.
    bool Take(std::vector<Entry> &entries, qsizetype &consumed) const;
    static uint64_t KeyOf(const TFrameRecord &r);

    const TFrameStore *m_store;
    TFrameTableModel *m_frames;
    const TDbcDatabase *m_database = nullptr; // set while it holds messages
    std::vector<Entry> m_entries; // sorted by key
    qsizetype m_consumed = 0;     // table rows counted so far
    bool m_active = false;        // counting only while the view is in use
};
