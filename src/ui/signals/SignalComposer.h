#pragma once
// "Compose from Database": choose a message, type its signals' values, and see the data bytes
// they make. The composer's fields are then filled from the result; what is sent stays the
// composer's line. The transmit list's "Add from Database" makes a row from it the same way.

#include "dbc/DbcDatabase.h"

#include <QByteArray>
#include <QDialog>
#include <QMap>

class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QTableWidget;

class TSignalComposerDialog : public QDialog {
    Q_OBJECT

public:
    enum Column { ColSignal, ColValue, ColUnit, ColRange, ColumnCount };

    explicit TSignalComposerDialog(const TDbcDatabase &database, QWidget *parent = nullptr);

    // Chooses a message by name; false when there is none of that name.
    bool SelectMessage(const QString &name);
    // Types a value for a signal of the message chosen; false when it has no such signal.
    bool SetValue(const QString &signal, const QString &text);

    // Adds a choice of the message's signal that rolls as a counter (for the transmit list).
    void OfferCounterSignal();
    // The counter signal chosen; empty for none.
    QString CounterSignal() const;

    // The message chosen, the values typed (signals left empty are not given) and the bytes they
    // make (valid while Ok is enabled).
    const TDbcMessage *Message() const { return m_message; }
    QMap<QString, double> Values() const { return m_values; }
    QByteArray Data() const { return m_data; }
    QString Error() const { return m_error; }

    QComboBox *MessageComboBox = nullptr;
    QTableWidget *ValuesTable = nullptr;
    QComboBox *CounterComboBox = nullptr; // only once offered
    QLabel *BytesLabel = nullptr;
    QDialogButtonBox *Buttons = nullptr;

private:
    void MessageChosen();
    void Encode();
    void ListCounterSignals();

    const TDbcDatabase &m_database;
    QFormLayout *m_form = nullptr;
    const TDbcMessage *m_message = nullptr;
    QMap<QString, double> m_values;
    QByteArray m_data;
    QString m_error;
};

// The signal's value typed as a number (a point for decimals, under every locale) or as one of
// its value texts; false when it is neither.
bool ParseSignalValue(const struct TDbcSignal &signal, const QString &text, double &value);
