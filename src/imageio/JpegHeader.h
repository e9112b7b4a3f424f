#pragma once

#include <QIODevice>
#include <optional>

// What libjpeg holds while decoding a JPEG, read from its markers before anything is decoded.
namespace JpegHeader {

// Bytes of the coefficient buffer libjpeg keeps for the whole picture when it comes in more than
// one scan (progressive, or components in scans of their own): about 2 bytes per sample, at
// whatever scaled size the picture is asked for. 0 for a picture in one scan, which is decoded a
// row of blocks at a time. Nothing when the markers up to the first scan cannot be read.
// Reads `file` from its start.
std::optional<qint64> wholeImageBytes(QIODevice& file);

} // namespace JpegHeader
