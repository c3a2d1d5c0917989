#include "ui/framemonitor/SignalsPane.h"

#include "ui/widgets/CopyableTableView.h"
#include "ui/signals/SignalText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char *const columnNames[] = {"Signal", "Value", "Unit", "Raw", "Value text", "Comment"};

} // namespace

int TSignalsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_signals.size());
}

int TSignalsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TSignalsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return QString::fromLatin1(columnNames[section]);
    return {};
}

const TDbcSignal *TSignalsModel::SignalAt(int row) const
{
    return row >= 0 && row < m_signals.size() ? m_signals[row].Signal : nullptr;
}

QVariant TSignalsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole) {
        const bool right = index.column() == ColValue || index.column() == ColRaw;
        return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    const TDecodedSignal &d = m_signals[index.row()];
    const TDbcSignal &s = *d.Signal;
    switch (index.column()) {
    case ColSignal:
        return s.Name;
    case ColValue:
        return d.Present ? SignalValueString(d.Value) : QStringLiteral("not in the frame");
    case ColUnit:
        return s.Unit;
    case ColRaw:
        if (!d.Present)
            return QString();
        if (s.ValueType != TDbcSignal::TValueType::Integer)
            return QStringLiteral("0x") + QString::number(d.RawBits, 16).toUpper(); // a float's bits
        return QString::number(d.Raw);
    case ColText:
        return d.Present ? d.Text : QString();
    case ColComment:
        return s.Comment;
    default:
        return {};
    }
}

void TSignalsModel::SetSignals(const TDbcMessage *message, QVector<TDecodedSignal> decoded)
{
    bool same = message == m_message && decoded.size() == m_signals.size();
    for (qsizetype i = 0; same && i < decoded.size(); ++i)
        same = decoded[i].Signal == m_signals[i].Signal;
    if (same) {
        m_signals = std::move(decoded);
        if (!m_signals.isEmpty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        return;
    }
    beginResetModel();
    m_message = message;
    m_signals = std::move(decoded);
    endResetModel();
}

TSignalsPane::TSignalsPane(QWidget *parent) : QWidget(parent), m_model(new TSignalsModel(this))
{
    setObjectName(QStringLiteral("SignalsPane"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *top = new QHBoxLayout;
    TitleLabel = new QLabel(this);
    TitleLabel->setObjectName(QStringLiteral("SignalsTitleLabel"));
    TitleLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PlotButton = new QPushButton(QStringLiteral("P&lot"), this);
    PlotButton->setObjectName(QStringLiteral("PlotButton"));
    PlotButton->setToolTip(QStringLiteral("Plot the signals selected (all of the message's when none is)"));
    top->addWidget(TitleLabel, 1);
    top->addWidget(PlotButton);
    layout->addLayout(top);

    SignalsView = new TCopyableTableView(this);
    SignalsView->setObjectName(QStringLiteral("SignalsView"));
    SignalsView->setAccessibleName(QStringLiteral("Signals"));
    SignalsView->setModel(m_model);
    TitleLabel->setBuddy(SignalsView);
    const QFontMetrics fm = SignalsView->fontMetrics();
    const char *const samples[] = {"EngineSpeedSignal", "-123456.789", "km/h", "-1234567890", "Value text here"};
    for (int c = 0; c < int(std::size(samples)); ++c)
        SignalsView->horizontalHeader()->resizeSection(c, fm.horizontalAdvance(QString::fromLatin1(samples[c])) + 16);
    layout->addWidget(SignalsView, 1);

    connect(PlotButton, &QPushButton::clicked, this, &TSignalsPane::RequestPlot);
    connect(SignalsView, &QAbstractItemView::activated, this, &TSignalsPane::RequestPlot);
    ShowFrame(nullptr);
}

void TSignalsPane::ShowFrame(const TDecodedLine *line)
{
    const TDbcMessage *message = nullptr;
    QString title;
    if (!m_database || m_database->IsEmpty()) {
        title = QStringLiteral("Signals: no database loaded");
    } else if (!line) {
        title = QStringLiteral("Signals: select a frame");
    } else if (!IsCanFrame(line->kind)) {
        title = QStringLiteral("Signals: the line selected is no CAN frame");
    } else if (!(message = m_database->Find(line->id, IsExtended(line->kind)))) {
        title = QStringLiteral("Signals: identifier %1 is not in the database")
                    .arg(QStringLiteral("%1").arg(line->id, IsExtended(line->kind) ? 8 : 3, 16, QLatin1Char('0')).toUpper());
    } else if (IsRemote(line->kind)) {
        title = QStringLiteral("Signals of %1: a remote frame carries none").arg(message->Name);
        message = nullptr;
    } else {
        title = QStringLiteral("Signals of %1").arg(message->Name);
        if (message->CycleTimeMs >= 0)
            title += QStringLiteral(" (every %1 ms)").arg(message->CycleTimeMs);
        if (!message->Comment.isEmpty())
            title += QStringLiteral(": ") + message->Comment;
    }
    TitleLabel->setText(title);
    m_model->SetSignals(message, message ? DecodeSignals(*message, line->data, line->dlc) : QVector<TDecodedSignal>());
    PlotButton->setEnabled(message != nullptr);
}

QList<const TDbcSignal *> TSignalsPane::ChosenSignals() const
{
    QList<const TDbcSignal *> chosen;
    if (const QItemSelectionModel *selection = SignalsView->selectionModel())
        for (const QModelIndex &row : selection->selectedRows())
            if (const TDbcSignal *s = m_model->SignalAt(row.row()))
                chosen << s;
    if (chosen.isEmpty() && m_model->Message())
        for (const TDbcSignal &s : m_model->Message()->Signals)
            chosen << &s;
    return chosen;
}

void TSignalsPane::RequestPlot()
{
    if (const TDbcMessage *message = m_model->Message())
        emit PlotRequested(message, ChosenSignals());
}
