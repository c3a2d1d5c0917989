// The File menu's profile commands: fill the "Settings" page from a profile, write the page to
// one, and compare the page with what the module holds.

#include "ui/main/MainUnit.h"

#include "common/InputFile.h"
#include "common/SafeSave.h"
#include "protocol/BoxLists.h"
#include "protocol/Framing.h"
#include "protocol/ModuleReplies.h"
#include "protocol/Profile.h"
#include "ui/dialogs/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QFile>
#include <QFileDialog>
#include <QRadioButton>

namespace {

const QString kFilter = QStringLiteral("K-3316 profiles (*.json);;All files (*)");

// Reads a profile file whole, or says why not (a FIFO, a device or a directory is refused
// before anything waits, so the window never freezes on one).
bool readProfileFile(const QString &path, QByteArray &bytes, QString &error)
{
    if (ReadInputFile(path, TInputKind::Profile, bytes, error) == TInputResult::Read)
        return true;
    error = QStringLiteral("Cannot open the profile: %1").arg(error);
    return false;
}

QString boxText(const QComboBox *box, const QStringList &list)
{
    return BoxLists::EntryAt(list, ItemIndex(box));
}

} // namespace

TProfile TMainForm::PageProfile() const
{
    using namespace BoxLists;
    TProfile p;
    p.Rs232Baudrate = boxText(RS232BaudrateComboBox, RS232Baudrates());
    p.DataBit = boxText(RS232DataBitComboBox, DataBits());
    p.StopBit = boxText(RS232StopBitComboBox, StopBits());
    p.Parity = boxText(RS232ParityComboBox, Parities());
    p.AddChecksum = boxText(RS232ChecksumComboBox, NoYes());
    p.ErrorResponse = boxText(RS232RespondComboBox, NoYes());
    p.CanSpecification = boxText(CANSpecificationComboBox, CanSpecifications());
    p.CanBaudrate = boxText(CANBaudrateComboBox, CanBaudrates());
    p.AcceptanceCode = Profiles::PageHex(CanCodeEdit->text(), p.CanSpecification);
    p.AcceptanceMask = Profiles::PageHex(CanMaskEdit->text(), p.CanSpecification);
    p.PairConnection = ChkBox_Pair->isChecked();
    p.EndOfRs232Command = EntryAt(EndsOfCommand(), Unit.EndOfCommandIndex);
    p.FixedTxCanId = ChkBox_TxCANID->isChecked();
    p.TxCanId = Profiles::PageHex(CANIDEdit->text(), p.CanSpecification);
    p.ResponseWithCanId = ChkBox_RespWCANID->isChecked();
    return p;
}

void TMainForm::ApplyProfile(const TProfile &p)
{
    using namespace BoxLists;
    SetItemIndex(RS232BaudrateComboBox, int(RS232Baudrates().indexOf(p.Rs232Baudrate)));
    SetItemIndex(RS232DataBitComboBox, int(DataBits().indexOf(p.DataBit)));
    SetItemIndex(RS232StopBitComboBox, int(StopBits().indexOf(p.StopBit)));
    SetItemIndex(RS232ParityComboBox, int(Parities().indexOf(p.Parity)));
    SetItemIndex(RS232ChecksumComboBox, int(NoYes().indexOf(p.AddChecksum)));
    SetItemIndex(RS232RespondComboBox, int(NoYes().indexOf(p.ErrorResponse)));
    // The specification first, with its rule, so the fields take texts of its length.
    SetItemIndex(CANSpecificationComboBox, int(CanSpecifications().indexOf(p.CanSpecification)));
    CANSpecificationComboBoxChange(CANSpecificationComboBox);
    SetItemIndex(CANBaudrateComboBox, int(CanBaudrates().indexOf(p.CanBaudrate)));
    CanCodeEdit->setText(p.AcceptanceCode);
    CanMaskEdit->setText(p.AcceptanceMask);

    // Below firmware level 2 the pair controls cannot be used; the profile's pair fields wait.
    if (FirmwareLevel < 2)
        return;
    // The same rules as the user's clicks, run even where a box does not change, so the page
    // ends in the state those clicks leave.
    ChkBox_Pair->setChecked(p.PairConnection);
    ChkBox_PairClick(ChkBox_Pair);
    const int end = int(EndsOfCommand().indexOf(p.EndOfRs232Command));
    if (end == 0) {
        EndCmdRB1Click(EndCmdRB1);
    } else {
        RunEndOfCommandRule(end);
        ChkBox_TxCANID->setChecked(p.FixedTxCanId);
        ChkBox_TxCANIDClick(ChkBox_TxCANID);
        ChkBox_RespWCANID->setChecked(p.ResponseWithCanId);
    }
    CANIDEdit->setText(p.TxCanId);
}

void TMainForm::OpenProfileClick(QObject *)
{
    if (!Connected || ModuleMode != ModuleModes::Configuration) {
        ShowMessageBox(TMsgType::Warning, QStringLiteral("Connect to a module in configuration mode to open a profile."));
        return;
    }
    const QString path = ChooseProfileFile ? ChooseProfileFile(false)
                                           : QFileDialog::getOpenFileName(this, QStringLiteral("Open Profile"), QString(), kFilter);
    if (path.isEmpty())
        return;
    QByteArray json;
    QString error;
    if (!readProfileFile(path, json, error)) {
        ShowMessageBox(TMsgType::Error, error);
        return;
    }
    TProfile profile;
    QStringList problems;
    if (!Profiles::ParseProfile(json, profile, problems)) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("The profile was not loaded:\n") + problems.join(QLatin1Char('\n')));
        return;
    }
    // The page's rules first, so the page shows what Setting writes; the user hears of every
    // value they changed.
    QList<Profiles::TAdjustment> adjusted;
    ApplyProfile(Profiles::ApplyPageRules(profile, FirmwareLevel, &adjusted));
    if (!adjusted.isEmpty()) {
        QStringList lines;
        for (const Profiles::TAdjustment &a : adjusted)
            lines << Profiles::AdjustmentText(a);
        ShowMessageBox(TMsgType::Information,
                       QStringLiteral("The profile was loaded; the page's rules changed:\n") + lines.join(QLatin1Char('\n')));
    }
}

void TMainForm::SaveProfileAsClick(QObject *)
{
    const TProfile profile = PageProfile();
    if (const QStringList problems = Profiles::CheckProfile(profile); !problems.isEmpty()) {
        ShowMessageBox(TMsgType::Error, QStringLiteral("The page cannot be saved as a profile:\n") +
                                            problems.join(QLatin1Char('\n')));
        return;
    }
    const QString path = ChooseProfileFile ? ChooseProfileFile(true)
                                           : QFileDialog::getSaveFileName(this, QStringLiteral("Save Profile As"), QString(), kFilter);
    if (path.isEmpty())
        return;
    const QByteArray json = Profiles::WriteProfile(profile);
    // Written beside and renamed over: a full disk leaves the old file as it was.
    QString error;
    if (!SaveFileAtomically(path, json, &error))
        ShowMessageBox(TMsgType::Error, error);
}

QString TMainForm::SettingCaption(const QString &key) const
{
    const std::pair<const char *, QWidget *> controls[] = {
        {"rs232_baudrate", RS232BaudrateComboBox}, {"data_bit", RS232DataBitComboBox},
        {"stop_bit", RS232StopBitComboBox}, {"parity", RS232ParityComboBox},
        {"add_checksum", RS232ChecksumComboBox}, {"error_response", RS232RespondComboBox},
        {"can_specification", CANSpecificationComboBox}, {"can_baudrate", CANBaudrateComboBox},
        {"acceptance_code", CanCodeEdit}, {"acceptance_mask", CanMaskEdit},
        {"pair_connection", ChkBox_Pair}, {"end_of_rs232_command", GroupBox2},
        {"fixed_tx_can_id", ChkBox_TxCANID}, {"tx_can_id", CANIDEdit},
        {"response_with_can_id", ChkBox_RespWCANID},
    };
    QWidget *control = nullptr;
    for (const auto &[name, widget] : controls)
        if (key == QLatin1String(name))
            control = widget;
    if (!control)
        return key;
    QString caption;
    if (auto *box = qobject_cast<QGroupBox *>(control))
        caption = box->title();
    else if (auto *check = qobject_cast<QCheckBox *>(control))
        caption = check->text().trimmed().isEmpty() ? check->accessibleName() : check->text().trimmed();
    for (QLabel *label : findChildren<QLabel *>())
        if (caption.isEmpty() && label->buddy() == control)
            caption = label->text();
    caption.remove(QLatin1Char('&'));
    // The fixed identifier's box and its field share one caption on the page.
    if (key == QLatin1String("tx_can_id"))
        caption += QStringLiteral(" (Hex)");
    return caption.isEmpty() ? key : caption;
}

QString TMainForm::PageValueText(const TProfile &profile, const QString &key)
{
    const QString text = Profiles::ValueText(profile, key);
    if (text == QLatin1String("true"))
        return QStringLiteral("on");
    if (text == QLatin1String("false"))
        return QStringLiteral("off");
    return text;
}

void TMainForm::CompareWithModuleClick(QObject *)
{
    if (!Connected || ModuleMode != ModuleModes::Configuration) {
        ShowMessageBox(TMsgType::Warning, QStringLiteral("Connect to a module in configuration mode to compare."));
        return;
    }
    TRS232Settings rs232;
    TCanSettings can;
    if (!ReadRS232Settings(rs232) || !ReadCanSettings(can))
        return;
    // The page as "Setting" would write it, against what the module holds.
    const TProfile page = Profiles::ApplyPageRules(PageProfile(), FirmwareLevel);
    const TProfile module = Profiles::FromModule(rs232, can, FirmwareLevel);
    const QStringList keys = Profiles::DifferingKeys(page, module, FirmwareLevel);
    if (keys.isEmpty()) {
        ShowMessageBox(TMsgType::Information, QStringLiteral("The page and the module agree."));
        return;
    }
    QStringList lines;
    for (const QString &key : keys)
        lines << QStringLiteral("%1: page \"%2\", module \"%3\"")
                     .arg(SettingCaption(key), PageValueText(page, key), PageValueText(module, key));
    ShowMessageBox(TMsgType::Warning, QStringLiteral("The page and the module differ:\n") + lines.join(QLatin1Char('\n')));
}
