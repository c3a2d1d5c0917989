#pragma once
// Runs a transmit list: one scheduler for all rows and one precise alarm, re-armed for the
// earliest deadline and idle when nothing runs. Due rows go out in batches, one batch a turn of
// the event loop, so a list of any length leaves time limits, signals and the window their turn.
// The clock and the way a line goes out are given by the owner (the window's send path, the
// command-line tool's port, a test's fakes).

#include "transmit/PreciseAlarm.h"
#include "transmit/TransmitRow.h"
#include "transmit/TransmitScheduler.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>

// Microseconds of a monotonic clock.
using TMicroClock = std::function<int64_t()>;
// Hands one message line (no checksum, no CR) to the module; false when it did not go out.
using TLineSender = std::function<bool(const QByteArray &messageLine)>;

int64_t SteadyClockUs();

class TTransmitRunner : public QObject {
    Q_OBJECT

public:
    TTransmitRunner(TMicroClock clock, TLineSender send, QObject *parent = nullptr);

    // Rows must have passed TransmitRows::CheckRow. Replacing the rows stops a run.
    void SetRows(const QList<TTransmitRow> &rows);
    const QList<TTransmitRow> &Rows() const { return m_rows; }
    // Edits while running: a changed periodic row starts again on a new grid from now.
    void SetRow(int row, const TTransmitRow &value);
    void InsertRow(int row, const TTransmitRow &value);
    void RemoveRow(int row);
    void SetEnabled(int row, bool enabled);

    // Sends the row once, now (its counter advances), whether or not a run goes on.
    bool SendNow(int row);
    // Starts every enabled periodic row; its first send is due at once.
    void Start();
    void Stop();
    bool Running() const { return m_running; }

    int64_t Sent(int row) const;
    // Periods the row passed over in its run because its sends came late (the list asks more
    // than the line or the machine gives).
    int64_t Missed(int row) const;
    // Sends per second of each row since the previous sample (the achieved rate), and whether
    // the row passed over a period since the sample before: its rate falls short of its period.
    void SampleRates();
    double Rate(int row) const;
    bool Behind(int row) const;
    // The data the row's next send carries (its counter as it stands).
    QByteArray CurrentData(int row) const;

    // The timer's handler: sends what is due and re-arms. Public for tests with a fake clock.
    void Tick();
    // Whether the alarm is armed, and for how many milliseconds (rounded up) from when it was armed.
    bool TimerArmed() const { return m_alarm.IsActive(); }
    int TimerIntervalMs() const { return int((m_alarm.WaitUs() + 999) / 1000); }
    // Scheduler slots held: no more than the most rows the list ever had at once.
    int SlotCount() const { return m_scheduler.SlotCount(); }

    // Rows sent in one turn of the event loop at most.
    static constexpr int BatchLimit = 64;

signals:
    void RunningChanged(bool running);
    // A line did not go out: the run has stopped.
    void SendFailed(int row);

private:
    struct TRunState {
        int slot = 0; // the row's slot in the scheduler
        int64_t sent = 0;
        QByteArray data;
        int64_t sampledSent = 0;
        double rate = 0;
        int64_t sampledMissed = 0;
        bool behind = false;
    };
    TRunState NewState(const TTransmitRow &row);
    void IndexSlots();
    bool SendRow(int row);
    void ScheduleRow(int row, int64_t nowUs);
    void Arm();
    void SetRunning(bool running);

    TMicroClock m_clock;
    TLineSender m_send;
    QList<TTransmitRow> m_rows;
    QList<TRunState> m_state;
    TTransmitScheduler m_scheduler;
    QList<int> m_rowOfSlot; // -1: a free slot
    TPreciseAlarm m_alarm;
    bool m_running = false;
    int64_t m_sampledAtUs = 0;
};
