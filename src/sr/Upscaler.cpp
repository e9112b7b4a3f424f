#include "Upscaler.h"

#include "ModelPrivate.h"
#include "Vulkan.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "imageio/PixelBuffer.h"

#include <algorithm>
#include <climits>
#include <new>
#include <oneapi/dnnl/dnnl.hpp>

namespace {

constexpr int scale = 4;
constexpr int tileSide = 256;
constexpr int margin = 12;
constexpr int coreSide = tileSide - 2 * margin;
constexpr int outputOffset = scale * margin;
// The model's answer must reach past the enlarged core of every tile.
constexpr int minOutputSide = outputOffset + scale * coreSide;

static_assert(coreSide == 232 && minOutputSide == 976);

// Writes the tile's source pixels into the planar RGB input in 0…1. Positions outside the
// image repeat its first or last column and row.
void fillInput(const PixelBuffer& source, QPoint origin, float* input)
{
    const int width = int(source.width());
    const int height = int(source.height());
    int columns[tileSide];
    for (int tx = 0; tx < tileSide; ++tx)
        columns[tx] = std::clamp(origin.x() - margin + tx, 0, width - 1);
    constexpr int plane = tileSide * tileSide;
    constexpr float toUnit = 1.0f / 255.0f;
    for (int ty = 0; ty < tileSide; ++ty) {
        const std::uint8_t* row =
            source.data() +
            qint64(std::clamp(origin.y() - margin + ty, 0, height - 1)) * source.bytesPerRow();
        float* red = input + ty * tileSide;
        for (int tx = 0; tx < tileSide; ++tx) {
            const std::uint8_t* pixel = row + 4 * columns[tx];
            red[tx] = float(pixel[0]) * toUnit;
            red[tx + plane] = float(pixel[1]) * toUnit;
            red[tx + 2 * plane] = float(pixel[2]) * toUnit;
        }
    }
}

// The answer must be [1, 3+, rows, columns] large enough for every core; anything else would be
// read out of bounds.
void checkOutput(const sr::Shape& shape)
{
    if (shape[0] < 1 || shape[1] < 3 || shape[2] < minOutputSide || shape[3] < minOutputSide)
        throw UpscaleError::badOutput();
}

// Copies the enlarged core out of the model's planar answer; the overlapping margins are
// discarded.
void copyCore(const float* answer, const sr::Shape& shape, const QRect& core, PixelBuffer& target)
{
    const std::int64_t rowStep = shape[3];
    const std::int64_t plane = shape[2] * rowStep;
    const float* first = answer + outputOffset * rowStep + outputOffset;
    const int columns = scale * core.width();
    for (int r = 0; r < scale * core.height(); ++r) {
        const float* red = first + r * rowStep;
        std::uint8_t* pixel =
            target.row(qint64(scale) * core.y() + r) + 4 * qint64(scale) * core.x();
        for (int c = 0; c < columns; ++c, pixel += 4) {
            pixel[0] = Upscaler::byteFromModel(red[c]);
            pixel[1] = Upscaler::byteFromModel(red[c + plane]);
            pixel[2] = Upscaler::byteFromModel(red[c + 2 * plane]);
            pixel[3] = 255;
        }
    }
}

void runTile(Model::Private& model, const PixelBuffer& source, const QRect& core,
             PixelBuffer& target)
{
    // The input and the answer live in the network's own memory: both under the lock.
    std::lock_guard lock(model.lock);
    for (;;) {
        sr::Executor& network = *model.network;
        fillInput(source, core.topLeft(), network.input());
        try {
            copyCore(network.run(), network.outputShape(), core, target);
            return;
        } catch (const sr::DeviceError& error) {
            if (!model.graph)
                throw;
            // The GPU failed: this tile and every later one run on the CPU.
            qCWarning(lcModel).noquote() << FileNames::lastPathComponent(model.path)
                                         << "moves to the CPU:" << network.device().c_str()
                                         << error.what();
            model.fallBackToCpu();
        }
    }
}

// Replaces the alpha bytes with the source's alpha drawn at the target's size with high quality.
void copyAlpha(const QImage& image, PixelBuffer& target)
{
    QImage scaled = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied)
                        .scaled(int(target.width()), int(target.height()), Qt::IgnoreAspectRatio,
                                Qt::SmoothTransformation);
    scaled.convertTo(QImage::Format_RGBA8888_Premultiplied);
    if (scaled.isNull() || scaled.format() != QImage::Format_RGBA8888_Premultiplied)
        throw ImageError::outOfMemory();
    for (int y = 0; y < scaled.height(); ++y) {
        const std::uint8_t* from = scaled.constScanLine(y);
        std::uint8_t* to = target.row(y);
        for (qint64 x = 0; x < target.width(); ++x)
            to[4 * x + 3] = from[4 * x + 3];
    }
}

// The model's colour at 4x with opaque alpha; the converted source lives only this long.
PixelBuffer enlargeColour(const QImage& image, Model& model, const CancelToken& token,
                          const std::function<void()>& tick)
{
    const PixelBuffer source = PixelBuffer::from(image);
    // QImage sides are int; a larger result cannot be held as an image at all.
    if (scale * source.width() > INT_MAX || scale * source.height() > INT_MAX)
        throw ImageError::outOfMemory();
    PixelBuffer target(scale * source.width(), scale * source.height());
    {
        std::lock_guard lock(model.d().lock);
        if (model.d().network->inputShape() != sr::Shape{1, 3, tileSide, tileSide})
            throw UpscaleError::badOutput();
        checkOutput(model.d().network->outputShape());
    }
    for (const QRect& core : Upscaler::tileCores(int(source.width()), int(source.height()))) {
        token.check();
        runTile(model.d(), source, core, target);
        tick();
    }
    return target;
}

QImage upscale(const QImage& image, Model& model, const CancelToken& token,
               const std::function<void()>& tick)
{
    PixelBuffer target = enlargeColour(image, model, token, tick);
    const bool hasAlpha = image.hasAlphaChannel();
    if (hasAlpha)
        copyAlpha(image, target);
    QImage result = target.makeImage(hasAlpha);
    if (result.isNull())
        throw ImageError::outOfMemory();
    return result;
}

} // namespace

namespace Upscaler {

QImage upscale4x(const QImage& image, Model& model, const CancelToken& token,
                 const std::function<void()>& tick)
{
    try {
        return upscale(image, model, token, tick);
    } catch (const dnnl::error& error) {
        qCWarning(lcModel) << model.fileName() << error.what();
        if (error.status == dnnl_out_of_memory)
            throw ImageError::outOfMemory();
        throw PlatformError(QStringLiteral("Can't run the model %1").arg(model.fileName()));
    } catch (const std::bad_alloc&) {
        throw ImageError::outOfMemory();
    }
}

QList<QRect> tileCores(int width, int height)
{
    QList<QRect> cores;
    for (int y0 = 0; y0 < height; y0 += coreSide)
        for (int x0 = 0; x0 < width; x0 += coreSide)
            cores.append(
                QRect(x0, y0, std::min(coreSide, width - x0), std::min(coreSide, height - y0)));
    return cores;
}

std::uint8_t byteFromModel(float value)
{
    const float x = value * 255.0f + 0.5f;
    // Branch-free: it runs for every channel of every output pixel. NaN fails x < 255: 255.
    return std::uint8_t(x < 255.0f ? std::max(x, 0.0f) : 255.0f);
}

} // namespace Upscaler
