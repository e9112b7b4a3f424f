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

// The enlarged core in the model's answer; the overlapping margins are discarded.
sr::Region answerRegion(const QRect& core)
{
    return {outputOffset, outputOffset, scale * core.width(), scale * core.height()};
}

// The tiles of one pass, overlapped as deep as the network allows: while a GPU runs one tile,
// the next one's input is filled and the last one's answer copied. Tiles finish in order, so
// those in flight are always [m_done, m_started).
class TileLoop {
public:
    TileLoop(Model::Private& model, const PixelBuffer& source, PixelBuffer& target,
             const CancelToken& token, const std::function<void()>& tick)
        : m_model(model), m_source(source), m_target(target), m_token(token), m_tick(tick),
          m_cores(Upscaler::tileCores(int(source.width()), int(source.height())))
    {
    }

    // Under the model's lock: tiles in flight belong to this pass alone.
    void run()
    {
        for (;;) {
            try {
                runOn(*m_model.network);
                return;
            } catch (const sr::DeviceError& error) {
                if (!m_model.graph)
                    throw;
                // The GPU failed: the tiles in flight and every later one run on the CPU.
                qCWarning(lcModel).noquote()
                    << FileNames::lastPathComponent(m_model.path)
                    << "moves to the CPU:" << m_model.network->device().c_str() << error.what();
                m_model.fallBackToCpu();
                m_started = m_done;
            }
        }
    }

private:
    void runOn(sr::Executor& network)
    {
        const int depth = network.depth();
        while (m_done < m_cores.size()) {
            if (m_started - m_done == depth || m_started == m_cores.size()) {
                finishTile(network, int(m_done % depth));
                continue;
            }
            m_token.check(); // a tile in flight may finish; nothing after it starts
            const QRect& core = m_cores[m_started];
            const int slot = int(m_started % depth);
            fillInput(m_source, core.topLeft(), network.slotInput(slot));
            network.start(slot, answerRegion(core));
            ++m_started;
        }
    }

    void finishTile(sr::Executor& network, int slot)
    {
        const QRect& core = m_cores[m_done];
        network.finish(slot, m_target.row(qint64(scale) * core.y()) + 4 * qint64(scale) * core.x(),
                       m_target.bytesPerRow());
        ++m_done;
        m_tick();
    }

    Model::Private& m_model;
    const PixelBuffer& m_source;
    PixelBuffer& m_target;
    const CancelToken& m_token;
    const std::function<void()>& m_tick;
    const QList<QRect> m_cores;
    qsizetype m_started = 0; // tiles whose run began
    qsizetype m_done = 0;    // tiles whose pixels are in the target
};

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
    // The input and the answers live in the network's own memory: the whole pass holds the lock.
    std::lock_guard lock(model.d().lock);
    if (model.d().network->inputShape() != sr::Shape{1, 3, tileSide, tileSide})
        throw UpscaleError::badOutput();
    checkOutput(model.d().network->outputShape());
    TileLoop(model.d(), source, target, token, tick).run();
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

} // namespace Upscaler
