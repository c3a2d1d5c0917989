#pragma once
// The pane under the frame monitor's table: the signals of the frame selected (in the list of
// lines, or the latest frame of the identifier selected), decoded when shown. Signals chosen
// here go to the plot.

#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"
#include "monitor/FrameDecoder.h"

#include <QAbstractTableModel>
#include <QWidget>

class QLabel;
class QPushButton;
class TCopyableTableView;

class TSignalsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColSignal, ColValue, ColUnit, ColRaw, ColText, ColComment, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The message's signals as decoded from one frame; null message: none. The same message
    // again only updates the values, so a selection in the view stays.
    void SetSignals(const TDbcMessage *message, QVector<TDecodedSignal> decoded);
    const TDbcMessage *Message() const { return m_message; }
    const TDbcSignal *SignalAt(int row) const;

private:
    const TDbcMessage *m_message = nullptr;
    QVector<TDecodedSignal> m_signals;
};

class TSignalsPane : public QWidget {
    Q_OBJECT

public:
    explicit TSignalsPane(QWidget *parent = nullptr);

    void SetDatabase(const TDbcDatabase *database) { m_database = database; }
    // Shows the signals of `line` (a CAN frame), or says why there are none (null: no frame selected).
    void ShowFrame(const TDecodedLine *line);
    // The signals chosen in the view, or all of the message's when none is.
    QList<const TDbcSignal *> ChosenSignals() const;

    TSignalsModel *Model() const { return m_model; }
    QLabel *TitleLabel = nullptr;
    TCopyableTableView *SignalsView = nullptr;
    QPushButton *PlotButton = nullptr;

signals:
    // The user asked to plot these signals of `message`.
    void PlotRequested(const TDbcMessage *message, const QList<const TDbcSignal *> &chosen);

private:
    void RequestPlot();

    const TDbcDatabase *m_database = nullptr;
    TSignalsModel *m_model;
};
