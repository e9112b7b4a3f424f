#pragma once

#include "Result.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QString>

// Turning the bytes of a generated image, in whatever format they came, into the PNG the studio
// saves. Pure functions, safe on any thread.
namespace GeneratedImage {

// No image model makes anything larger; a header that says more is refused before decoding.
inline constexpr int maxSide = 8192;

inline const QString cannotSave =
    QStringLiteral("The result could not be saved. Check whether the destination already exists "
                   "or is still available.");
inline const QString tooLarge =
    QStringLiteral("The generated image is larger than 8192 pixels a side, so it was not saved.");

// The PNG encoding of the decoded image. An image whose header declares a side over maxSide
// gives tooLarge without its pixels being decoded; bytes that do not decode give cannotSave.
Result<QByteArray> toPng(const QByteArray& bytes);
// The PNG bytes of `image`; empty when it is null or cannot be encoded.
QByteArray encodePng(const QImage& image);
// toPng() on a worker thread.
QFuture<Result<QByteArray>> toPngLater(const QByteArray& bytes);
// Writes `png` as a new file at `path`, through a hidden file beside it that never outlives the
// call, and never over anything already there. A null text once written, else the sentence:
// cannotSave when the path is taken, the PNG's own failure when there is no PNG, the file
// system's failure otherwise. Blocks for as long as the write takes (up to hundreds of MB).
QString saveAsNewFile(const Result<QByteArray>& png, const QString& path);
// saveAsNewFile() on a worker thread.
QFuture<QString> saveAsNewFileLater(const Result<QByteArray>& png, const QString& path);

} // namespace GeneratedImage
