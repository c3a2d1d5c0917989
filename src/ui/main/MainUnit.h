#pragma once
// src/ui/main: the top room, TMainForm and its parts (connection, settings page and dialog, rules,
// composer, receive list, status panels, menus). Uses every room below it and the layers under src/ui.
//
// The main window: every control, the connection state, and the handlers that drive the module.
// Its methods live in the files of their subsystem (Connection.cpp, ModuleSettings.cpp,
// CanRules.cpp, Composer.cpp, ReceiveMonitor.cpp); this file declares the whole class. The lines
// the module is sent and what its replies mean are protocol/ModuleSession's.
//
// The one thing to know before changing it: everything runs on the window's thread, and in
// operation and pair-test mode `AllEditStatus` enters `ReceiveLoop` and returns only when the
// connection or the mode ends. The connect handler that got there stays on the stack for the
// whole connection, and every other handler (Send, the timer, Disconnect, the dialogs, even a
// second Connect) runs nested inside that loop. A handler that clears `Connected` or changes
// `ModuleMode` ends the loop when it returns. `ComPort->ReadResponse` also waits while pumping
// events, so any handler that asks the module something can be re-entered by another handler
// meanwhile; the port's in-use flag is the only guard (a nested read gets an empty reply).

#include "controls/ValEdit1.h"
#include "protocol/ModuleModes.h"
#include "protocol/ModuleSession.h"
#include "protocol/Profile.h"
#include "serial/QCCom32.h"
#include "ui/main/StatusPanel.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class TReceiveListView;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;
class TReceiveModel;
class TReceiveReader;
class TFrameMonitor;
class TReplayDialog;
class TTransmitWindow;
class TFrameStore;
class TSignalDatabase;
struct TDbcMessage;

// Unit-level state shared by all methods of the window.
struct TMainUnitState {
    QByteArray LastResponse;
    QString ModuleModel = QStringLiteral("K-3316");
    QString MakerName = QStringLiteral("TERAVOX");
    int32_t EndOfCommandIndex = 0;

    // The module-settings copy, decoded from the settings replies.
    int32_t ModuleRS232Baud = 0;
    int32_t ModuleDataBits = 0;
    int32_t ModuleStopBits = 0;
    int32_t ModuleParity = 0;
    int32_t ModuleChecksum = 0;
    int32_t ModuleRespond = 0;
    int32_t ModuleCanSpec = 0;
    int32_t ModuleCanBaud = 0;
    int32_t ModuleCanHidden = 0;
    QString ModuleCanCode;
    QString ModuleCanMask;
    QString ModuleTxCanId;
    QString ModulePairFlag;
    QString ModuleTxIdFlag;
    QString ModuleRespIdFlag;
};

enum TCloseAction { caNone, caFree };

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // --- state (public: the settings dialog, the About box and tests read and write it) ---
    QString UtilityVersion;
    QString FirmwareVersion;
    int32_t FirmwareLevel = 0;
    int32_t ModuleMode = ModuleModes::NotConnected;
    bool Connected = false;
    bool SettingsAccepted = false;
    int32_t ModuleBaudIndex = 0;
    bool UseChecksum = false;
    bool Receiving = false;
    bool PairTestRequested = false;
    bool Probing = false; // a probe waits for its reply: Connect is not offered meanwhile
    TMainUnitState Unit;

    TQCCom32 *ComPort = nullptr;
    QTimer *Timer2 = nullptr;

    // --- framing helpers (MainUnit.cpp; thin names over protocol/Framing) ---
    static QByteArray AddChksum(const QByteArray &text);
    static bool Chksum(const QByteArray &reply);
    static int AscToInt(char c);

    // --- window, start-up and control states (MainUnit.cpp) ---
    void FormCreate(QObject *sender);
    // Asks first; on Yes ends the connection and lets the window close. Closing only hides it:
    // main() destroys it after the event loop has returned, never under a running handler.
    void FormClose(QObject *sender, TCloseAction &action);
    // Applies the control state of `Connected` and `ModuleMode`. In operation and pair-test mode
    // it then runs `ReceiveLoop` and BLOCKS (pumping events) until the connection or mode ends.
    void AllEditStatus();
    void QuitToolButtonClick(QObject *sender);
    void AboutToolButtonClick(QObject *sender);

    // --- connection and mode detection (Connection.cpp) ---
    // Blocks for the whole connection in operation or pair-test mode (through AllEditStatus).
    // Where the module answers in operation mode it runs AllEditStatus twice on purpose: the
    // first call is where the connection lives; the second runs after the connection has ended
    // and applies the not-connected state that the ending left.
    void ConnectToolButtonClick(QObject *sender);
    void DisconnectToolButtonClick(QObject *sender);
    void GetModuleInformation();
    // Shows the settings dialog modally (a nested event loop).
    void SettingToolButtonClick(QObject *sender);

    // --- module settings (ModuleSettings.cpp); each waits for the module's replies ---
    void GetModuleSettings();
    // Ask "#P0" / "#P1" and decode the reply; false (after the error box) when there is none.
    bool ReadRS232Settings(TRS232Settings &rs232);
    bool ReadCanSettings(TCanSettings &can);
    void SettingButtonClick(QObject *sender);
    void DefaultButtonClick(QObject *sender);

    // --- profiles (File menu, ProfileMenu.cpp); Compare waits for the module's replies ---
    void OpenProfileClick(QObject *sender);
    void SaveProfileAsClick(QObject *sender);
    void CompareWithModuleClick(QObject *sender);
    // What the Settings page calls a profile's setting, and how it shows a value ("on"/"off").
    QString SettingCaption(const QString &key) const;
    static QString PageValueText(const TProfile &profile, const QString &key);
    // The page as a profile, hex texts in the page's form.
    TProfile PageProfile() const;
    // Fills the page from a checked profile; the CAN-parameter rules run as for a user's choice.
    void ApplyProfile(const TProfile &profile);
    // Asks for a profile file to open (save false) or to write; empty when cancelled. Tests
    // replace it; by default a file dialog.
    std::function<QString(bool save)> ChooseProfileFile;

    // --- CAN-parameter rules (CanRules.cpp); never wait ---
    void CANSpecificationComboBoxChange(QObject *sender);
    void ChkBox_PairClick(QObject *sender);
    void ChkBox_TxCANIDClick(QObject *sender);
    void EndCmdRB1Click(QObject *sender);
    void EndCmdRB2Click(QObject *sender);
    void EndCmdRB3Click(QObject *sender);
    void EndCmdRB4Click(QObject *sender);
    void EndCmdRB5Click(QObject *sender);

    // --- message composer and sender (Composer.cpp); sending never waits for a reply ---
    void SendBitBtnClick(QObject *sender);
    void CANCheckBoxClick(QObject *sender);
    void ModeEditChange(QObject *sender);
    void RTREditChange(QObject *sender);
    void DLCEditChange(QObject *sender);
    void AutoBitBtnClick(QObject *sender);
    void StopBitBtnClick(QObject *sender);
    void Timer2Timer(QObject *sender);
    void IntervalEditChange(QObject *sender);
    void SetBitBtnClick(QObject *sender);
    // Opens "Compose from Database" (modal); its result fills the composer's fields.
    void ComposeFromDatabaseClick(QObject *sender);
    // Fills ID, MODE, RTR, DLC and D1..D8 for `message` with `data`, and ticks "Use CAN Message".
    void FillComposer(const TDbcMessage &message, const QByteArray &data);
    // The one way a message line goes out: its checksum when the module needs one, then CR.
    // False when not every byte was written.
    bool SendFramedLine(const QByteArray &line);
    // After a failed write: when it found the device gone, ends the connection and reports the
    // loss (once) and is true; the caller then says nothing more.
    bool ReportLossFoundByWrite();

    // --- receive monitor (ReceiveMonitor.cpp) ---
    // Runs until the connection or the mode ends; never returns earlier. Meanwhile the receive
    // reader takes every read, in this loop or any other (a modal window's). Sleeps on the port,
    // the window's events and timers: never spins.
    void ReceiveLoop();
    // One item of the receive list, read (listed while Receiving).
    void ReceivedItem(const QByteArray &item);
    void ReceiveBitBtnClick(QObject *sender);
    void ClearBitBtnClick(QObject *sender);
    void SaveBitBtnClick(QObject *sender);
    TReceiveModel *ReceiveItems() const { return m_receiveModel; }
    // Where "Receive.txt" is written; the working directory unless a test points it elsewhere.
    QString ReceiveFilePath() const;

    // --- frame monitor ---
    // Opens (or brings to the front) the "Frame Monitor" window.
    void FrameMonitor1Click(QObject *sender);
    TFrameStore *FrameStore() const { return m_frameStore.get(); }
    TFrameMonitor *FrameMonitorWindow() const { return m_frameMonitor; }
    // The CAN databases loaded (shared by the frame monitor, the plot and the composer).
    TSignalDatabase *SignalDatabase() const { return m_signalDatabase; }

    // --- transmit list and log replay (TransmitMenu.cpp); sending never waits for a reply ---
    // Opens (or brings to the front) the "Transmit List" window.
    void TransmitList1Click(QObject *sender);
    // Opens (or brings to the front) the "Replay Log" dialog.
    void ReplayLog1Click(QObject *sender);
    // A log of any format in a Frame Monitor window of its own, no module needed.
    void OpenLog1Click(QObject *sender);
    TTransmitWindow *TransmitWindow() const { return m_transmitWindow; }
    TReplayDialog *ReplayDialog() const { return m_replayDialog; }
    // Tells both whether lines may go out now; they stop when that ends. Run by AllEditStatus.
    void UpdateSendWindows();
    // The send path of both: the line framed as the composer frames it, false when it did not go out.
    bool SendMessageLine(const QByteArray &line);

    // The port as messages name it: "COM1", or the device path when one was chosen.
    QString PortDisplayName() const;

    // How many handlers are on the stack right now: the receive loop keeps the connect handler
    // there, and every later handler nests inside it. Only a test's window into that nesting;
    // the window itself decides nothing on it.
    int ActiveHandlers() const { return m_activeHandlers; }

    // --- controls ---
    // tool bar and menu
    QWidget *ToolBar1 = nullptr;
    QToolButton *ConnectToolButton = nullptr;
    QToolButton *DisconnectToolButton = nullptr;
    QToolButton *SettingToolButton = nullptr;
    QToolButton *QuitToolButton = nullptr;
    QToolButton *AboutToolButton = nullptr;
    QMenu *F1 = nullptr;
    QMenu *A1 = nullptr;
    QMenu *Options1 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *OpenProfile1 = nullptr;
    QAction *SaveProfileAs1 = nullptr;
    QAction *CompareWithModule1 = nullptr;
    QAction *Exit1 = nullptr;
    QAction *Connect1 = nullptr;
    QAction *Disconnect1 = nullptr;
    QAction *SerialIOsettings1 = nullptr;
    QAction *About1 = nullptr;
    QMenu *View1 = nullptr;
    QAction *FrameMonitor1 = nullptr;
    QAction *ComposeFromDatabase1 = nullptr;
    QAction *TransmitList1 = nullptr;
    QAction *ReplayLog1 = nullptr;
    QAction *OpenLog1 = nullptr;

    // status bar panels 0 to 3
    TStatusPanel *StatusPanel[4] = {nullptr, nullptr, nullptr, nullptr};

    QTabWidget *PageControl1 = nullptr;
    QWidget *SettingsPage = nullptr;
    QWidget *TestPage = nullptr;

    // "Settings" page
    QGroupBox *RS232GroupBox = nullptr;
    QComboBox *RS232BaudrateComboBox = nullptr;
    QComboBox *RS232DataBitComboBox = nullptr;
    QComboBox *RS232StopBitComboBox = nullptr;
    QComboBox *RS232ParityComboBox = nullptr;
    QComboBox *RS232ChecksumComboBox = nullptr;
    QComboBox *RS232RespondComboBox = nullptr;
    QGroupBox *CANGroupBox = nullptr;
    QComboBox *CANSpecificationComboBox = nullptr;
    QComboBox *CANBaudrateComboBox = nullptr;
    TNumberEdit *CanCodeEdit = nullptr;
    TNumberEdit *CanMaskEdit = nullptr;
    QCheckBox *ChkBox_Pair = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QRadioButton *EndCmdRB1 = nullptr;
    QRadioButton *EndCmdRB2 = nullptr;
    QRadioButton *EndCmdRB3 = nullptr;
    QRadioButton *EndCmdRB4 = nullptr;
    QRadioButton *EndCmdRB5 = nullptr;
    QCheckBox *ChkBox_TxCANID = nullptr;
    QLabel *Label31 = nullptr;
    TNumberEdit *CANIDEdit = nullptr;
    QLabel *Label33 = nullptr;
    QCheckBox *ChkBox_RespWCANID = nullptr;
    QPushButton *DefaultButton = nullptr;
    QPushButton *SettingButton = nullptr;

    // "Test" page
    QGroupBox *GroupBox1 = nullptr;
    TNumberEdit *IDEdit = nullptr;
    TNumberEdit *ModeEdit = nullptr;
    TNumberEdit *RTREdit = nullptr;
    TNumberEdit *DLCEdit = nullptr;
    TNumberEdit *D1Edit = nullptr;
    TNumberEdit *D2Edit = nullptr;
    TNumberEdit *D3Edit = nullptr;
    TNumberEdit *D4Edit = nullptr;
    TNumberEdit *D5Edit = nullptr;
    TNumberEdit *D6Edit = nullptr;
    TNumberEdit *D7Edit = nullptr;
    TNumberEdit *D8Edit = nullptr;
    TNumberEdit *DataEdits[8] = {};
    QCheckBox *CANCheckBox = nullptr;
    TNumberEdit *IntervalEdit = nullptr;
    QPushButton *SetBitBtn = nullptr;
    QLineEdit *SendEdit = nullptr;
    QPushButton *AutoBitBtn = nullptr;
    QPushButton *StopBitBtn = nullptr;
    QPushButton *SendBitBtn = nullptr;
    QLabel *ReceiveLabel = nullptr;
    TReceiveListView *ReceiveListBox = nullptr;
    QPushButton *ClearBitBtn = nullptr;
    QPushButton *SaveBitBtn = nullptr;
    QPushButton *ReceiveBitBtn = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    friend class THandlerScope;
    void BuildWindow();
    void BuildToolBarAndMenu();
    void BuildStatusBar();
    void BuildSettingsPage();
    void BuildTestPage();
    void BindHandlers();
    void SetTabOrders();

    // Runs a handler through the conversion-error guard, counting it as active. False when the
    // handler ended on a reported error.
    template <typename F>
    bool RunHandler(F &&handler);

    void ShutComposerDataControls();
    void SetParameterControlsEnabled(bool enabled);
    void SetPairControlsEnabled(bool enabled);
    void SetReceiveControlsEnabled(bool enabled);
    void RunEndOfCommandRule(int index);
    void ApplySpecificationLimits(bool spec20A);
    void OnLineLost();
    // True when the connection ended during a connect's exchanges (the device went away).
    bool ConnectionLostMeanwhile();
    // The module conversation on ComPort; every reply is kept in Unit.LastResponse.
    TModuleSession Session();

    TReceiveModel *m_receiveModel = nullptr;
    std::unique_ptr<TFrameStore> m_frameStore; // every byte the receive loop read, for the frame monitor
    TReceiveReader *m_receiveReader = nullptr;
    TFrameMonitor *m_frameMonitor = nullptr;   // made when first opened
    TSignalDatabase *m_signalDatabase = nullptr;
    TTransmitWindow *m_transmitWindow = nullptr; // made when first opened
    TReplayDialog *m_replayDialog = nullptr;     // made when first opened
    int m_activeHandlers = 0;
};

// Position of a combo box's selection in its list, or -1 when nothing (or a typed text that is
// not one of the entries) is selected.
int ItemIndex(const QComboBox *box);
// Selects the entry at `index`; an index outside the list leaves the box without a selection.
void SetItemIndex(QComboBox *box, int index);
