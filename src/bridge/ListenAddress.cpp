#include "bridge/ListenAddress.h"

#include <algorithm>

bool ParseListenAddress(const QString &text, TListenAddress &out, QString &error)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        error = QStringLiteral("--listen \"%1\": expected ADDRESS:PORT, such as 127.0.0.1:29536").arg(text);
        return false;
    }
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':'))) {
        error = QStringLiteral("--listen \"%1\": write an IPv6 address in brackets, such as [::1]:29536").arg(text);
        return false;
    }
    // Digits only: toUInt alone would take "+5" and " 5" as port 5.
    bool ok = !portText.isEmpty() && portText.size() <= 5 &&
              std::all_of(portText.begin(), portText.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const uint port = ok ? portText.toUInt(&ok, 10) : 0;
    if (!ok || port > 65535) {
        error = QStringLiteral("--listen \"%1\": the port must be 0 to 65535").arg(text);
        return false;
    }
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host)) {
        error = QStringLiteral("--listen \"%1\": \"%2\" is not an IP address").arg(text, host);
        return false;
    }
    out.address = address;
    out.port = quint16(port);
    return true;
}

QString ListenWarning(const TListenAddress &listen)
{
    if (listen.address.isLoopback())
        return QString();
    return QStringLiteral("warning: listening on %1: anyone who can reach that address can send frames to the "
                          "bus (the socketcand protocol has no authentication)")
        .arg(listen.address.toString());
}

QString ListenText(const QHostAddress &address, quint16 port)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}
