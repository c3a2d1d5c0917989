#include "protocol/VersionedJson.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

bool OpenVersionedJson(const QByteArray &json, const QString &what, const QString &format, int version,
                       QJsonObject &object, QStringList &problems)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        problems << QStringLiteral("not JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset);
        return false;
    }
    if (!doc.isObject()) {
        problems << QStringLiteral("not %1: expected a JSON object").arg(what);
        return false;
    }
    object = doc.object();
    if (object.value(QLatin1String("format")) != QJsonValue(format))
        problems << QStringLiteral("format: must be \"%1\"").arg(format);
    if (object.value(QLatin1String("version")) != QJsonValue(version))
        problems << QStringLiteral("version: must be %1").arg(version);
    return true;
}
