#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class PixelBuffer;

// All libwebp calls of the program.
namespace WebpCodec {
// Whether the file starts as a WebP file does (a RIFF container of type WEBP), whatever its name.
bool sniff(const QString& path);
// Decodes a whole file to straight-alpha RGBA; null when libwebp cannot.
QImage decode(const QString& path, qint64 maxBytes);
QImage decodeData(const QByteArray& bytes, qint64 maxBytes);
// Encodes a straight-alpha buffer; quality is libwebp's 0…100 factor and is ignored when
// lossless. Empty when libwebp produced nothing.
QByteArray encode(const PixelBuffer& buffer, bool lossless, float quality);
} // namespace WebpCodec
