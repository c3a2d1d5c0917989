#pragma once
// The JSON Lines form of decoded protocols for `monitor --protocol` and `decode --protocol`:
// {"kind":"transfer",...} for a reassembled message, {"kind":"frame",...} for a frame that
// says something by itself.

#include "protocols/ProtocolFrame.h"

#include <QJsonObject>

QJsonObject TransferJson(const TTransfer &transfer);
QJsonObject DecodedFrameJson(const TBusFrame &frame, const QString &protocol, const QString &text);
