#include "ui/signals/SignalComposer.h"

#include "dbc/SignalCodec.h"
#include "transmit/TransmitDbc.h"
#include "ui/signals/SignalText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

bool ParseSignalValue(const TDbcSignal &signal, const QString &text, double &value)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        value = signal.Offset; // raw 0, as for a signal not given
        return true;
    }
    bool ok = false;
    value = QLocale::c().toDouble(t, &ok);
    if (ok)
        return true;
    for (auto it = signal.ValueTexts.cbegin(); it != signal.ValueTexts.cend(); ++it) {
        if (it.value().compare(t, Qt::CaseInsensitive) == 0) {
            value = double(it.key()) * signal.Factor + signal.Offset;
            return true;
        }
    }
    return false;
}

TSignalComposerDialog::TSignalComposerDialog(const TDbcDatabase &database, QWidget *parent)
    : QDialog(parent), m_database(database)
{
    setObjectName(QStringLiteral("SignalComposerDialog"));
    setWindowTitle(QStringLiteral("Compose from Database"));
    auto *layout = new QVBoxLayout(this);
    auto *form = m_form = new QFormLayout;
    MessageComboBox = new QComboBox(this);
    MessageComboBox->setObjectName(QStringLiteral("MessageComboBox"));
    for (const TDbcMessage *m : database.Messages())
        MessageComboBox->addItem(QStringLiteral("%1 (%2)").arg(m->Name, QStringLiteral("%1").arg(m->Id, m->Extended ? 8 : 3, 16, QLatin1Char('0')).toUpper()),
                                 m->Name);
    form->addRow(QStringLiteral("&Message:"), MessageComboBox);
    layout->addLayout(form);

    auto *valuesLabel = new QLabel(QStringLiteral("Signal &values (empty: raw 0):"), this);
    ValuesTable = new QTableWidget(0, ColumnCount, this);
    ValuesTable->setObjectName(QStringLiteral("ValuesTable"));
    ValuesTable->setAccessibleName(QStringLiteral("Signal values"));
    ValuesTable->setHorizontalHeaderLabels({QStringLiteral("Signal"), QStringLiteral("Value"), QStringLiteral("Unit"),
                                            QStringLiteral("Range")});
    ValuesTable->verticalHeader()->hide();
    ValuesTable->horizontalHeader()->setStretchLastSection(true);
    ValuesTable->setEditTriggers(QAbstractItemView::AllEditTriggers);
    ValuesTable->setTabKeyNavigation(false); // Tab leaves the table; arrows move in it
    valuesLabel->setBuddy(ValuesTable);
    layout->addWidget(valuesLabel);
    layout->addWidget(ValuesTable, 1);

    BytesLabel = new QLabel(this);
    BytesLabel->setObjectName(QStringLiteral("BytesLabel"));
    BytesLabel->setWordWrap(true);
    BytesLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(BytesLabel);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Fill the Composer"));
    layout->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(MessageComboBox, &QComboBox::currentIndexChanged, this, &TSignalComposerDialog::MessageChosen);
    connect(ValuesTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == ColValue)
            Encode();
    });
    MessageChosen();
    resize(560, 380);
}

bool TSignalComposerDialog::SelectMessage(const QString &name)
{
    const int at = MessageComboBox->findData(name);
    if (at < 0)
        return false;
    MessageComboBox->setCurrentIndex(at);
    return true;
}

bool TSignalComposerDialog::SetValue(const QString &signal, const QString &text)
{
    for (int row = 0; row < ValuesTable->rowCount(); ++row) {
        if (ValuesTable->item(row, ColSignal)->text() == signal) {
            ValuesTable->item(row, ColValue)->setText(text);
            return true;
        }
    }
    return false;
}

void TSignalComposerDialog::MessageChosen()
{
    m_message = m_database.FindByName(MessageComboBox->currentData().toString());
    const QSignalBlocker quiet(ValuesTable);
    ValuesTable->setRowCount(0);
    ListCounterSignals();
    if (m_message) {
        ValuesTable->setRowCount(int(m_message->Signals.size()));
        for (int row = 0; row < ValuesTable->rowCount(); ++row) {
            const TDbcSignal &s = m_message->Signals[row];
            auto fixed = [](const QString &text) {
                auto *item = new QTableWidgetItem(text);
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                return item;
            };
            ValuesTable->setItem(row, ColSignal, fixed(s.Name));
            ValuesTable->setItem(row, ColValue, new QTableWidgetItem(QString()));
            ValuesTable->setItem(row, ColUnit, fixed(s.Unit));
            QString range = s.Minimum < s.Maximum
                                ? QStringLiteral("%1 to %2").arg(SignalValueString(s.Minimum), SignalValueString(s.Maximum))
                                : QString();
            if (s.Mux == TDbcSignal::TMux::Multiplexor)
                range += QStringLiteral(" (multiplexor)");
            else if (s.Mux == TDbcSignal::TMux::Multiplexed)
                range += QStringLiteral(" (when the multiplexor is %1)").arg(s.MuxValue);
            ValuesTable->setItem(row, ColRange, fixed(range.trimmed()));
        }
        ValuesTable->resizeColumnToContents(ColSignal);
    }
    Encode();
}

void TSignalComposerDialog::OfferCounterSignal()
{
    if (CounterComboBox)
        return;
    CounterComboBox = new QComboBox(this);
    CounterComboBox->setObjectName(QStringLiteral("CounterComboBox"));
    CounterComboBox->setAccessibleName(QStringLiteral("Counter signal"));
    CounterComboBox->setToolTip(QStringLiteral("A signal that moves on by 1 after each send and wraps; "
                                               "the counter cell takes another step"));
    m_form->addRow(QStringLiteral("Rolling &counter:"), CounterComboBox);
    setTabOrder(MessageComboBox, CounterComboBox); // made last, reached second
    ListCounterSignals();
}

QString TSignalComposerDialog::CounterSignal() const
{
    return CounterComboBox ? CounterComboBox->currentData().toString() : QString();
}

void TSignalComposerDialog::ListCounterSignals()
{
    if (!CounterComboBox)
        return;
    CounterComboBox->clear();
    CounterComboBox->addItem(QStringLiteral("(none)"), QString());
    if (m_message)
        for (const TDbcSignal &s : m_message->Signals)
            if (TransmitDbc::CanCount(s))
                CounterComboBox->addItem(s.Name, s.Name);
}

void TSignalComposerDialog::Encode()
{
    m_data.clear();
    m_values.clear();
    m_error.clear();
    if (!m_message) {
        m_error = QStringLiteral("No message chosen: load a database in the Frame Monitor first.");
    } else {
        QHash<QString, double> values;
        for (int row = 0; row < ValuesTable->rowCount() && m_error.isEmpty(); ++row) {
            const TDbcSignal &s = m_message->Signals[row];
            const QString text = ValuesTable->item(row, ColValue)->text();
            if (text.trimmed().isEmpty())
                continue;
            double value = 0;
            if (ParseSignalValue(s, text, value))
                values.insert(s.Name, value);
            else
                m_error = QStringLiteral("%1: \"%2\" is not a number or one of its value texts").arg(s.Name, text);
        }
        if (m_error.isEmpty() && !EncodeSignals(*m_message, values, m_data, m_error))
            m_data.clear();
        if (m_error.isEmpty())
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                m_values.insert(it.key(), it.value());
        if (m_error.isEmpty() && m_message->Dlc > 8)
            m_error = QStringLiteral("%1 has %2 data bytes; the module sends at most 8").arg(m_message->Name).arg(m_message->Dlc);
    }
    if (m_error.isEmpty())
        BytesLabel->setText(QStringLiteral("Data bytes: ") + QString::fromLatin1(m_data.toHex(' ').toUpper()));
    else
        BytesLabel->setText(m_error);
    BytesLabel->setStyleSheet(m_error.isEmpty() ? QString() : QStringLiteral("color: #B00000"));
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(m_error.isEmpty());
}
