#pragma once
// Where `serve` listens: "ADDR:PORT" ("[ADDR]:PORT" for IPv6), and what it must say when that
// is not the loopback address.

#include <QHostAddress>
#include <QString>

struct TListenAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 29536; // socketcand's own port
};

// False with `error` set when `text` is not an address and a port (0 takes any free port).
// "localhost" stands for 127.0.0.1.
bool ParseListenAddress(const QString &text, TListenAddress &out, QString &error);

// The warning printed on start for an address other than the loopback; empty for the loopback.
QString ListenWarning(const TListenAddress &listen);

// "127.0.0.1:29536", "[::1]:29536".
QString ListenText(const QHostAddress &address, quint16 port);
