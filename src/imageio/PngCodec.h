#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>

// PNG written by the engine itself and read where Qt's reader falls short.
namespace PngCodec {

// Encodes in memory: 16-bit sources stay 16-bit, grey stays grey, alpha is kept (straight), and
// the colour space is recorded. Rows are compressed in parallel bands that form one zlib stream.
// Throws ImageError::outOfMemory.
QByteArray encode(const QImage& image);

// True for files Qt's reader decodes wrongly: 16-bit RGB with a transparent colour (tRNS).
bool needsOwnDecoder(QIODevice& file);

// Any PNG, 16-bit RGBA with the transparent colour turned into alpha; null when the file cannot
// be read or its header declares more than `maxBytes` decoded (refused before any row buffer is
// made). Both read `file` from its start.
QImage decode(QIODevice& file, qint64 maxBytes);

} // namespace PngCodec
