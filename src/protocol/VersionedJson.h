#pragma once
// The opening of the project's JSON files (profiles, transmit lists): one object carrying its
// "format" and "version".

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// False, with the one problem, when `json` is no JSON object (`what` names the kind of file:
// "a profile"). A wrong format or version is added to `problems` and the object is still
// returned, so every other problem of the file can be named too.
bool OpenVersionedJson(const QByteArray &json, const QString &what, const QString &format, int version,
                       QJsonObject &object, QStringList &problems);
