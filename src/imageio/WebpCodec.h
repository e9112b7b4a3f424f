#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>

class PixelBuffer;

// All libwebp calls of the program.
namespace WebpCodec {
// Whether the file starts as a WebP file does (a RIFF container of type WEBP), whatever its name.
bool sniff(QIODevice& file);
// Decodes a whole file's bytes to straight-alpha RGBA; null when libwebp cannot.
QImage decodeData(const QByteArray& bytes, qint64 maxBytes);
// Encodes a straight-alpha buffer; quality is libwebp's 0…100 factor and is ignored when
// lossless. Empty when libwebp produced nothing.
QByteArray encode(const PixelBuffer& buffer, bool lossless, float quality);
} // namespace WebpCodec
