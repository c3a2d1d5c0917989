#include "ui/main/MainUnit.h"

#include "common/Branding.h"
#include "common/Version.h"
#include "monitor/FrameStore.h"
#include "protocol/BoxLists.h"
#include "protocol/Framing.h"
#include "protocol/ModuleSession.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/ManualWindow.h"
#include "ui/dialogs/Dialogs.h"
#include "ui/framemonitor/FrameMonitor.h"
#include "ui/signals/SignalDatabase.h"
#include "ui/transmit/ReplayDialog.h"
#include "ui/transmit/TransmitWindow.h"
#include "ui/dialogs/HandlerGuard.h"
#include "ui/dialogs/PortMessages.h"
#include "ui/main/ReceiveListView.h"
#include "ui/main/ReceiveModel.h"
#include "ui/main/ReceiveReader.h"
#include "ui/widgets/Resources.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

QIcon buttonIcon(const QString &name)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/%1.png").arg(name), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/icons/%1_disabled.png").arg(name), QSize(), QIcon::Disabled);
    return icon;
}

template <typename W>
W *place(W *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QLabel *label(QWidget *parent, const QString &text, int left, int top, const char *name = nullptr)
{
    auto *l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    l->move(left, top);
    l->adjustSize();
    return l;
}

QComboBox *comboBox(QWidget *parent, const char *name, const QStringList &items, int left, int top,
                    const QString &accessibleName)
{
    auto *box = place(new QComboBox(parent), name, left, top, 81, 21);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setAccessibleName(accessibleName);
    return box;
}

TNumberEdit *numberEdit(QWidget *parent, const char *name, TNumberEditKind kind, int maxLength, bool upperCase,
                        const QString &text, int left, int top, int width, const QString &accessibleName)
{
    auto *edit = place(new TNumberEdit(parent), name, left, top, width, 21);
    edit->setKind(kind);
    edit->setMaxLength(maxLength);
    edit->setUpperCase(upperCase);
    edit->setText(text);
    edit->setAccessibleName(accessibleName);
    return edit;
}

QPushButton *pictureButton(QWidget *parent, const char *name, const QString &caption, const QString &icon,
                           int left, int top, int width, bool handCursor)
{
    auto *button = place(new QPushButton(caption, parent), name, left, top, width, 25);
    if (!icon.isEmpty()) {
        button->setIcon(buttonIcon(icon));
        button->setIconSize(QSize(16, 16));
    }
    if (handCursor)
        button->setCursor(Qt::PointingHandCursor);
    // Enter on a focused button presses it, as on the platform the window's users come from.
    button->setAutoDefault(true);
    return button;
}

} // namespace

// Counts the handlers on the stack (see ActiveHandlers).
class THandlerScope {
public:
    explicit THandlerScope(TMainForm *form) : m_form(form) { ++m_form->m_activeHandlers; }
    ~THandlerScope() { --m_form->m_activeHandlers; }
    THandlerScope(const THandlerScope &) = delete;
    THandlerScope &operator=(const THandlerScope &) = delete;

private:
    TMainForm *m_form;
};

template <typename F>
bool TMainForm::RunHandler(F &&handler)
{
    THandlerScope scope(this);
    return Guarded(std::forward<F>(handler));
}

int ItemIndex(const QComboBox *box)
{
    const int index = box->currentIndex();
    if (index < 0)
        return -1;
    // A typed text that differs from the selected entry means there is no selection.
    return box->itemText(index) == box->currentText() ? index : -1;
}

void SetItemIndex(QComboBox *box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    if (box->currentIndex() < 0 && box->isEditable())
        box->setEditText(QString());
}

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    InitK3316Resources();
    m_receiveModel = new TReceiveModel(this);
    m_frameStore = std::make_unique<TFrameStore>();
    m_signalDatabase = new TSignalDatabase(this);

    ComPort = new TQCCom32(this);
    ComPort->setObjectName(QStringLiteral("ComPort"));
    ComPort->setPort(1);
    ComPort->setBaud(115200);
    ComPort->setHandshaking(hsNone);
    ComPort->setEndOfResponse(QStringLiteral("#13"));
    ComPort->setResponseTime(500);
    ComPort->setShowErrors(false);
    ComPort->setAllowEvents(true);
    ComPort->OnReport = ShowPortReport;
    ComPort->OnLineLost = [this](QObject *) {
        // Reported from inside the port's own wait: end the connection once that has unwound.
        QTimer::singleShot(0, this, [this] { RunHandler([this] { OnLineLost(); }); });
    };

    m_receiveReader = new TReceiveReader(ComPort, m_frameStore.get(), this);
    m_receiveReader->OnItem = [this](const QByteArray &item) { ReceivedItem(item); };
    m_receiveReader->OnRecorded = [this] {
        if (m_frameMonitor)
            m_frameMonitor->StoreGrew();
    };

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(500);

    BuildWindow();
    BindHandlers();
    RunHandler([this] { FormCreate(this); });
}

TMainForm::~TMainForm()
{
    delete m_frameMonitor; // before the store it views
    // Their runs send through this window's port: they go first.
    delete m_transmitWindow;
    delete m_replayDialog;
}

void TMainForm::BuildWindow()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("K-3316 Utility"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    setFont(StandardFont());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    central->setFixedSize(484, 407 - 19);
    setCentralWidget(central);

    BuildToolBarAndMenu();
    BuildStatusBar();

    PageControl1 = place(new QTabWidget(central), "PageControl1", 4, 69, 477, 316);
    SettingsPage = new QWidget;
    SettingsPage->setObjectName(QStringLiteral("SettingsPage"));
    TestPage = new QWidget;
    TestPage->setObjectName(QStringLiteral("TestPage"));
    PageControl1->addTab(SettingsPage, QStringLiteral("Settings"));
    PageControl1->addTab(TestPage, QStringLiteral("Test"));
    BuildSettingsPage();
    BuildTestPage();
    SetTabOrders();

    adjustSize();
    setFixedSize(sizeHint());
    move(271, 115);
}

void TMainForm::BuildToolBarAndMenu()
{
    auto *bar = new QFrame(centralWidget());
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setGeometry(0, 0, 484, 64);
    bar->setFrameShape(QFrame::Box);
    bar->setFrameShadow(QFrame::Sunken);
    bar->setLineWidth(1);
    bar->setAccessibleName(QStringLiteral("Tool bar"));
    ToolBar1 = bar;

    struct ToolDef { QToolButton **button; const char *name; const char *caption; const char *icon; };
    const ToolDef tools[] = {
        {&ConnectToolButton, "ConnectToolButton", "Connect", "tb_connect"},
        {&DisconnectToolButton, "DisconnectToolButton", "Disconnect", "tb_disconnect"},
        {&SettingToolButton, "SettingToolButton", "Settings...", "tb_settings"},
        {&QuitToolButton, "QuitToolButton", "Exit", "tb_exit"},
        {&AboutToolButton, "AboutToolButton", "About", "tb_about"},
    };
    int left = 2;
    for (const ToolDef &t : tools) {
        auto *button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(t.name));
        button->setText(QString::fromLatin1(t.caption));
        button->setIcon(QIcon(QStringLiteral(":/icons/%1.png").arg(QString::fromLatin1(t.icon))));
        button->setIconSize(QSize(36, 36));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setGeometry(left, 4, 61, 56);
        button->setFocusPolicy(Qt::NoFocus);
        *t.button = button;
        // The hidden settings button takes no room on the bar.
        if (t.button == &SettingToolButton)
            button->hide();
        else
            left += 61;
    }

    QMenuBar *menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    F1 = menu->addMenu(QStringLiteral("&File"));
    F1->setObjectName(QStringLiteral("F1"));
    OpenProfile1 = F1->addAction(QStringLiteral("&Open Profile..."));
    OpenProfile1->setObjectName(QStringLiteral("OpenProfile1"));
    SaveProfileAs1 = F1->addAction(QStringLiteral("&Save Profile As..."));
    SaveProfileAs1->setObjectName(QStringLiteral("SaveProfileAs1"));
    CompareWithModule1 = F1->addAction(QStringLiteral("Co&mpare with Module"));
    CompareWithModule1->setObjectName(QStringLiteral("CompareWithModule1"));
    F1->addSeparator();
    OpenLog1 = F1->addAction(QStringLiteral("Open &Log..."));
    OpenLog1->setObjectName(QStringLiteral("OpenLog1"));
    ReplayLog1 = F1->addAction(QStringLiteral("&Replay Log..."));
    ReplayLog1->setObjectName(QStringLiteral("ReplayLog1"));
    F1->addSeparator();
    Exit1 = F1->addAction(QStringLiteral("&Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));

    A1 = menu->addMenu(QStringLiteral("&Actions"));
    A1->setObjectName(QStringLiteral("A1"));
    Connect1 = A1->addAction(QStringLiteral("&Connect"));
    Connect1->setObjectName(QStringLiteral("Connect1"));
    Connect1->setShortcut(QKeySequence(Qt::Key_F2));
    Connect1->setShortcutContext(Qt::WindowShortcut);
    Disconnect1 = A1->addAction(QStringLiteral("&Disconnect"));
    Disconnect1->setObjectName(QStringLiteral("Disconnect1"));
    Disconnect1->setShortcut(QKeySequence(Qt::Key_F3));
    Disconnect1->setShortcutContext(Qt::WindowShortcut);
    // Both actions belong to the window too, so their keys work while the menu is closed.
    addAction(Connect1);
    addAction(Disconnect1);
    A1->addSeparator();
    ComposeFromDatabase1 = A1->addAction(QStringLiteral("Compose from Data&base..."));
    ComposeFromDatabase1->setObjectName(QStringLiteral("ComposeFromDatabase1"));

    Options1 = menu->addMenu(QStringLiteral("&Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    SerialIOsettings1 = Options1->addAction(QStringLiteral("&Serial I/O settings..."));
    SerialIOsettings1->setObjectName(QStringLiteral("SerialIOsettings1"));
    // F5 belongs to the hidden Options entry, which comes first and runs nothing; the item's
    // own F5 is shown in the menu but never reached.
    SerialIOsettings1->setShortcut(QKeySequence(Qt::Key_F5));
    SerialIOsettings1->setShortcutContext(Qt::WidgetShortcut);
    Options1->menuAction()->setVisible(false);
    auto *optionsKey = new QShortcut(QKeySequence(Qt::Key_F5), this);
    optionsKey->setObjectName(QStringLiteral("Options1Shortcut"));

    View1 = menu->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    FrameMonitor1 = View1->addAction(QStringLiteral("&Frame Monitor"));
    FrameMonitor1->setObjectName(QStringLiteral("FrameMonitor1"));
    FrameMonitor1->setShortcut(QKeySequence(Qt::Key_F6));
    FrameMonitor1->setShortcutContext(Qt::WindowShortcut);
    addAction(FrameMonitor1);
    TransmitList1 = View1->addAction(QStringLiteral("&Transmit List"));
    TransmitList1->setObjectName(QStringLiteral("TransmitList1"));
    TransmitList1->setShortcut(QKeySequence(Qt::Key_F7));
    TransmitList1->setShortcutContext(Qt::WindowShortcut);
    addAction(TransmitList1);

    Help1 = menu->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    QAction *manual = Help1->addAction(QStringLiteral("&Manual"));
    manual->setObjectName(QStringLiteral("Manual1"));
    manual->setShortcut(QKeySequence(Qt::Key_F1));
    manual->setShortcutContext(Qt::WindowShortcut);
    addAction(manual);
    connect(manual, &QAction::triggered, this, [this] { ShowManual(this); });
    About1 = Help1->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));
}

void TMainForm::BuildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(19);
    // From the tables' 130, 103, 55, 200, moved so that each panel shows its texts whole inside the
    // window, a connection to /dev/ttyUSB0 or /tmp/ttyK3316 included; a longer path is elided in
    // the middle. The last panel ends at the window's edge.
    const int widths[4] = {146, 103, 52, 200};
    for (int i = 0; i < 4; ++i) {
        auto *panel = new TStatusPanel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i] - 2); // the bar puts a little space between panels
        panel->setMargin(0);
        panel->setIndent(2);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panel);
        StatusPanel[i] = panel;
    }
    StatusPanel[3]->setText(CopyrightLine(Unit.MakerName));
}

void TMainForm::BuildSettingsPage()
{
    QWidget *page = SettingsPage;

    RS232GroupBox = place(new QGroupBox(QStringLiteral("RS-232  Parameters"), page), "GroupBox3", 2, 8, 225, 249);
    struct ComboRow { QComboBox **box; const char *name; const char *label; QStringList items; const char *unit; };
    const ComboRow rs232Rows[] = {
        {&RS232BaudrateComboBox, "RS232BaudrateComboBox", "RS-232 Baudrate", BoxLists::RS232Baudrates(), "bit/sec"},
        {&RS232DataBitComboBox, "RS232DataBitComboBox", "Data Bit", BoxLists::DataBits(), "bit"},
        {&RS232StopBitComboBox, "RS232StopBitComboBox", "Stop Bit", BoxLists::StopBits(), "bit"},
        {&RS232ParityComboBox, "RS232ParityComboBox", "Parity", BoxLists::Parities(), "bit"},
        {&RS232ChecksumComboBox, "RS232ChecksumComboBox", "Add Checksum", BoxLists::NoYes(), nullptr},
        {&RS232RespondComboBox, "RS232RespondComboBox", "Error Response", BoxLists::NoYes(), nullptr},
    };
    int top = 20;
    for (const ComboRow &row : rs232Rows) {
        QLabel *caption = label(RS232GroupBox, QString::fromLatin1(row.label), 8, top + 4);
        *row.box = comboBox(RS232GroupBox, row.name, row.items, 96, top, QString::fromLatin1(row.label));
        caption->setBuddy(*row.box);
        if (row.unit)
            label(RS232GroupBox, QString::fromLatin1(row.unit), 184, top + 4);
        top += 24;
    }

    CANGroupBox = place(new QGroupBox(QStringLiteral("CAN Parameters"), page), "GroupBox4", 233, 8, 233, 249);
    QLabel *specLabel = label(CANGroupBox, QStringLiteral("CAN Specification"), 8, 24);
    CANSpecificationComboBox = comboBox(CANGroupBox, "CANSpecificationComboBox", BoxLists::CanSpecifications(), 104, 20,
                                        QStringLiteral("CAN Specification"));
    specLabel->setBuddy(CANSpecificationComboBox);
    QLabel *baudLabel = label(CANGroupBox, QStringLiteral("CAN bus Baudrate"), 8, 48);
    CANBaudrateComboBox = comboBox(CANGroupBox, "CANBaudrateComboBox", BoxLists::CanBaudrates(), 104, 44,
                                   QStringLiteral("CAN bus Baudrate"));
    baudLabel->setBuddy(CANBaudrateComboBox);
    label(CANGroupBox, QStringLiteral("bit/sec"), 192, 48);
    QLabel *codeLabel = label(CANGroupBox, QStringLiteral("Acceptance Code"), 8, 72);
    CanCodeEdit = numberEdit(CANGroupBox, "CanCodeEdit", neHex, 8, true, QStringLiteral("00000000"), 104, 68, 81,
                             QStringLiteral("Acceptance Code"));
    codeLabel->setBuddy(CanCodeEdit);
    label(CANGroupBox, QStringLiteral("(Hex)"), 192, 72);
    QLabel *maskLabel = label(CANGroupBox, QStringLiteral("Acceptance Mask"), 8, 96);
    CanMaskEdit = numberEdit(CANGroupBox, "CanMaskEdit", neHex, 8, true, QStringLiteral("00000000"), 104, 92, 81,
                             QStringLiteral("Acceptance Mask"));
    maskLabel->setBuddy(CanMaskEdit);
    label(CANGroupBox, QStringLiteral("(Hex)"), 192, 96);

    ChkBox_Pair = place(new QCheckBox(QStringLiteral("  Pair Connection"), CANGroupBox), "ChkBox_Pair", 8, 118, 121, 17);
    ChkBox_Pair->setAccessibleName(QStringLiteral("Pair Connection"));

    GroupBox2 = place(new QGroupBox(QStringLiteral("End of RS-232 Command"), CANGroupBox), "GroupBox2", 8, 136, 217, 57);
    EndCmdRB1 = place(new QRadioButton(QStringLiteral("None"), GroupBox2), "EndCmdRB1", 8, 16, 60, 17);
    EndCmdRB2 = place(new QRadioButton(QStringLiteral("CR"), GroupBox2), "EndCmdRB2", 80, 16, 50, 17);
    EndCmdRB3 = place(new QRadioButton(QStringLiteral("LF"), GroupBox2), "EndCmdRB3", 144, 16, 50, 17);
    EndCmdRB4 = place(new QRadioButton(QStringLiteral("CR_LF"), GroupBox2), "EndCmdRB4", 8, 34, 65, 17);
    EndCmdRB5 = place(new QRadioButton(QStringLiteral("LF_CR"), GroupBox2), "EndCmdRB5", 80, 34, 65, 17);
    EndCmdRB1->setChecked(true);

    ChkBox_TxCANID = place(new QCheckBox(CANGroupBox), "ChkBox_TxCANID", 8, 200, 17, 17);
    ChkBox_TxCANID->setAccessibleName(QStringLiteral("Fixed Tx CAN ID"));
    ChkBox_TxCANID->hide();
    Label31 = label(CANGroupBox, QStringLiteral("Fixed Tx CAN ID"), 32, 200, "Label31");
    CANIDEdit = numberEdit(CANGroupBox, "CANIDEdit", neHex, 8, true, QStringLiteral("00000001"), 124, 198, 65,
                           QStringLiteral("Fixed Tx CAN ID"));
    Label31->setBuddy(CANIDEdit);
    Label33 = label(CANGroupBox, QStringLiteral("(Hex)"), 192, 202, "Label33");
    ChkBox_RespWCANID = place(new QCheckBox(QStringLiteral("  Response with CAN ID"), CANGroupBox),
                              "ChkBox_RespWCANID", 8, 224, 145, 17);
    ChkBox_RespWCANID->setAccessibleName(QStringLiteral("Response with CAN ID"));

    DefaultButton = pictureButton(page, "DefaultButton", QStringLiteral("Defaults"), QStringLiteral("btn_defaults"),
                                  72, 259, 100, true);
    SettingButton = pictureButton(page, "SettingButton", QStringLiteral("Setting"), QStringLiteral("btn_setting"),
                                  304, 259, 100, true);
}

void TMainForm::BuildTestPage()
{
    QWidget *page = TestPage;

    GroupBox1 = place(new QGroupBox(QStringLiteral("CAN Message"), page), "GroupBox1", 0, 16, 273, 113);
    auto fieldLabel = [this](const QString &text, QWidget *field) {
        auto *l = new QLabel(text, GroupBox1);
        l->adjustSize();
        l->move(field->x() + (field->width() - l->width()) / 2, field->y() - l->height() - 1);
        l->setBuddy(field);
        return l;
    };
    IDEdit = numberEdit(GroupBox1, "IDEdit", neHex, 3, true, QStringLiteral("0"), 19, 32, 97, QStringLiteral("ID(Hex)"));
    ModeEdit = numberEdit(GroupBox1, "ModeEdit", neBin, 1, false, QStringLiteral("0"), 128, 32, 33, QStringLiteral("MODE"));
    RTREdit = numberEdit(GroupBox1, "RTREdit", neBin, 1, false, QStringLiteral("0"), 174, 32, 33, QStringLiteral("RTR"));
    DLCEdit = numberEdit(GroupBox1, "DLCEdit", neDec, 1, false, QStringLiteral("0"), 221, 32, 33, QStringLiteral("DLC"));
    DLCEdit->setMaxValue(8);
    fieldLabel(QStringLiteral("ID(Hex)"), IDEdit);
    fieldLabel(QStringLiteral("MODE"), ModeEdit);
    fieldLabel(QStringLiteral("RTR"), RTREdit);
    fieldLabel(QStringLiteral("DLC"), DLCEdit);

    static const char *const dataNames[8] = {"D1Edit", "D2Edit", "D3Edit", "D4Edit",
                                             "D5Edit", "D6Edit", "D7Edit", "D8Edit"};
    TNumberEdit **dataFields[8] = {&D1Edit, &D2Edit, &D3Edit, &D4Edit, &D5Edit, &D6Edit, &D7Edit, &D8Edit};
    for (int k = 0; k < 8; ++k) {
        const QString caption = QStringLiteral("D%1").arg(k + 1);
        *dataFields[k] = numberEdit(GroupBox1, dataNames[k], neHex, 2, true, QStringLiteral("0"), 5 + 33 * k, 80, 33,
                                    caption);
        DataEdits[k] = *dataFields[k];
        fieldLabel(caption, DataEdits[k]);
    }

    CANCheckBox = place(new QCheckBox(QStringLiteral("Use CAN Message"), page), "CANCheckBox", 7, 136, 128, 17);
    QLabel *intervalLabel = label(page, QStringLiteral("Interval"), 140, 137, "IntervalLabel");
    IntervalEdit = numberEdit(page, "IntervalEdit", neDec, 5, false, QStringLiteral("500"), 179, 135, 52,
                              QStringLiteral("Interval"));
    intervalLabel->setBuddy(IntervalEdit);
    SetBitBtn = pictureButton(page, "SetBitBtn", QStringLiteral("Set"), QString(), 232, 133, 33, false);
    SendEdit = place(new QLineEdit(page), "SendEdit", 7, 161, 258, 21);
    SendEdit->setAccessibleName(QStringLiteral("Send line"));

    AutoBitBtn = pictureButton(page, "AutoBitBtn", QStringLiteral("Auto"), QStringLiteral("btn_auto"), 8, 190, 65, true);
    StopBitBtn = pictureButton(page, "StopBitBtn", QStringLiteral("Stop"), QStringLiteral("btn_stop"), 80, 190, 65, true);
    SendBitBtn = pictureButton(page, "SendBitBtn", QStringLiteral("Send"), QStringLiteral("btn_send"), 183, 190, 81, true);

    ReceiveLabel = label(page, QStringLiteral("Receive"), 280, 5, "ReceiveLabel");
    ReceiveListBox = place(new TReceiveListView(page), "ReceiveListBox", 280, 21, 185, 161);
    ReceiveListBox->setModel(m_receiveModel);
    connect(m_receiveModel, &TReceiveModel::RowsShown, ReceiveListBox, &TReceiveListView::scrollToBottom);
    ReceiveListBox->setAccessibleName(QStringLiteral("Receive"));
    ReceiveLabel->setBuddy(ReceiveListBox);
    ReceiveListBox->setContextMenuPolicy(Qt::ActionsContextMenu);
    ReceiveListBox->addAction(FrameMonitor1);
    // The composer's group offers the same on its context menu, without moving a control.
    GroupBox1->setContextMenuPolicy(Qt::ActionsContextMenu);
    GroupBox1->addAction(ComposeFromDatabase1);

    ClearBitBtn = pictureButton(page, "ClearBitBtn", QStringLiteral("Clear"), QStringLiteral("btn_eraser"), 288, 190, 81, true);
    SaveBitBtn = pictureButton(page, "SaveBitBtn", QStringLiteral("Save"), QStringLiteral("btn_eraser"), 384, 190, 81, false);
    ReceiveBitBtn = pictureButton(page, "ReceiveBitBtn", QStringLiteral("Start"), QStringLiteral("btn_eraser"), 288, 224, 81,
                                  false);
}

void TMainForm::SetTabOrders()
{
    const QList<QWidget *> settingsOrder = {
        RS232BaudrateComboBox, RS232DataBitComboBox, RS232StopBitComboBox, RS232ParityComboBox,
        RS232ChecksumComboBox, RS232RespondComboBox, CANSpecificationComboBox, CANBaudrateComboBox,
        CanCodeEdit, CanMaskEdit, ChkBox_Pair, CANIDEdit, EndCmdRB1, EndCmdRB2, EndCmdRB3, EndCmdRB4,
        EndCmdRB5, ChkBox_TxCANID, ChkBox_RespWCANID, SettingButton, DefaultButton};
    const QList<QWidget *> testOrder = {
        ReceiveListBox, ClearBitBtn, IDEdit, ModeEdit, RTREdit, DLCEdit, D1Edit, D2Edit, D3Edit, D4Edit,
        D5Edit, D6Edit, D7Edit, D8Edit, CANCheckBox, SendEdit, AutoBitBtn, StopBitBtn, SendBitBtn,
        SetBitBtn, IntervalEdit, SaveBitBtn, ReceiveBitBtn};
    for (const QList<QWidget *> *order : {&settingsOrder, &testOrder})
        for (qsizetype i = 1; i < order->size(); ++i)
            QWidget::setTabOrder(order->at(i - 1), order->at(i));
}

void TMainForm::BindHandlers()
{
    auto onClick = [this](auto *sender, void (TMainForm::*handler)(QObject *)) {
        using Sender = std::remove_pointer_t<decltype(sender)>;
        if constexpr (std::is_base_of_v<QAction, Sender>)
            connect(sender, &QAction::triggered, this, [this, sender, handler] { RunHandler([&] { (this->*handler)(sender); }); });
        else
            connect(sender, &QAbstractButton::clicked, this, [this, sender, handler] { RunHandler([&] { (this->*handler)(sender); }); });
    };
    onClick(ConnectToolButton, &TMainForm::ConnectToolButtonClick);
    onClick(Connect1, &TMainForm::ConnectToolButtonClick);
    onClick(DisconnectToolButton, &TMainForm::DisconnectToolButtonClick);
    onClick(Disconnect1, &TMainForm::DisconnectToolButtonClick);
    onClick(SettingToolButton, &TMainForm::SettingToolButtonClick);
    onClick(SerialIOsettings1, &TMainForm::SettingToolButtonClick);
    onClick(QuitToolButton, &TMainForm::QuitToolButtonClick);
    onClick(Exit1, &TMainForm::QuitToolButtonClick);
    onClick(OpenProfile1, &TMainForm::OpenProfileClick);
    onClick(SaveProfileAs1, &TMainForm::SaveProfileAsClick);
    onClick(CompareWithModule1, &TMainForm::CompareWithModuleClick);
    onClick(AboutToolButton, &TMainForm::AboutToolButtonClick);
    onClick(About1, &TMainForm::AboutToolButtonClick);
    onClick(FrameMonitor1, &TMainForm::FrameMonitor1Click);
    onClick(ComposeFromDatabase1, &TMainForm::ComposeFromDatabaseClick);
    onClick(TransmitList1, &TMainForm::TransmitList1Click);
    onClick(ReplayLog1, &TMainForm::ReplayLog1Click);
    onClick(OpenLog1, &TMainForm::OpenLog1Click);
    onClick(SettingButton, &TMainForm::SettingButtonClick);
    onClick(DefaultButton, &TMainForm::DefaultButtonClick);
    onClick(SendBitBtn, &TMainForm::SendBitBtnClick);
    onClick(AutoBitBtn, &TMainForm::AutoBitBtnClick);
    onClick(StopBitBtn, &TMainForm::StopBitBtnClick);
    onClick(SetBitBtn, &TMainForm::SetBitBtnClick);
    onClick(ReceiveBitBtn, &TMainForm::ReceiveBitBtnClick);
    onClick(ClearBitBtn, &TMainForm::ClearBitBtnClick);
    onClick(SaveBitBtn, &TMainForm::SaveBitBtnClick);

    // Check boxes run their click rule on every change of the check mark, by user or program.
    auto onToggle = [this](QCheckBox *box, void (TMainForm::*handler)(QObject *)) {
        connect(box, &QCheckBox::toggled, this, [this, box, handler] { RunHandler([&] { (this->*handler)(box); }); });
    };
    onToggle(ChkBox_Pair, &TMainForm::ChkBox_PairClick);
    onToggle(ChkBox_TxCANID, &TMainForm::ChkBox_TxCANIDClick);
    onToggle(CANCheckBox, &TMainForm::CANCheckBoxClick);

    // A radio button runs its rule when it becomes checked.
    const std::pair<QRadioButton *, void (TMainForm::*)(QObject *)> radios[] = {
        {EndCmdRB1, &TMainForm::EndCmdRB1Click}, {EndCmdRB2, &TMainForm::EndCmdRB2Click},
        {EndCmdRB3, &TMainForm::EndCmdRB3Click}, {EndCmdRB4, &TMainForm::EndCmdRB4Click},
        {EndCmdRB5, &TMainForm::EndCmdRB5Click}};
    for (const auto &[radio, handler] : radios)
        // Init-captures: clang 14, which builds the sanitizer and fuzz tree, cannot capture bindings.
        connect(radio, &QRadioButton::toggled, this, [this, radio = radio, handler = handler](bool checked) {
            if (checked)
                RunHandler([&] { (this->*handler)(radio); });
        });

    // The specification box's change rule runs for user changes only.
    auto specChanged = [this] { RunHandler([this] { CANSpecificationComboBoxChange(CANSpecificationComboBox); }); };
    connect(CANSpecificationComboBox, &QComboBox::activated, this, specChanged);
    connect(CANSpecificationComboBox->lineEdit(), &QLineEdit::textEdited, this, specChanged);

    // Number fields tell their owner after every change handling.
    const std::pair<TNumberEdit *, void (TMainForm::*)(QObject *)> fields[] = {
        {ModeEdit, &TMainForm::ModeEditChange}, {RTREdit, &TMainForm::RTREditChange},
        {DLCEdit, &TMainForm::DLCEditChange}, {IntervalEdit, &TMainForm::IntervalEditChange}};
    for (const auto &[field, handler] : fields)
        field->OnChange = [this, field = field, handler = handler](QObject *sender) {
            if (!RunHandler([&] { (this->*handler)(sender); }))
                field->AbortChange();
        };

    connect(Timer2, &QTimer::timeout, this, [this] { RunHandler([this] { Timer2Timer(Timer2); }); });
}

QByteArray TMainForm::AddChksum(const QByteArray &text)
{
    return Framing::AddChksum(text);
}

bool TMainForm::Chksum(const QByteArray &reply)
{
    return Framing::Chksum(reply);
}

int TMainForm::AscToInt(char c)
{
    return Framing::AscToInt(c);
}

QString TMainForm::PortDisplayName() const
{
    return ComPort->DisplayName();
}

void TMainForm::FormCreate(QObject *)
{
    Unit.ModuleModel = QStringLiteral("K-3316");
    Unit.MakerName = QStringLiteral("TERAVOX");
    UtilityVersion = QStringLiteral(K3316_UTILITY_VERSION);
    FirmwareVersion.clear();
    FirmwareLevel = 0;

    ComPort->setBaud(115200);

    Unit.ModuleCanHidden = 0;
    Connected = false;
    ModuleBaudIndex = 11;
    Unit.EndOfCommandIndex = 0;
    ModuleMode = ModuleModes::NotConnected;
    UseChecksum = false;
    PairTestRequested = false;

    CANCheckBox->setChecked(false);

    AllEditStatus();

    for (QWidget *w : std::initializer_list<QWidget *>{IDEdit, RTREdit, DLCEdit, ModeEdit, D1Edit, D2Edit, D3Edit,
                                                       D4Edit, D5Edit, D6Edit, D7Edit, D8Edit, ChkBox_Pair, CANIDEdit,
                                                       ChkBox_TxCANID, ChkBox_RespWCANID, EndCmdRB1, EndCmdRB2,
                                                       EndCmdRB3, EndCmdRB4, EndCmdRB5, GroupBox2, Label31, Label33})
        w->setEnabled(false);

    PageControl1->setCurrentIndex(1);
}

void TMainForm::SetParameterControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{
             RS232BaudrateComboBox, RS232DataBitComboBox, RS232StopBitComboBox, RS232ParityComboBox,
             RS232ChecksumComboBox, RS232RespondComboBox, CANSpecificationComboBox, CANBaudrateComboBox,
             CanCodeEdit, CanMaskEdit, DefaultButton, SettingButton})
        w->setEnabled(enabled);
}

void TMainForm::SetPairControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{CANIDEdit, ChkBox_TxCANID, ChkBox_RespWCANID, EndCmdRB1,
                                                       EndCmdRB2, EndCmdRB3, EndCmdRB4, EndCmdRB5, GroupBox2,
                                                       Label31, Label33})
        w->setEnabled(enabled);
}

void TMainForm::SetReceiveControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{ReceiveLabel, ReceiveListBox, ClearBitBtn, SaveBitBtn,
                                                       ReceiveBitBtn})
        w->setEnabled(enabled);
}

void TMainForm::ShutComposerDataControls()
{
    CANCheckBox->setChecked(false);
    for (TNumberEdit *d : DataEdits)
        d->setEnabled(false);
    IntervalEdit->setEnabled(false);
    CANCheckBox->setEnabled(false);
    SendEdit->setEnabled(false);
}

void TMainForm::AllEditStatus()
{
    UpdateSendWindows();
    if (Connected) {
        StatusPanel[2]->setText(QStringLiteral("Ver: ") + FirmwareVersion);
        ConnectToolButton->setEnabled(false);
        DisconnectToolButton->setEnabled(true);
        StatusPanel[0]->setText(QStringLiteral("Connected to ") + PortDisplayName());

        if (ModuleMode == ModuleModes::Configuration) {
            for (QWidget *w : std::initializer_list<QWidget *>{RS232BaudrateComboBox, RS232DataBitComboBox,
                                                               RS232StopBitComboBox, RS232ParityComboBox})
                w->setEnabled(true);
            if (FirmwareLevel < 2) {
                RS232ChecksumComboBox->setEnabled(true);
                RS232RespondComboBox->setEnabled(true);
            }
            for (QWidget *w : std::initializer_list<QWidget *>{CANSpecificationComboBox, CANBaudrateComboBox,
                                                               CanCodeEdit, CanMaskEdit, DefaultButton, SettingButton})
                w->setEnabled(true);
            if (FirmwareLevel >= 2)
                ChkBox_Pair->setEnabled(true);
            SetReceiveControlsEnabled(false);
            StatusPanel[1]->setText(QStringLiteral("Configuration Mode"));
            ShutComposerDataControls();
            for (QWidget *w : std::initializer_list<QWidget *>{IDEdit, ModeEdit, RTREdit, DLCEdit})
                w->setEnabled(false);
        } else if (ModuleModes::Receives(ModuleMode)) {
            SetParameterControlsEnabled(false);
            AutoBitBtn->setEnabled(false);
            StopBitBtn->setEnabled(false);
            SendBitBtn->setEnabled(false);
            SetPairControlsEnabled(false);
            ChkBox_Pair->setEnabled(false);
            SetReceiveControlsEnabled(true);
            ReceiveBitBtn->setText(QStringLiteral("Stop"));
            Receiving = true;
            StatusPanel[1]->setText(ModuleMode == ModuleModes::Operation ? QStringLiteral("Operation Mode") : QStringLiteral("PairConnTest Mode"));
            Timer2->stop();
            AutoBitBtn->setEnabled(true);
            StopBitBtn->setEnabled(false);
            SendBitBtn->setEnabled(true);
            CANCheckBox->setChecked(false);
            IntervalEdit->setEnabled(true);
            CANCheckBox->setEnabled(true);
            SendEdit->setEnabled(true);
            for (QWidget *w : std::initializer_list<QWidget *>{IDEdit, ModeEdit, RTREdit, DLCEdit})
                w->setEnabled(false);
            IDEdit->setText(QStringLiteral("000"));
            IDEdit->setMaxLength(3);
            ModeEdit->setText(QStringLiteral("0"));
            RTREdit->setText(QStringLiteral("0"));
            DLCEdit->setText(QStringLiteral("8"));
            for (TNumberEdit *d : DataEdits)
                d->setText(QStringLiteral("00"));
            IntervalEdit->setText(QStringLiteral("500"));
            Timer2->setInterval(500);
            SetBitBtn->setEnabled(false);
            ReceiveLoop();
        }
        return;
    }

    ConnectToolButton->setEnabled(true);
    DisconnectToolButton->setEnabled(false);
    ChkBox_Pair->setChecked(false);
    SetParameterControlsEnabled(false);
    ChkBox_Pair->setEnabled(false);
    SetPairControlsEnabled(false);
    SetReceiveControlsEnabled(false);
    AutoBitBtn->setEnabled(false);
    StopBitBtn->setEnabled(false);
    SendBitBtn->setEnabled(false);
    ShutComposerDataControls();
    for (QWidget *w : std::initializer_list<QWidget *>{IDEdit, ModeEdit, RTREdit, DLCEdit})
        w->setEnabled(false);
    SetBitBtn->setEnabled(false);
    Timer2->stop();
    UseChecksum = false;
    FirmwareVersion.clear();
    FirmwareLevel = 0;
    StatusPanel[0]->setText(QStringLiteral("Not connected"));
    StatusPanel[1]->clear();
    StatusPanel[2]->clear();
}

void TMainForm::QuitToolButtonClick(QObject *)
{
    close();
}

void TMainForm::AboutToolButtonClick(QObject *)
{
    TAboutInfo info;
    info.UtilityVersion = UtilityVersion;
    info.FirmwareVersion = FirmwareVersion;
    info.Connected = Connected;
    info.ModuleMode = ModuleMode;
    TAboutBoxForm box(this, info);
    box.exec();
}

void TMainForm::FormClose(QObject *, TCloseAction &action)
{
    const TMsgAnswer answer =
        ShowMessageBox(TMsgType::Confirm, QStringLiteral("Close the K-3316 Utility ?"), TMsgButtons::YesNo);
    if (answer == TMsgAnswer::Yes) {
        if (Connected)
            DisconnectToolButtonClick(this);
        action = caFree;
    } else {
        action = caNone;
    }
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caNone;
    RunHandler([&] { FormClose(this, action); });
    if (action != caFree) {
        event->ignore();
        return;
    }
    event->accept();
    // The program ends with this window: the Transmit List, Replay Log, the Frame Monitor and
    // the plot go with it, else they would keep the program running on their own.
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible())
            w->close();
    }
}

void TMainForm::OnLineLost()
{
    // Before a connection stands (the probe) the connect itself reports the failure; after a
    // disconnect there is nothing left to lose.
    if (!Connected)
        return;
    const QString port = PortDisplayName();
    DisconnectToolButtonClick(this);
    ShowMessageBox(TMsgType::Error, ModuleTexts::ConnectionLost(port));
}

bool TMainForm::ReportLossFoundByWrite()
{
    // The write closed the port it found gone. Ending the connection now stops the sending
    // windows before they could call it a failed send: the loss is the one thing to say.
    if (!Connected || ComPort->Opened())
        return false;
    RunHandler([this] { OnLineLost(); });
    return true;
}
