#pragma once
// Reads the module's port for as long as the window receives, from whatever event loop runs (a
// modal window's included): every read is time-stamped and recorded in the frame store at once,
// and the reads are gathered into the receive list's items, each as one reply wait would have
// returned it (up to the read that brought the end of a line, or what came within the response
// time).

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>

class TFrameStore;
class TQCCom32;

class TReceiveReader : public QObject {
public:
    TReceiveReader(TQCCom32 *port, TFrameStore *store, QObject *parent = nullptr);
    ~TReceiveReader() override;

    // Starts taking what arrives at the port; Stop hands the port back to the reply waits.
    void Start();
    void Stop();
    bool Running() const { return m_running; }
    // An item has begun and its end has not come yet.
    bool ItemPending() const { return !m_item.isEmpty(); }

    // Each finished item, as read.
    std::function<void(const QByteArray &item)> OnItem;
    // After the store has grown.
    std::function<void()> OnRecorded;

    // The wall clock in microseconds since the epoch; tests may set their own.
    std::function<int64_t()> Now;

private:
    void ReadNow();
    void FinishItem();

    QPointer<TQCCom32> m_port; // may go first when both belong to the window
    TFrameStore *m_store;
    QByteArray m_read;  // the last read; its buffer serves every read
    QByteArray m_item;  // the item being gathered
    qsizetype m_scanned = 0; // the terminator cannot start before this offset of m_item
    QTimer m_deadline;  // the response time of the item being gathered
    bool m_running = false;
};
