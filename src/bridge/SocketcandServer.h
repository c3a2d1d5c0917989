#pragma once
// src/bridge: bridges to other tools: the socketcand protocol and server, Wireshark's extcap answers.
// Uses protocol, monitor, serial, common, Qt Core and Qt Network; no widgets.
//
// The socketcand server: clients connect over TCP, open the channel, switch to raw mode and then
// get every frame the module reports; their "send" commands become module lines. A slow client
// never holds up the others (see TClientBacklog); a client past the limit is refused.

#include "bridge/ClientBacklog.h"
#include "bridge/CommandReader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

struct TServeOptions {
    QByteArray channel = "k3316";
    int maxClients = 16;
    int64_t backlogBytes = 64 * 1024; // waiting in our buffer per client
    // The system's send buffer per client. Kept small, so a client that stops reading is seen
    // behind within seconds rather than after megabytes of frames, each older than the last.
    int socketBufferBytes = 64 * 1024;
    int64_t graceMs = 5000;
    // A client that has not opened the bus by then is closed, so silent connections cannot hold
    // every place for good. 0: no limit.
    int openWithinMs = 5000;
    // A client being closed that takes nothing for this long is cut off.
    int closeWaitMs = 1000;
    // python-can reads the answer to "< rawmode >" with one recv() and wants it alone: frames
    // reported from then on are held back this long, then sent.
    int rawStartMs = 100;
};

class TSocketcandServer : public QObject {
    Q_OBJECT
public:
    // `sendLine` writes one module line (no checksum, no CR) and says whether it went out; when
    // not, `problem` says why, for the client that sent it.
    using TSendLine = std::function<bool(const QByteArray &line, QByteArray &problem)>;

    TSocketcandServer(const TServeOptions &options, TSendLine sendLine, QObject *parent = nullptr);
    ~TSocketcandServer() override;

    // False with the system's reason when the address cannot be bound.
    bool Listen(const QHostAddress &address, quint16 port, QString &problem);
    quint16 Port() const;

    // One frame text ("< frame ... >") to every client in raw mode, a blank after it: python-can's
    // reader drops the character after the last whole message it has.
    void Publish(const QByteArray &frame);
    // Hands what Publish queued to the sockets now rather than on the next loop turn.
    void Flush();
    // Tells every client `reason` (when not empty) and closes every connection.
    void CloseAll(const QByteArray &reason);
    // Clients served: those being closed are not counted.
    int ClientCount() const;
    // Clients that have missed frames and not yet been told.
    int ClientsBehind() const;

private:
    struct TClient {
        QTcpSocket *socket = nullptr;
        TCommandReader reader;
        QList<TReadItem> items; // read, not yet answered
        bool readQueued = false;
        TClientBacklog backlog;
        bool opened = false;
        bool raw = false;
        bool holding = false; // frames wait in `held` until the answer to rawmode stands alone
        QByteArray held;
        // Let go: nothing is written to it any more, and the event loop deletes it later, so
        // no caller up the stack is left holding a freed client.
        bool dead = false;
        bool closed = false; // by the client: what it sent last is still carried out, unanswered
        explicit TClient(const TServeOptions &o) : backlog(o.backlogBytes, o.graceMs) {}
    };

    void Accept();
    TClient *ClientOf(QTcpSocket *socket) const;
    void Read(QTcpSocket *socket);
    void Answer(TClient *client, const QByteArray &command);
    void Write(TClient *client, const QByteArray &text);
    void Drop(TClient *client, const QByteArray &reason);
    void Forget(QTcpSocket *socket);
    // Deletes the clients let go, on the next turn of the event loop.
    void SweepLater();
    QByteArray BehindReason(const TClient *client) const;
    void CheckBehind();
    int64_t NowMs() const { return m_clock.elapsed(); }

    TServeOptions m_options;
    TSendLine m_sendLine;
    QTcpServer *m_server = nullptr;
    QList<TClient *> m_clients;
    QElapsedTimer m_clock;
    QTimer m_behindTimer; // runs only while some client is behind
    bool m_sweepQueued = false;
};
