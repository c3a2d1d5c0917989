#include "ui/main/SettingsDlg.h"

#include "common/StrToInt.h"
#include "protocol/BoxLists.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/dialogs/HandlerGuard.h"
#include "ui/main/MainUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSerialPortInfo>
#include <QTabWidget>

namespace {

// Six digits, as the field has always held: about 16 minutes.
constexpr int32_t kMaxTimeout = 999999;

QLabel *label(QWidget *parent, const char *name, const QString &text, int left, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(left, top);
    l->adjustSize();
    return l;
}

} // namespace

QStringList TSettingsForm::MachineSerialDevices()
{
    static const QRegularExpression numbered(QStringLiteral("^/dev/ttyS[0-9]+$"));
    QStringList paths;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        if (!numbered.match(path).hasMatch() && !paths.contains(path))
            paths << path;
    }
    paths.sort();
    return paths;
}

TSettingsForm::TSettingsForm(TMainForm *owner) : QDialog(owner), m_main(owner)
{
    setObjectName(QStringLiteral("SettingsForm"));
    setWindowTitle(QStringLiteral("Settings"));
    setFont(StandardFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Wider than the tables' 200 pixels, so that a device path such as /tmp/ttyK3316-demo fits the port box.
    setFixedSize(232, 168);

    GroupBox1 = new QGroupBox(QStringLiteral("PC's RS-232 Settings"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 0, 233, 129);

    Label1 = label(GroupBox1, "Label1", QStringLiteral("COM Port"), 24, 20);
    PortComboBox = new QComboBox(GroupBox1);
    PortComboBox->setObjectName(QStringLiteral("PortComboBox"));
    PortComboBox->setGeometry(88, 16, 133, 21);
    PortComboBox->setEditable(true);
    PortComboBox->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= 32; ++n)
        PortComboBox->addItem(QStringLiteral("COM%1").arg(n));
    PortComboBox->addItems(MachineSerialDevices());
    PortComboBox->setAccessibleName(QStringLiteral("COM Port"));
    Label1->setBuddy(PortComboBox);

    Label4 = label(GroupBox1, "Label4", QStringLiteral("K-3316 Baud"), 20, 44);
    K3316Baud = new QComboBox(GroupBox1);
    K3316Baud->setObjectName(QStringLiteral("K3316Baud"));
    K3316Baud->setGeometry(88, 40, 81, 21);
    K3316Baud->setEditable(true);
    K3316Baud->setInsertPolicy(QComboBox::NoInsert);
    K3316Baud->addItems(BoxLists::RS232Baudrates());
    K3316Baud->setAccessibleName(QStringLiteral("K-3316 Baud"));
    Label4->setBuddy(K3316Baud);

    Label2 = label(GroupBox1, "Label2", QStringLiteral("Timeout"), 28, 68);
    TimeOutEdit = new QLineEdit(GroupBox1);
    TimeOutEdit->setObjectName(QStringLiteral("TimeOutEdit"));
    TimeOutEdit->setGeometry(88, 68, 81, 21);
    // No QLineEdit length limit: it would cut a pasted longer number silently; Ok refuses it.
    TimeOutEdit->setAccessibleName(QStringLiteral("Timeout"));
    Label2->setBuddy(TimeOutEdit);
    Label3 = label(GroupBox1, "Label3", QStringLiteral("ms"), 176, 76);

    PairCheckBox = new QCheckBox(QStringLiteral("PairConnection Test"), GroupBox1);
    PairCheckBox->setObjectName(QStringLiteral("PairCheckBox"));
    PairCheckBox->setGeometry(31, 104, 121, 17);

    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setGeometry(16, 136, 75, 25);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(112, 136, 76, 25);
    // Enter on the focused Cancel presses Cancel; elsewhere it presses Ok.
    CancelButton->setAutoDefault(true);

    setTabOrder(OkButton, CancelButton);
    setTabOrder(CancelButton, PortComboBox);
    setTabOrder(PortComboBox, TimeOutEdit);
    setTabOrder(TimeOutEdit, K3316Baud);
    setTabOrder(K3316Baud, PairCheckBox);
    // The dialog opens on its first stop, Ok, so that Tab into a field selects its text.
    OkButton->setFocus();

    connect(OkButton, &QPushButton::clicked, this, [this] { Guarded([this] { OkButtonClick(OkButton); }); });
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        Guarded([this] { CancelButtonClick(CancelButton); });
        reject();
    });

    Guarded([this] { FormCreate(this); });

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TSettingsForm::FormCreate(QObject *)
{
    TQCCom32 *com = m_main->ComPort;
    if (!com->DevicePath().isEmpty()) {
        const int index = PortComboBox->findText(com->DevicePath());
        PortComboBox->setCurrentIndex(index);
        if (index < 0)
            PortComboBox->setEditText(com->DevicePath());
    } else {
        SetItemIndex(PortComboBox, com->Port() >= 1 && com->Port() <= 32 ? com->Port() - 1 : -1);
    }
    TimeOutEdit->setText(QString::number(com->ResponseTime()));
    if (m_main->PageControl1->currentIndex() == 1) {
        SetItemIndex(K3316Baud, m_main->ModuleBaudIndex);
    } else {
        SetItemIndex(K3316Baud, 11);
        K3316Baud->setEnabled(false);
    }
}

void TSettingsForm::OkButtonClick(QObject *)
{
    TPortChoice choice;
    if (TrimBlanksAndControls(PortComboBox->currentText()).isEmpty() ||
        !ParsePortText(PortComboBox->currentText(), choice)) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("Please, enter a valid port name."));
        return;
    }
    const int32_t timeout = StrToInt(TimeOutEdit->text());
    if (timeout < 0) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("Please, enter a valid Timeout."));
        return;
    }
    if (timeout > kMaxTimeout) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("The Timeout is at most %1 ms.").arg(kMaxTimeout));
        return;
    }
    TQCCom32 *com = m_main->ComPort;
    if (choice.DevicePath.isEmpty()) {
        com->setDevicePath(QString());
        com->setPort(choice.Port);
    } else {
        com->setDevicePath(choice.DevicePath);
    }
    com->setResponseTime(uint32_t(timeout));
    com->setBaud(StrToInt(K3316Baud->currentText()));
    m_main->SettingsAccepted = true;
    m_main->PairTestRequested = PairCheckBox->isChecked();
    accept();
}

void TSettingsForm::CancelButtonClick(QObject *)
{
    m_main->SettingsAccepted = false;
}

void TSettingsForm::keyPressEvent(QKeyEvent *event)
{
    // Escape presses Cancel, running its handler; the close box only closes.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelButton->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
