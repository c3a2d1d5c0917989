#include "cli/CliCommands.h"

#include "cli/CommandRun.h"
#include "cli/Interrupt.h"
#include "cli/StdOut.h"
#include "protocol/ModuleModes.h"
#include "transmit/PreciseAlarm.h"
#include "transmit/TransmitRunner.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>

#include <chrono>
#include <cstdio>

using namespace Cli;

namespace Cli {

// Every line goes out whole and at once, so a script (or Ctrl+C) never sees half of one. A
// failed write is kept by StdOut and decides the exit code at the end.
void out(const QByteArray &line)
{
    StdOut::Write(line + '\n');
}

void outRaw(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        StdOut::Write(bytes);
}

int64_t nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void err(const QString &message)
{
    std::fprintf(stderr, "k3316-cli: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

void outJson(const QJsonObject &object)
{
    out(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString modeName(int32_t mode)
{
    return mode == ModuleModes::Configuration ? QStringLiteral("configuration") : QStringLiteral("operation");
}

} // namespace Cli

TCommandRun::TCommandRun(const TCliOptions &options, TInterrupt *interrupt)
    : m_o(options), m_interrupt(interrupt), m_link(options.Port, options.Baud, options.TimeoutMs, interrupt)
{
}

int TCommandRun::Run()
{
    switch (m_o.Command) {
    case TCliCommand::Info: return Info();
    case TCliCommand::Get: return Get();
    case TCliCommand::Set: return Set();
    case TCliCommand::Defaults: return WriteProfile(Profiles::Defaults(), true);
    case TCliCommand::Send: return Send();
    case TCliCommand::Monitor: return Monitor();
    case TCliCommand::Transmit: return Transmit();
    case TCliCommand::Play: return Play();
    case TCliCommand::Decode: return Decode();
    case TCliCommand::Convert: return Convert();
    case TCliCommand::Serve: return Serve();
    case TCliCommand::Uds: return Uds();
    case TCliCommand::Slcan: return Slcan();
    case TCliCommand::None: break;
    }
    return CliExit::Usage;
}

bool TCommandRun::Interrupted() const
{
    return m_interrupt && m_interrupt->Requested();
}

int TCommandRun::FailInterrupted()
{
    return Fail(m_interrupt->ExitCode(), m_interrupt->Word());
}

// Prints the failure (as JSON too when asked) and returns `code`.
int TCommandRun::Fail(int code, const QString &message)
{
    if (m_o.Json) {
        QJsonObject o{{"ok", false}, {"error", message}, {"exit_code", code}};
        if (!m_adjusted.isEmpty())
            o.insert(QStringLiteral("adjusted"), m_adjusted);
        outJson(o);
    }
    err(message);
    return code;
}

// The verdict on an exchange with the module: Ctrl+C ends the exchanges early, and what they
// then lacked is no fault of the module.
bool TCommandRun::ExchangeSucceeded(bool ok, const QString &problem, int &code)
{
    if (Interrupted()) {
        code = FailInterrupted();
        return false;
    }
    if (!ok)
        code = Fail(CliExit::ModuleFault, problem);
    return ok;
}

// Opens the port and decides the mode; `wanted` 0 takes any mode.
bool TCommandRun::Connect(int32_t wanted, int &code)
{
    QString problem;
    if (!m_link.Open(problem)) {
        code = Fail(CliExit::PortFault, QStringLiteral("cannot open %1 (%2): %3")
                                            .arg(m_o.Port, m_link.Port().PortName(), problem));
        return false;
    }
    if (m_o.NoProbe) {
        // As the window's pair test: nothing is asked, lines go out without checksums.
        m_info = TModuleInfo();
        m_info.Mode = ModuleModes::PairTest;
        return true;
    }
    if (!ExchangeSucceeded(m_link.Connect(m_info, problem), problem, code))
        return false;
    if (wanted != 0 && m_info.Mode != wanted) {
        const QString hint = wanted == ModuleModes::Configuration
                                 ? QStringLiteral("; it answers in configuration mode only at 115200 bit/s")
                                 : QString();
        code = Fail(CliExit::ModuleFault, QStringLiteral("the module is in %1 mode, this command needs %2 mode%3")
                                              .arg(modeName(m_info.Mode), modeName(wanted), hint));
        return false;
    }
    return true;
}

// --dbc FILE...: all or nothing, before any port is opened.
bool TCommandRun::LoadDatabases(int &code)
{
    for (const QString &path : m_o.DbcFiles) {
        QString error, warning;
        if (!m_database.LoadFile(path, error, &warning, m_interrupt)) {
            code = Interrupted() ? FailInterrupted() : Fail(CliExit::Usage, error);
            return false;
        }
        if (!warning.isEmpty())
            err(warning);
    }
    return true;
}

// Runs the event loop, draining what the module sends, until `done`, the time is up, Ctrl+C,
// or the line is lost.
void TCommandRun::RunUntil(const std::function<bool()> &done)
{
    bool timeUp = false;
    // A timer waits at most 24.8 days: the alarm waits a day at most and looks at the deadline
    // again, so --seconds up to a year ends when it should.
    TPreciseAlarm alarm;
    if (m_o.Seconds > 0) {
        const int64_t deadlineUs = SteadyClockUs() + int64_t(m_o.Seconds * 1e6);
        QObject::connect(&alarm, &TPreciseAlarm::Fired, [&alarm, &timeUp, deadlineUs] {
            const int64_t now = SteadyClockUs();
            if (now >= deadlineUs)
                timeUp = true;
            else
                alarm.Start(deadlineUs - now);
        });
        alarm.Start(deadlineUs - SteadyClockUs());
    }
    // What the module sends meanwhile is not used, only kept from filling the driver's buffer:
    // emptied a few times a second instead of at every byte, which on a busy line cost the
    // list's runs most of their processor time (and woke them between their sends). A hang-up
    // shows at the next emptying.
    TQCCom32 &port = m_link.Port();
    const QString terminator = port.EndOfResponse();
    port.setEndOfResponse(QString()); // a read takes what is queued, without waiting
    QByteArray scratch;
    QTimer drain;
    drain.setInterval(DrainIntervalMs);
    QObject::connect(&drain, &QTimer::timeout, [&] {
        // A port closed by a loss stays closed: a read must not open it again.
        if (port.Opened())
            port.ReadResponse(scratch);
    });
    drain.start();
    while (!timeUp && !Interrupted() && !m_link.LineLost() && !done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    port.setEndOfResponse(terminator);
}

int TCommandRun::LostOrFailed()
{
    if (m_link.LineLost())
        return Fail(CliExit::ModuleFault, ModuleTexts::ConnectionLost(m_link.PortName()));
    return Fail(CliExit::ModuleFault, ModuleTexts::SendFailed());
}

int RunCliCommand(const TCliOptions &options, TInterrupt *interrupt)
{
    TCommandRun run(options, interrupt);
    const int code = run.Run();
    // Output that could not be written makes a success a failure.
    if (StdOut::Failed()) {
        err(StdOut::Problem());
        return code == CliExit::Ok ? CliExit::ModuleFault : code;
    }
    return code;
}
