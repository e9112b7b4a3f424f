#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <functional>

class CancelToken;
class Model;

namespace Upscaler {
// Enlarges the image to exactly 4x its width and height, in 256-pixel tiles with 232-pixel cores
// and a 12-pixel replicated margin, row by row. Checks the token before each tile starts (a tile
// already running on a GPU may finish; nothing after it starts) and calls tick once after each
// tile's pixels are in the result. Colour comes from the model; alpha, when the source has any,
// from the source redrawn at 4x. Throws UpscaleError (cancelled, badOutput), ImageError
// (outOfMemory) or PlatformError.
QImage upscale4x(const QImage& image, Model& model, const CancelToken& token,
                 const std::function<void()>& tick);

// The 232-pixel tile cores of a width x height source, in the order they are run: row by row,
// each row left to right. Cores at the right and bottom edges are narrower or shorter.
QList<QRect> tileCores(int width, int height);

} // namespace Upscaler
