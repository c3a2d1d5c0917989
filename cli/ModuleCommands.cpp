// info, get, set and defaults: the module's identity and its settings as profiles.

#include "cli/CommandRun.h"
#include "cli/ProfileInput.h"
#include "protocol/ModuleModes.h"
#include "protocol/Profile.h"

#include <QJsonArray>
#include <QSaveFile>

using namespace Cli;

int TCommandRun::Info()
{
    int code = 0;
    if (!Connect(0, code))
        return code;
    if (m_o.Json) {
        QJsonObject o{{"ok", true},
                      {"port", m_o.Port},
                      {"mode", modeName(m_info.Mode)},
                      {"firmware_version", m_info.FirmwareVersion},
                      {"firmware_level", m_info.FirmwareLevel},
                      {"checksums", m_info.UseChecksum}};
        o.insert(QStringLiteral("maker"), m_info.Identified ? QJsonValue(m_info.Maker) : QJsonValue());
        o.insert(QStringLiteral("model"), m_info.Identified ? QJsonValue(m_info.Model) : QJsonValue());
        outJson(o);
    } else {
        out("mode: " + modeName(m_info.Mode).toUtf8());
        out("firmware version: " + m_info.FirmwareVersion.toLatin1());
        out("firmware level: " + QByteArray::number(m_info.FirmwareLevel));
        // Operation mode answers no identification queries, as in the window.
        out("maker: " + (m_info.Identified ? m_info.Maker.toLatin1() : QByteArray("(not asked in operation mode)")));
        out("model: " + (m_info.Identified ? m_info.Model.toLatin1() : QByteArray("(not asked in operation mode)")));
        out(QByteArray("checksums: ") + (m_info.UseChecksum ? "on" : "off"));
    }
    return CliExit::Ok;
}

bool TCommandRun::ReadModule(TProfile &profile, int32_t &hidden, int &code)
{
    TRS232Settings rs232;
    TCanSettings can;
    const TStepResult read = m_link.Session().ReadSettings(m_info.FirmwareLevel, rs232, can);
    if (!ExchangeSucceeded(read.Ok, read.Message, code))
        return false;
    profile = Profiles::FromModule(rs232, can, m_info.FirmwareLevel);
    hidden = can.Hidden;
    return true;
}

int TCommandRun::Get()
{
    int code = 0;
    if (!Connect(ModuleModes::Configuration, code))
        return code;
    TProfile profile;
    int32_t hidden = 0;
    if (!ReadModule(profile, hidden, code))
        return code;
    if (const QStringList faults = Profiles::ModuleFaults(profile); !faults.isEmpty())
        return Fail(CliExit::ModuleFault,
                    QStringLiteral("the module reported values outside their lists: %1").arg(faults.join(", ")));
    const QByteArray json = Profiles::WriteProfile(profile);
    if (m_o.OutputFile.isEmpty()) {
        outRaw(json);
        return CliExit::Ok;
    }
    // Written beside and renamed over, so a full disk never leaves half a profile.
    QSaveFile file(m_o.OutputFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return Fail(CliExit::Usage, QStringLiteral("cannot write %1: %2").arg(m_o.OutputFile, file.errorString()));
    return CliExit::Ok;
}

int TCommandRun::Set()
{
    QByteArray json;
    QString problem;
    switch (ReadProfileInput(m_o.ProfileFile, m_interrupt, json, problem)) {
    case TProfileInput::Read: break;
    case TProfileInput::Refused: return Fail(CliExit::Usage, problem);
    case TProfileInput::Interrupted: return FailInterrupted();
    }
    TProfile profile;
    QStringList problems;
    if (!Profiles::ParseProfile(json, profile, problems)) {
        // Checked as a whole before the port is even opened: nothing is written.
        if (m_o.Json)
            outJson({{"ok", false}, {"error", QStringLiteral("bad profile")},
                     {"problems", QJsonArray::fromStringList(problems)}, {"exit_code", CliExit::Usage}});
        for (const QString &p : problems)
            err(m_o.ProfileFile + QStringLiteral(": ") + p);
        return CliExit::Usage;
    }
    return WriteProfile(profile, false);
}

// Writes `profile` and compares the read-back. A profile keeps the module's hidden CAN
// digit; the defaults put 0 there.
int TCommandRun::WriteProfile(const TProfile &profile, bool defaults)
{
    int code = 0;
    if (!Connect(ModuleModes::Configuration, code))
        return code;
    // The window reads the settings on connecting; the hidden digit is written back from it.
    TProfile before;
    int32_t moduleHidden = 0;
    if (!ReadModule(before, moduleHidden, code))
        return code;
    const int level = m_info.FirmwareLevel;
    // The page's rules, as the window runs them on opening a profile; every value they
    // change is told, so the read-back's verdict surprises no one.
    QList<Profiles::TAdjustment> adjusted;
    const TProfile expected = Profiles::ApplyPageRules(profile, level, &adjusted);
    for (const Profiles::TAdjustment &a : adjusted) {
        err(QStringLiteral("%1: adjusted %2").arg(defaults ? QStringLiteral("defaults") : m_o.ProfileFile,
                                                  Profiles::AdjustmentText(a)));
        m_adjusted.append(QJsonObject{{"key", a.Key}, {"from", a.From}, {"to", a.To}, {"why", a.Why}});
    }
    TRS232Write rs232;
    TCanWrite can;
    Profiles::ToWrites(expected, defaults ? 0 : moduleHidden, rs232, can);
    if (!IsCompleteCanWrite(can))
        return Fail(CliExit::ModuleFault,
                    QStringLiteral("the module's hidden CAN parameter reads %1, outside 0 to F: nothing was written")
                        .arg(can.Hidden));

    TModuleSession &session = m_link.Session();
    const TWriteResult written = defaults ? session.WriteDefaults(level) : session.WriteSettings(rs232, can, level);
    if (Interrupted())
        return FailInterrupted();
    if (!written.Ok()) {
        auto said = [](const TWriteStep &step) {
            if (!step.Sent)
                return QStringLiteral("could not be sent");
            if (step.Reply.isEmpty())
                return QStringLiteral("got no reply");
            return QStringLiteral("got \"%1\"").arg(QString::fromLatin1(step.Reply).trimmed());
        };
        QStringList parts;
        if (!written.RS232.Confirmed)
            parts << QStringLiteral("the RS-232 settings (\"$P0\") %1").arg(said(written.RS232));
        if (!written.Can.Confirmed)
            parts << QStringLiteral("the CAN settings (\"$P1\") %1").arg(said(written.Can));
        return Fail(CliExit::ModuleFault,
                    ModuleTexts::SettingVerdict(false) + QLatin1Char(' ') + parts.join(QStringLiteral("; ")));
    }

    TProfile back;
    int32_t backHidden = 0;
    if (!ReadModule(back, backHidden, code))
        return code;
    QStringList differing = Profiles::DifferingKeys(expected, back, level);
    QJsonArray diffs;
    for (const QString &key : differing)
        diffs.append(QJsonObject{{"key", key},
                                 {"written", Profiles::ValueText(expected, key)},
                                 {"module", Profiles::ValueText(back, key)}});
    if (m_o.Json) {
        outJson({{"ok", differing.isEmpty()},
                 {"confirmed", true},
                 {"firmware_level", level},
                 {"short_form", level < 2},
                 {"differing", diffs},
                 {"adjusted", m_adjusted},
                 {"exit_code", differing.isEmpty() ? CliExit::Ok : CliExit::ModuleFault}});
    } else {
        // One verdict: a write the module confirmed but does not hold is no success.
        if (differing.isEmpty()) {
            out(ModuleTexts::SettingVerdict(true).toUtf8() + " (confirmed \"!P0\" and \"!P1\")");
            out("read back: the module holds what was written");
        } else {
            out(ModuleTexts::SettingVerdict(false).toUtf8() +
                " (confirmed \"!P0\" and \"!P1\", but the module holds something else)");
        }
        for (const QString &key : differing)
            out(QStringLiteral("differs: %1: written \"%2\", module holds \"%3\"")
                    .arg(key, Profiles::ValueText(expected, key), Profiles::ValueText(back, key))
                    .toUtf8());
    }
    if (!differing.isEmpty()) {
        err(QStringLiteral("the module confirmed the write but holds something else: %1").arg(differing.join(", ")));
        return CliExit::ModuleFault;
    }
    return CliExit::Ok;
}
