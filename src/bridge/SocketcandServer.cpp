#include "bridge/SocketcandServer.h"

#include "bridge/SocketcandProtocol.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace {

// A client whose own replies pile up this far beyond the frame limit is not reading at all.
constexpr int ReplySlack = 2;
constexpr int CloseLimitMs = 30000;
constexpr int CommandsPerTurn = 8;
constexpr qint64 ReadChunk = 1024;
// What Qt takes from the system for a client before we have answered it: beyond this, TCP's
// own flow control holds a client that sends faster than the module's line takes frames.
constexpr qint64 ReadBuffer = 16 * 1024;

// Closes once what was written has gone out. A client that reads on, however slowly, gets it all
// (a closing notice last); one that takes nothing for `waitMs` is cut off, and none is kept
// longer than CloseLimitMs.
void closeSoon(QTcpSocket *socket, int waitMs)
{
    socket->flush();
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        return;
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    QObject::connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    QObject::connect(socket, &QTcpSocket::bytesWritten, idle, [idle, waitMs] { idle->start(waitMs); });
    idle->start(waitMs);
    QTimer::singleShot(CloseLimitMs, socket, &QTcpSocket::abort);
}

} // namespace

TSocketcandServer::TSocketcandServer(const TServeOptions &options, TSendLine sendLine, QObject *parent)
    : QObject(parent), m_options(options), m_sendLine(std::move(sendLine)), m_server(new QTcpServer(this))
{
    m_clock.start();
    m_behindTimer.setInterval(250);
    connect(&m_behindTimer, &QTimer::timeout, this, &TSocketcandServer::CheckBehind);
    connect(m_server, &QTcpServer::newConnection, this, &TSocketcandServer::Accept);
}

TSocketcandServer::~TSocketcandServer()
{
    for (TClient *client : std::as_const(m_clients))
        if (client->socket)
            client->socket->disconnect(this);
    qDeleteAll(m_clients);
}

TSocketcandServer::TClient *TSocketcandServer::ClientOf(QTcpSocket *socket) const
{
    for (TClient *client : m_clients)
        if (!client->dead && client->socket == socket)
            return client;
    return nullptr;
}

int TSocketcandServer::ClientCount() const
{
    return int(std::count_if(m_clients.begin(), m_clients.end(), [](const TClient *c) { return !c->dead; }));
}

int TSocketcandServer::ClientsBehind() const
{
    return int(std::count_if(m_clients.begin(), m_clients.end(),
                             [](const TClient *c) { return !c->dead && c->backlog.Behind(); }));
}

bool TSocketcandServer::Listen(const QHostAddress &address, quint16 port, QString &problem)
{
    m_server->setMaxPendingConnections(m_options.maxClients + 1);
    if (m_server->listen(address, port))
        return true;
    problem = m_server->errorString();
    return false;
}

quint16 TSocketcandServer::Port() const
{
    return m_server->serverPort();
}

void TSocketcandServer::Accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Forget(socket); });
        if (ClientCount() >= m_options.maxClients) {
            socket->write(Socketcand::FormatError("too many clients: this server takes at most " +
                                                  QByteArray::number(m_options.maxClients)));
            closeSoon(socket, m_options.closeWaitMs);
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, m_options.socketBufferBytes);
        socket->setReadBufferSize(ReadBuffer);
        auto *client = new TClient(m_options);
        client->socket = socket;
        m_clients.append(client);
        // Looked up by socket: a client let go may still have signals on their way.
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            TClient *client = ClientOf(socket);
            if (client && client->backlog.Behind())
                if (const QByteArray report = client->backlog.TakeReport(socket->bytesToWrite()); !report.isEmpty())
                    socket->write(report);
        });
        if (m_options.openWithinMs > 0)
            QTimer::singleShot(m_options.openWithinMs, socket, [this, socket] {
                if (TClient *c = ClientOf(socket); c && !c->opened)
                    Drop(c, "no bus opened within " + QByteArray::number(m_options.openWithinMs / 1000.0) +
                                " s: closed");
            });
        socket->write(Socketcand::Hi);
        socket->flush();
    }
}

void TSocketcandServer::Read(QTcpSocket *socket)
{
    TClient *client = ClientOf(socket);
    if (!client) {
        socket->readAll(); // let go: what it still sends is not answered
        return;
    }
    // A few commands a turn: each send may wait for room on the serial line, and the module's
    // lines and the other clients must not wait behind a client that floods.
    int answered = 0;
    while (answered < CommandsPerTurn) {
        if (client->items.isEmpty()) {
            if (socket->bytesAvailable() == 0)
                break;
            client->reader.Feed(socket->read(ReadChunk), client->items);
            continue;
        }
        const TReadItem item = client->items.takeFirst();
        if (item.isError)
            Write(client, Socketcand::FormatError(item.text));
        else
            Answer(client, item.text);
        if (client->dead)
            return; // let go while answering
        ++answered;
    }
    if (client->closed)
        return;
    socket->flush();
    // Flushing may find the client gone, and forget it on the spot.
    if (client->dead)
        return;
    if ((!client->items.isEmpty() || socket->bytesAvailable() > 0) && !client->readQueued) {
        client->readQueued = true;
        QTimer::singleShot(0, socket, [this, socket] {
            if (TClient *c = ClientOf(socket)) {
                c->readQueued = false;
                Read(socket);
            }
        });
    }
}

void TSocketcandServer::Answer(TClient *client, const QByteArray &text)
{
    using namespace Socketcand;
    const TCommand command = ParseCommand(text);
    switch (command.kind) {
    case TCommandKind::Open:
        if (command.channel != m_options.channel) {
            Write(client, FormatError("no bus named " + command.channel + " here, only " + m_options.channel));
            return;
        }
        client->opened = true;
        Write(client, Ok);
        return;
    case TCommandKind::RawMode:
        if (!client->opened) {
            Write(client, FormatError("open the bus first"));
            return;
        }
        Write(client, Ok);
        if (client->dead || client->raw)
            return;
        client->raw = true;
        client->holding = true;
        QTimer::singleShot(m_options.rawStartMs, client->socket, [this, socket = client->socket] {
            if (TClient *c = ClientOf(socket)) {
                c->holding = false;
                socket->write(c->held);
                c->held.clear();
                socket->flush();
            }
        });
        return;
    case TCommandKind::Echo:
        Write(client, text);
        return;
    case TCommandKind::Send:
    case TCommandKind::SendRtr:
        if (!client->opened) {
            Write(client, FormatError("open the bus first"));
            return;
        }
        if (QByteArray problem; !m_sendLine(ModuleLine(command), problem))
            Write(client, FormatError(problem.isEmpty() ? QByteArray("the module did not take the frame") : problem));
        return;
    case TCommandKind::Error:
        Write(client, FormatError(command.error));
        return;
    }
}

void TSocketcandServer::Write(TClient *client, const QByteArray &text)
{
    if (client->dead || client->closed)
        return;
    if (client->socket->bytesToWrite() > ReplySlack * m_options.backlogBytes) {
        Drop(client, "not reading its replies");
        return;
    }
    client->socket->write(text);
}

void TSocketcandServer::Publish(const QByteArray &frame)
{
    const QByteArray text = frame + ' ';
    const int64_t now = NowMs();
    const QList<TClient *> clients = m_clients;
    for (TClient *client : clients) {
        if (client->dead || !client->raw)
            continue;
        const qint64 queued = client->socket->bytesToWrite() + client->held.size();
        if (client->backlog.Behind())
            if (const QByteArray report = client->backlog.TakeReport(queued); !report.isEmpty())
                client->socket->write(report);
        switch (client->backlog.Offer(client->socket->bytesToWrite() + client->held.size(), text.size(), now)) {
        case TClientBacklog::TVerdict::Send:
            if (client->holding)
                client->held += text;
            else
                client->socket->write(text);
            break;
        case TClientBacklog::TVerdict::Drop:
            if (!m_behindTimer.isActive())
                m_behindTimer.start();
            break;
        case TClientBacklog::TVerdict::Disconnect:
            Drop(client, BehindReason(client));
            break;
        }
    }
}

QByteArray TSocketcandServer::BehindReason(const TClient *client) const
{
    return QByteArray::number(qulonglong(client->backlog.Missed())) + " frames missed and still behind after " +
           QByteArray::number(m_options.graceMs / 1000.0) + " s: disconnected";
}

void TSocketcandServer::Flush()
{
    // A copy: flushing may find a client gone and forget it on the spot.
    const QList<TClient *> clients = m_clients;
    for (TClient *client : clients)
        if (!client->dead)
            client->socket->flush();
}

void TSocketcandServer::CheckBehind()
{
    const int64_t now = NowMs();
    bool anyBehind = false;
    const QList<TClient *> clients = m_clients;
    for (TClient *client : clients) {
        if (client->dead || !client->backlog.Behind())
            continue;
        if (client->backlog.Overdue(now)) {
            Drop(client, BehindReason(client));
            continue;
        }
        anyBehind = true;
    }
    if (!anyBehind)
        m_behindTimer.stop();
}

void TSocketcandServer::Drop(TClient *client, const QByteArray &reason)
{
    if (client->dead)
        return;
    client->dead = true;
    SweepLater();
    QTcpSocket *socket = client->socket;
    // Behind what is already queued: a client that reads on gets its frames, then why it goes.
    if (!reason.isEmpty())
        socket->write(Socketcand::FormatError(reason));
    closeSoon(socket, m_options.closeWaitMs);
}

void TSocketcandServer::Forget(QTcpSocket *socket)
{
    // A client that sends its last frames and closes at once has them sent all the same.
    if (TClient *client = ClientOf(socket)) {
        client->closed = true;
        while (!client->dead && (!client->items.isEmpty() || socket->bytesAvailable() > 0))
            Read(socket);
    }
    for (TClient *client : std::as_const(m_clients))
        if (client->socket == socket) {
            client->dead = true;
            client->socket = nullptr;
            SweepLater();
            break;
        }
    socket->deleteLater();
}

void TSocketcandServer::SweepLater()
{
    if (m_sweepQueued)
        return;
    m_sweepQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_sweepQueued = false;
        for (qsizetype i = m_clients.size() - 1; i >= 0; --i)
            if (m_clients[i]->dead)
                delete m_clients.takeAt(i);
    });
}

void TSocketcandServer::CloseAll(const QByteArray &reason)
{
    const QList<TClient *> clients = m_clients;
    for (TClient *client : clients)
        Drop(client, reason);
    m_server->close();
}
