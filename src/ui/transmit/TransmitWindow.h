#pragma once
// src/ui/transmit: the Transmit List window and Replay Log.
// Uses the signals, dialogs and widgets rooms, transmit, protocol and monitor; not the main window.
//
// The "Transmit List" window: a table of messages, each sent on its own period or on demand,
// run together by one scheduler through the main window's send path. It runs only while the
// main window is connected in operation mode or the pair-connection test, and stops (rows kept)
// when that ends.

#include "transmit/TransmitRunner.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTableView;
class TDbcDatabase;
class TSignalComposerDialog;
class TSignalDatabase;
class TTransmitTableModel;

class TTransmitWindow : public QWidget {
    Q_OBJECT

public:
    TTransmitWindow(TLineSender send, QWidget *parent = nullptr);

    // The main window's line: whether lines may go out now, its speed, whether lines carry checksums.
    void SetLink(bool canSend, int32_t baud, bool withChecksum);

    TTransmitRunner *Runner() { return &m_runner; }
    TTransmitTableModel *Model() const { return m_model; }
    QTableView *Table() const { return m_table; }
    QString LoadText() const;
    QString StatusText() const;
    // What the status says while no connection lets lines go out.
    static QString NotConnectedText();

    bool OpenList(const QString &path, QString *error);
    bool SaveList(const QString &path, QString *error);
    // Asks for a list file to open (save false) or to write; empty when cancelled. Tests replace it.
    std::function<QString(bool save)> ChooseFile;
    // The CAN databases for rows that name a message or a signal: the ones the Frame Monitor
    // loads. Without any, such rows are refused, each named.
    void SetDatabase(TSignalDatabase *database) { m_database = database; }
    // Shows the message-and-values dialog; true when accepted. Tests replace it.
    std::function<bool(TSignalComposerDialog &dialog)> RunMessageDialog;

    void AddClick();
    void AddFromDatabaseClick();
    void DuplicateClick();
    void RemoveClick();
    void SendRowClick();
    void StartClick();
    void StopClick();
    void OpenClick();
    void SaveClick();

private:
    void UpdateLoad();
    void UpdateButtons();
    void SetStatus(const QString &text);
    int CurrentRow() const;
    const TDbcDatabase *LoadedDatabase() const; // null when none is loaded

    TTransmitRunner m_runner;
    TTransmitTableModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_load = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_addFromDatabase = nullptr;
    QPushButton *m_duplicate = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_save = nullptr;
    TSignalDatabase *m_database = nullptr;
    QTimer m_refresh;
    int m_ticks = 0;
    bool m_canSend = false;
    int32_t m_baud = 115200;
    bool m_withChecksum = false;
};
