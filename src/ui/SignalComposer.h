#pragma once
// "Compose from Database": choose a message, type its signals' values, and see the data bytes
// they make. The composer's fields are then filled from the result; what is sent stays the
// composer's line.

#include "dbc/DbcDatabase.h"

#include <QByteArray>
#include <QDialog>

class QComboBox;
class QDialogButtonBox;
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

    // The message chosen and the bytes its values make (valid while Ok is enabled).
    const TDbcMessage *Message() const { return m_message; }
    QByteArray Data() const { return m_data; }
    QString Error() const { return m_error; }

    QComboBox *MessageComboBox = nullptr;
    QTableWidget *ValuesTable = nullptr;
    QLabel *BytesLabel = nullptr;
    QDialogButtonBox *Buttons = nullptr;

private:
    void MessageChosen();
    void Encode();

    const TDbcDatabase &m_database;
    const TDbcMessage *m_message = nullptr;
    QByteArray m_data;
    QString m_error;
};

// The signal's value typed as a number (a point for decimals, under every locale) or as one of
// its value texts; false when it is neither.
bool ParseSignalValue(const struct TDbcSignal &signal, const QString &text, double &value);
