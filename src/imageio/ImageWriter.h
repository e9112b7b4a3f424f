#pragma once

#include "core/JobSettings.h"

#include <QImage>
#include <QString>
#include <functional>

// Stores one finished image in one file. Never chooses names or checks for existing files:
// the caller writes to a private temporary path and moves it into place.
namespace ImageWriter {

// `format` is already resolved; `same` is written as PNG. quality (0…1) matters for JPEG,
// HEIC and lossy WebP only. JPEG output is flattened onto white; every other format keeps alpha.
// Throws ImageError (cannotWrite, outOfMemory, or what checkFits() throws) or the tracer's errors
// for SVG. SVG goes to the writer given to setSvgWriter(); without one it is cannotWrite.
void write(const QImage& image, const QString& path, OutputFormat format, double quality,
           bool webpLossless);

// The tracer lives above this room and reads images through it, so it hands its writer down
// once at start-up instead of being called from here.
using SvgWriter = std::function<void(const QImage& image, const QString& path)>;
void setSvgWriter(SvgWriter writer);

// The image composed over opaque white, without alpha. Throws ImageError::outOfMemory.
QImage flatten(const QImage& image);

// Whether a HEIC file can hold a picture of this size (the encoder refuses some thin shapes).
bool heicCanHold(qint64 width, qint64 height);

// Refuses, before any work, a result of this size that the format cannot hold: throws
// ImageError (webpTooLarge, heicTooLarge, jpegTooLarge, heicShape). Other formats pass.
void checkFits(OutputFormat format, qint64 width, qint64 height);

} // namespace ImageWriter
