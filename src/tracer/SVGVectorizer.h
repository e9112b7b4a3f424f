#pragma once

#include "ContourDetector.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

class CancelToken;

namespace SVGVectorizer {

// The longest side an image is traced at, the light margin around every mask, and the most
// points a document may hold.
constexpr int maxSide = 768;
constexpr int maskMargin = 2;
constexpr qint64 pointLimit = 150000;

// Traces the image into an SVG file of at most 8 flat colours, written atomically to `path`.
// Reports progress (0…1) through `progress` and checks `token` as it goes. Throws
// UpscaleError::cancelled, ImageError (outOfMemory, cannotWrite) or MessageError.
void write(const QImage& image, const QString& path, const CancelToken& token,
           const std::function<void(double)>& progress);

// The same with the given contour detector in place of the pixel-edge follower.
void write(const QImage& image, const QString& path, const CancelToken& token,
           const std::function<void(double)>& progress, const ContourDetector& detector);

// Makes ImageWriter::write(…, OutputFormat::svg, …) trace through write() with a token that is
// never set and no progress. Called once at start-up.
void registerWithImageWriter();

// The size an image is traced at: scaled by min(768 ÷ longer side, 1) in double precision,
// truncated, at least 1 on each side. The document keeps the image's own size.
QSize traceSize(QSize imageSize);

// The mask of palette index `index` over labels of `traceSize`: 0 for its pixels, 255 for all
// others and for a margin of maskMargin pixels on every side. Empty when no label equals index.
GreyMask mask(const std::vector<qint8>& labels, QSize traceSize, int index);

} // namespace SVGVectorizer
