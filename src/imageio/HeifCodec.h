#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

class RegularFile;

// HEIC, HEIF and AVIF through libheif; no Qt plugin reads them on this platform.
namespace HeifCodec {
// True when the file is an ISO-BMFF container that libheif does not rule out; it may still
// fail to open it, and then other readers get their turn.
bool sniff(const RegularFile& file);
// Display size of the primary image (rotations applied), without decoding pixels.
std::optional<QSize> pixelSize(const RegularFile& file);
// The primary image, 8 bits per channel, transformations applied; null when it cannot be read
// or is larger than `maxBytes` once decoded.
QImage decode(const RegularFile& file, qint64 maxBytes);
// sniff() and decode() for a file's bytes held in memory.
bool sniffData(const QByteArray& bytes);
QImage decodeData(const QByteArray& bytes, qint64 maxBytes);
// The smallest thumbnail stored in the file whose longer side is at least `minLongerSide`,
// decoded; null when the file holds none that large.
QImage embeddedThumbnail(const RegularFile& file, int minLongerSide, qint64 maxBytes);
// Whether the HEVC encoder takes a picture of this size: it refuses some long, thin shapes.
// Quick for ordinary shapes; thin ones are tried with a flat picture.
bool canEncode(qint64 width, qint64 height);
// Encodes as HEVC, alpha kept. quality is 0…100. Empty when libheif produced nothing.
// Throws ImageError::outOfMemory.
QByteArray encode(const QImage& image, int quality);
} // namespace HeifCodec
