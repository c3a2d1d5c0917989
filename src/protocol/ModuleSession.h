#pragma once
// src/protocol: the module's language without I/O or widgets: framing, replies, settings commands,
// the conversation steps, profiles. Uses common only; never includes anything from src/ui.
//
// The conversation with the module as separate steps over one exchange (write a line, read its
// reply), so the window and k3316-cli send the same lines in the same order and say the same
// things. Each step decides and names what to tell the user; the caller keeps its own order of
// effects between the steps (the window fills its status panels between two queries).

#include "protocol/ModuleReplies.h"
#include "protocol/ProbeReply.h"
#include "protocol/SettingsCommand.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// How a session reaches the module. Send writes a framed line (CR included) and says whether it
// went out whole; Receive returns the reply line, empty when none came in time.
struct TExchange {
    std::function<bool(const QByteArray &line)> Send;
    std::function<QByteArray()> Receive;
};

// What connecting found out. A probe that decided no mode leaves Message set.
struct TModuleIdentity {
    TProbeVerdict Verdict = TProbeVerdict::Failed; // Configuration, OperationAsS, Operation, TooLong, Failed
    bool UseChecksum = false;                      // only the checksummed probe was answered
    QByteArray Reply;                              // the probe reply the verdict came from
    QString FirmwareVersion;
    int32_t FirmwareLevel = 0;
    bool Identified = false; // maker and model were asked (configuration mode)
    QString Maker;
    QString Model;
    QString Message;

    bool Decided() const
    {
        return Verdict == TProbeVerdict::Configuration || Verdict == TProbeVerdict::OperationAsS ||
               Verdict == TProbeVerdict::Operation;
    }
    // Bytes that followed the probe reply's CR in the same read: the module's first lines.
    QByteArray Leftover() const;
};

// A step that reads something: a verdict and, when it failed, the text to show.
struct TStepResult {
    bool Ok = false;
    QString Message;
};

// One settings write and its confirmation.
struct TWriteStep {
    bool Sent = false;      // complete, and written whole
    bool Confirmed = false; // the reply began with "!P0" ("!P1")
    QByteArray Reply;
};

struct TWriteResult {
    TWriteStep RS232;
    TWriteStep Can;
    bool Ok() const { return RS232.Confirmed && Can.Confirmed; }
};

enum class TIdentityQuery { Version, Maker, Model };

namespace ModuleTexts {
// "Setting OK!!!" or "Setting Failed!!!": the verdict of a settings write.
QString SettingVerdict(bool ok);
// A message line that could not be written.
QString SendFailed();
// The device went away: `port` as the status bar names it.
QString ConnectionLost(const QString &port);
} // namespace ModuleTexts

class TModuleSession {
public:
    explicit TModuleSession(TExchange exchange) : m_exchange(std::move(exchange)) {}

    // "#A", and "#A64" when the plain probe got no answer or a refusal. `port` names the port
    // in the failure texts; `baud` is the PC's line speed.
    TModuleIdentity Probe(int32_t baud, const QString &port);
    // One identification query ("#PV", "#PC", "#PM"); nothing when the module said nothing, so
    // the text known before stays.
    std::optional<QString> Ask(TIdentityQuery query);
    // The probe, then in configuration mode version, maker and model.
    TModuleIdentity Identify(int32_t baud, const QString &port);

    // "#P0" and "#P1". A reply too short for its positions is as good as none.
    TStepResult ReadRS232(TRS232Settings &rs232);
    TStepResult ReadCan(int firmwareLevel, TCanSettings &can);
    TStepResult ReadSettings(int firmwareLevel, TRS232Settings &rs232, TCanSettings &can);

    // "$P0" and "$P1", each sent only when complete (a box without a selection would shift
    // every later field), each confirmed by its own reply.
    TWriteStep WriteRS232(const TRS232Write &rs232);
    TWriteStep WriteCan(const TCanWrite &can, int firmwareLevel);
    // Both writes, the second whatever the first's answer.
    TWriteResult WriteSettings(const TRS232Write &rs232, const TCanWrite &can, int firmwareLevel);
    // The default settings, with the hidden CAN digit 0.
    TWriteResult WriteDefaults(int firmwareLevel);

private:
    QByteArray Query(const QByteArray &command);
    TWriteStep Write(const QByteArray &command, const char *confirmation);

    TExchange m_exchange;
};
