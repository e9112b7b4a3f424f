#pragma once

#include <QIODevice>
#include <QImage>

// TIFF written through libtiff.
namespace TiffCodec {

// Uncompressed strips in the image's own depth and layout: grey stays grey (8 or 16 bits), a
// palette stays a palette, 16-bit colour stays 16-bit (floating-point colour becomes 16-bit),
// alpha is kept, associated for premultiplied formats and unassociated for straight ones, and
// the colour profile and resolution are recorded. The strips go straight to `device`: a TIFF
// is as large as its pixels, and a second copy in memory would cost as much as encoding it.
// False when libtiff or the device fails. Throws ImageError::outOfMemory.
bool write(const QImage& image, QIODevice& device);

} // namespace TiffCodec
