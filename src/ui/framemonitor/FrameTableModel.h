#pragma once
// The frame monitor's table: one row per module line of the frame store, through the window's
// filter, plus the line still waiting for its CR. Views hear of new rows at most every
// ShowIntervalMs, in one batch, and ask only for the rows in sight; rows are formatted when
// asked, from the store's bytes. Rows the store's bounded history dropped leave the table from
// its top.

#include "monitor/FrameFilter.h"
#include "monitor/FrameStore.h"
#include "protocols/ProtocolFrame.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QTimer>

#include <vector>

class TDbcDatabase;

class TFrameTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColNumber, ColTime, ColDelta, ColKind, ColId, ColDlc, ColData, ColChecksum, ColRaw, ColumnCount,
                  ColMessage = ColumnCount, // the message's name: a column only while a database is loaded
                  ColDecoded };             // what a protocol reads in the frame: only while one is chosen
    // A table repaints every cell in sight when rows come; five times a second looks live.
    static constexpr int ShowIntervalMs = 200;

    explicit TFrameTableModel(const TFrameStore *store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The store has grown: the views hear of it now, or with the next batch. Rows it dropped
    // leave the table now, paused or not.
    void StoreGrew();
    // The views hear of every row now, without waiting for the next step (unless paused or
    // out of sight): for the end of a burst, such as a log read to its end.
    void ShowNow();
    // Rows the store dropped leave the table (StoreGrew does this too).
    void TakeDrops();
    // The store was emptied.
    void StoreCleared();
    void SetFilter(const TFrameFilter &filter);
    // Names frames by the messages of `database` (null or empty: no Message column). Call again
    // when its files change.
    void SetDatabase(const TDbcDatabase *database);
    bool Named() const { return m_database != nullptr; }
    // Reads each frame shown as `protocol` in the Decoded column (None: no such column).
    void SetProtocol(TProtocol protocol, const TProtocolOptions &options);
    TProtocol Protocol() const { return m_protocol; }
    // The Decoded cell of store row `storeRow`: what the protocol reads in that frame alone.
    QString DecodedText(qsizetype storeRow) const;
    const TFrameFilter &Filter() const { return m_filter; }
    // While paused the views keep what they show, without the live pending line; the store
    // keeps recording.
    void SetPaused(bool paused);
    bool Paused() const { return m_paused; }
    // While no view is in sight (window closed or minimised) the views hear of nothing; they
    // catch up in one batch when it is in sight again.
    void SetInSight(bool inSight);

    // The store row a table row shows, or -1 (the pending line, or a row no longer kept).
    qsizetype StoreRow(int row) const;
    // Store rows the views know of (the pending line not counted).
    qsizetype ShownStoreRows() const { return m_filtered ? qsizetype(m_rows.size()) : qsizetype(m_end - m_first); }

signals:
    // Rows of the store were judged and the passing ones are shown.
    void RowsShown();
    void Reset();
    // Rows left the top of the table with the store's oldest lines.
    void RowsDropped();

private:
    void ShowPending();
    int PendingRows() const;
    QString Cell(qsizetype storeRow, int column, int row) const;
    QString PendingCell(int column) const;

    const TFrameStore *m_store;
    const TDbcDatabase *m_database = nullptr; // set while it holds messages
    TProtocol m_protocol = TProtocol::None;
    TProtocolOptions m_protocolOptions;
    // Decoded cells by row number: the rows in sight are painted five times a second.
    static constexpr qsizetype DecodedCacheRows = 4096;
    mutable QHash<uint64_t, QString> m_decodedCache;
    TFrameFilter m_filter;
    bool m_filtered = false;
    std::vector<uint64_t> m_rows; // numbers of the store rows passing the filter, when filtered
    uint64_t m_first = 0;         // number of the first row shown, when not filtered
    uint64_t m_end = 0;           // rows numbered below this were judged and told to the views
    int m_pendingShown = 0;       // 1 when the last row is the pending line
    bool m_paused = false;
    bool m_inSight = true;
    QTimer m_showTimer;
};
