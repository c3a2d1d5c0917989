#pragma once
// src/serial: the serial port component over a small POSIX termios layer, and port names.
// Uses common and Qt Core only, no window code: the command-line tools open ports through it too.
//
// TQCCom32: owns one serial port; writes command lines and collects one reply per call, waiting
// until an end-of-response sequence arrives or the response time runs out.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

class QSocketNotifier;

enum THandshake : uint8_t { hsNone = 0, hsHardware = 1 };

// What the component has to tell the user while ShowErrors is true. It knows no windows: its
// owner shows the report and says what the user chose.
enum TPortReport : uint8_t {
    prOpenError,    // the port cannot be opened; Abort gives up, anything else tries again
    prPortInUse,    // a reply wait started during another one; the answer does not matter
    prTimeout,      // no reply within ResponseTime; Retry waits another full interval
    prLineSettings, // the line cannot run at Baud; the answer does not matter
};
enum TPortAnswer : uint8_t { paNone, paAbort, paRetry };
using TPortReporter = std::function<TPortAnswer(TPortReport report, const QString &text)>;

class TQCCom32 : public QObject {
    Q_OBJECT
public:
    explicit TQCCom32(QObject *owner = nullptr);
    ~TQCCom32() override;

    bool AllowEvents() const { return m_allowEvents; }
    void setAllowEvents(bool value) { m_allowEvents = value; }
    int32_t Baud() const { return m_baud; }
    void setBaud(int32_t value);
    QString EndOfResponse() const { return m_endOfResponse; }
    void setEndOfResponse(const QString &value);
    QByteArray ResponseTerminator() const { return m_responseTerminator; }
    THandshake Handshaking() const { return m_handshaking; }
    void setHandshaking(THandshake value);
    int32_t InCount();
    bool InUse() const { return m_inUse; }
    uint32_t ResponseTime() const { return m_responseTime; }
    void setResponseTime(uint32_t value) { m_responseTime = value; }
    bool Opened() const;
    int32_t Port() const { return m_port; }
    void setPort(int32_t value);
    // A non-empty path is opened instead of the numbered port.
    QString DevicePath() const { return m_devicePath; }
    void setDevicePath(const QString &value);
    // The device opened: DevicePath, or "/dev/ttyS<Port-1>".
    QString PortName() const;
    // How messages name the port: "COM<n>", or the path.
    QString DisplayName() const;
    bool ShowErrors() const { return m_showErrors; }
    void setShowErrors(bool value) { m_showErrors = value; }
    bool TimedOut() const { return m_timedOut; }
    QString Version() const { return QStringLiteral("1.4.0"); }
    void setVersion(const QString &) {}

    // Why the last Open let go of a port it had opened (the line cannot run at Baud); empty
    // after a successful Open and when the device itself could not be opened.
    QString LineError() const { return m_lineError; }

    // True from the moment the device was found gone until the next explicit Open: a write or a
    // read never opens it again by itself (a device that comes back under the same name would
    // get lines meant for the one lost).
    bool Lost() const { return m_lost; }

    std::function<void(QObject *sender)> OnTimeout;
    // Called once, from the event loop, after the device went away; the port is closed by then.
    std::function<void(QObject *sender)> OnLineLost;

    // Shows the component's reports; without one they are dropped (and an open is not retried).
    TPortReporter OnReport;

    bool Open();
    void Close();
    bool SendCommand(const QByteArray &text);
    // How long a write waits for the device to take more bytes (2000 ms unless set; 0 writes
    // what fits and returns), and how many bytes the last SendCommand wrote.
    static constexpr int DefaultWriteStallMs = 2000;
    void setWriteStallMs(int value) { m_writeStallMs = value; }
    qsizetype LastWritten() const { return m_lastWritten; }
    void ReadResponse(QByteArray &reply);
    QByteArray ReadResponse();
    void DoTimeout();

    // True when the last read took every byte that was waiting; false again once a wait began.
    bool QueueEmptied() const { return m_queueEmptied; }

    // Blocks in the event loop until the port is readable or an event or timer arrives; returns
    // at once when bytes already wait.
    void WaitForInputOrEvents();

    // Called, from whatever event loop runs (a modal window's too), when bytes wait and no reply
    // wait owns the port; it must take them with ReadWaiting. Without one, such bytes stay at
    // the port until the next wait. An empty function ends it.
    void setOnInputWaiting(std::function<void()> handler);
    // Appends every byte waiting at the port, without waiting.
    void ReadWaiting(QByteArray &into) { ReadWaitingInto(into); }

    static uint32_t GetTickCount();
    // True once more than `interval` ms have passed since `start`; correct across the tick wrap.
    static bool DeadlinePassed(uint32_t start, uint32_t interval, uint32_t now);
    // The terminator that an EndOfResponse text stands for.
    static QByteArray ParseEndOfResponse(const QString &text);

private:
    void Reopen();
    TPortAnswer Report(TPortReport report, const QString &text);
    // Appends every byte waiting at the port, if any.
    void ReadWaitingInto(QByteArray &reply);
    void LineLost();
    // One wait for the port, an event or `timeoutMs` (negative: no limit). False when this
    // component was destroyed by an event handled meanwhile.
    bool WaitOnce(int timeoutMs, bool processEvents);
    void ArmNotifier();
    void DropNotifier();
    void EndReplyWait();

    bool m_allowEvents = false;
    int32_t m_baud = 9600;
    QString m_endOfResponse;
    QByteArray m_responseTerminator;
    THandshake m_handshaking = hsNone;
    bool m_inUse = false;
    uint32_t m_responseTime = 1000;
    int32_t m_port = 1;
    QString m_devicePath;
    bool m_showErrors = true;
    bool m_timedOut = false;
    bool m_lost = false;
    int m_writeStallMs = DefaultWriteStallMs;
    qsizetype m_lastWritten = 0;
    QString m_lineError;
    int m_portHandle;
    QPointer<QSocketNotifier> m_notifier;
    bool m_readSinceWait = false; // bytes were read since the last wait
    bool m_queueEmptied = false;  // see QueueEmptied
    static constexpr qsizetype ReadRoom = 4096;
    uint64_t m_waitSerial = 0;  // counts the waits on the port
    uint64_t m_wokenSerial = 0; // the wait the notifier last woke
    std::function<void()> m_onInputWaiting;
};
