#pragma once

#include <QIODevice>
#include <QImage>
#include <QImageIOHandler>

// EXIF orientation stored where Qt's readers do not look: a PNG's eXIf chunk and a WebP's EXIF
// chunk. JPEG, TIFF and HEIF orientation is applied by their own readers.
namespace ExifOrientation {

// The orientation of a PNG or WebP held by `device` (read from its start, position restored),
// as Qt's transformation flags; none for other formats or files without one.
QImageIOHandler::Transformations ofContainer(QIODevice& device);

// The orientation tag of TIFF-structured EXIF data (with or without the "Exif\0\0" prefix).
QImageIOHandler::Transformations ofExif(const QByteArray& exif);

// The image with the transformation applied: mirrors first, then the quarter turn, as Qt does.
QImage apply(QImage image, QImageIOHandler::Transformations transformation);

} // namespace ExifOrientation
