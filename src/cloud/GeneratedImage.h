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

} // namespace GeneratedImage
