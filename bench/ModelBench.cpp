#include "Bench.h"

#include "core/CancelToken.h"
#include "sr/ModelPrivate.h"
#include "sr/ModelStore.h"
#include "sr/Upscaler.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <thread>

namespace {

constexpr int tileRuns = 5;
constexpr int coreSide = 232;
// A machine's best case: two 8-wide fused multiply-adds per core and cycle.
constexpr double flopPerCycle = 32;

double clockHz()
{
    return procValue("/proc/cpuinfo", "cpu MHz").toDouble() * 1e6;
}

// Starts a new peak so each model's figure is its own.
void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double flopsPerTile(Model& model)
{
    std::lock_guard lock(model.d().lock);
    return double(model.d().net.getFLOPS(cv::dnn::MatShape{1, 3, 256, 256}));
}

// Exactly one tile's core, with detail everywhere.
QImage oneTileImage()
{
    QImage image(coreSide, coreSide, QImage::Format_RGBX8888);
    for (int y = 0; y < coreSide; ++y)
        for (int x = 0; x < coreSide; ++x)
            image.setPixel(x, y, qRgb(x, y, (x * y / 7) % 256));
    return image;
}

double tileMilliseconds(Model& model, const QImage& image)
{
    const CancelToken token;
    QElapsedTimer timer;
    timer.start();
    Upscaler::upscale4x(image, model, token, [] {});
    return double(timer.nsecsElapsed()) / 1e6;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

void benchModel(SRModel kind)
{
    resetPeakResident();
    QElapsedTimer timer;
    timer.start();
    ModelStore store(ModelStore::defaultSearchFolders());
    const std::shared_ptr<Model> model = store.model(kind);
    const double loadMs = double(timer.nsecsElapsed()) / 1e6;

    const QImage image = oneTileImage();
    const double firstMs = tileMilliseconds(*model, image);
    std::vector<double> samples;
    for (int i = 0; i < tileRuns; ++i)
        samples.push_back(tileMilliseconds(*model, image));
    const double tileMs = median(samples);
    const double tilesPerMegapixel = 1e6 / (coreSide * coreSide);

    const int cores = int(std::thread::hardware_concurrency());
    const double flops = flopsPerTile(*model);
    const double boundMs = flops / (cores * flopPerCycle * clockHz()) * 1e3;

    report(QStringLiteral("%1 (%2)").arg(rawValue(kind), model->path()));
    report(QStringLiteral("  load %1 ms; first tile %2 ms")
               .arg(number(loadMs, 0), number(firstMs, 0)));
    report(QStringLiteral("  tile %1 ms (median of %2, min %3, max %4), %5 threads")
               .arg(number(tileMs, 0))
               .arg(tileRuns)
               .arg(number(*std::min_element(samples.begin(), samples.end()), 0),
                    number(*std::max_element(samples.begin(), samples.end()), 0))
               .arg(cv::getNumThreads()));
    report(QStringLiteral("  %1 s per input megapixel at 4x (%2 tiles)")
               .arg(number(tileMs * tilesPerMegapixel / 1e3, 1), number(tilesPerMegapixel, 1)));
    report(QStringLiteral("  peak resident %1 MiB").arg(number(peakResidentMiB(), 0)));
    report(QStringLiteral("  %1 GFLOP per tile (%2 G multiply-adds); bound %3 ms at %4 cores x 32 "
                          "FLOP x %5 GHz; measured / bound %6")
               .arg(number(flops / 1e9, 1), number(flops / 2e9, 1), number(boundMs, 0))
               .arg(cores)
               .arg(number(clockHz() / 1e9, 2), number(tileMs / boundMs, 2)));
}

void benchModels()
{
    for (const SRModel kind : allModels())
        benchModel(kind);
}

const BenchRegistration registration("models", benchModels);

} // namespace
