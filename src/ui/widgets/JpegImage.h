#pragma once
// JPEG pictures decoded with libjpeg directly, so a damaged picture can be refused instead of
// shown half grey, and nothing in libjpeg can end the program.

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a baseline or progressive JPEG into an RGB888 image. Returns a null image, with the
// reason in *error when given, for empty, corrupt or truncated data: libjpeg pads a file that ends
// early with grey and only warns, and such a half picture is refused as well.
QImage DecodeJpeg(const QByteArray &data, QString *error = nullptr);

// Reads a compiled-in picture (":/pictures/...") and decodes it; a null image when the resource is
// missing or does not decode.
QImage LoadJpegResource(const QString &path);
