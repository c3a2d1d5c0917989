#pragma once
// The serial settings dialog: COM port, module baud rate, reply timeout and the pair test,
// shown before every connect.

#include "serial/PortName.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMainForm;

class TSettingsForm : public QDialog {
    Q_OBJECT

public:
    explicit TSettingsForm(TMainForm *owner);

    void FormCreate(QObject *sender);
    void OkButtonClick(QObject *sender);
    void CancelButtonClick(QObject *sender);

    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *PortComboBox = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *K3316Baud = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *TimeOutEdit = nullptr;
    QLabel *Label3 = nullptr;
    QCheckBox *PairCheckBox = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;

    // Serial devices of this machine listed after "COM1" to "COM32" (by path; the numbered
    // /dev/ttyS ports are already there as COM names).
    static QStringList MachineSerialDevices();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TMainForm *m_main;
};
