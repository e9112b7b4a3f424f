#include "Bench.h"
#include "FmaPeak.h"

#include "core/CancelToken.h"
#include "sr/ModelPrivate.h"
#include "sr/ModelStore.h"
#include "sr/Upscaler.h"

#include "core/EngineError.h"
#include "sr/Inference.h"
#include "sr/Network.h"
#include "sr/Vulkan.h"
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/dnn.hpp>
#include <random>

namespace {

constexpr int tileRuns = 7;
constexpr int coreSide = 232;

// Starts a new peak so each model's figure is its own.
// Exactly one tile's core, with detail everywhere.
QImage oneTileImage()
{
    QImage image(coreSide, coreSide, QImage::Format_RGBX8888);
    for (int y = 0; y < coreSide; ++y)
        for (int x = 0; x < coreSide; ++x)
            image.setPixel(x, y, qRgb(x, y, (x * y / 7) % 256));
    return image;
}

template <typename Run> std::vector<double> timeRuns(int count, Run run)
{
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return samples;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString describe(const std::vector<double>& samples)
{
    return QStringLiteral("median %1 ms, min %2, max %3 (%4 runs)")
        .arg(number(median(samples), 0),
             number(*std::min_element(samples.begin(), samples.end()), 0),
             number(*std::max_element(samples.begin(), samples.end()), 0))
        .arg(samples.size());
}

// The same tile through OpenCV's own network, the reference the executor replaced.
std::vector<double> openCvTileMs(const QString& path)
{
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    cv::dnn::Net net = cv::dnn::readNetFromONNX(QFile::encodeName(path).toStdString());
    const int shape[] = {1, 3, 256, 256};
    cv::Mat input(4, shape, CV_32F, cv::Scalar(0.5));
    net.setInput(input, "input");
    net.forward(); // first run allocates
    return timeRuns(3, [&] {
        net.setInput(input, "input");
        net.forward();
    });
}

std::vector<double> tileMs(Model& model, int runs)
{
    const QImage image = oneTileImage();
    const CancelToken token;
    return timeRuns(runs, [&] { Upscaler::upscale4x(image, model, token, [] {}); });
}

// The largest difference between the two networks' answers to one random input.
float maxDifference(Model& a, Model& b)
{
    sr::Executor& x = *a.d().network;
    sr::Executor& y = *b.d().network;
    const sr::Shape in = x.inputShape(), out = x.outputShape();
    const std::int64_t inputs = in[0] * in[1] * in[2] * in[3];
    const std::int64_t outputs = out[0] * out[1] * out[2] * out[3];
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::int64_t i = 0; i < inputs; ++i)
        x.input()[i] = y.input()[i] = unit(random);
    const float* p = x.run();
    const std::vector<float> first(p, p + outputs);
    const float* q = y.run();
    float worst = 0;
    for (std::int64_t i = 0; i < outputs; ++i)
        worst = std::isnan(q[i]) ? INFINITY : std::max(worst, std::abs(first[size_t(i)] - q[i]));
    return worst;
}

// The model on a GPU: any Vulkan device with TOLVANE_INFERENCE=vulkan, else only real GPUs.
void benchVulkan(const QString& path, Model& cpu)
{
    const sr::Inference inference = sr::inferenceFromEnvironment();
    if (inference == sr::Inference::cpu) {
        report(QStringLiteral("  Vulkan tile: not run (TOLVANE_INFERENCE=cpu)"));
        return;
    }
    try {
        if (inference != sr::Inference::vulkan && sr::candidateDevices(0, false).empty()) {
            report(QStringLiteral("  Vulkan tile: no GPU (TOLVANE_INFERENCE=vulkan takes any "
                                  "Vulkan device)"));
            return;
        }
    } catch (const sr::DeviceError& error) {
        report(QStringLiteral("  Vulkan tile: no Vulkan (%1)").arg(error.what()));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    std::shared_ptr<Model> gpu;
    try {
        gpu = Model::load(path, sr::Inference::vulkan);
    } catch (const EngineError& error) {
        report(QStringLiteral("  Vulkan tile: no device can run it (%1)").arg(error.message()));
        return;
    }
    const double loadMs = double(timer.nsecsElapsed()) / 1e6;
    sr::Executor& network = *gpu->d().network;
    tileMs(*gpu, 1); // the first run pays for the driver's own set-up
    std::vector<double> deviceMs;
    const std::vector<double> samples = timeRuns(tileRuns, [&] {
        tileMs(*gpu, 1);
        deviceMs.push_back(network.deviceMs());
    });
    const QString device = median(deviceMs) > 0
                               ? QStringLiteral("; the device's own time median %1 ms")
                                     .arg(number(median(deviceMs), 1))
                               : QStringLiteral("; the device keeps no time");
    report(QStringLiteral("  Vulkan tile: %1; load %2 ms; wall %3%4; max difference %5")
               .arg(QString::fromStdString(network.device()), number(loadMs, 0), describe(samples),
                    device)
               .arg(double(maxDifference(cpu, *gpu)), 0, 'g', 3));
    report(QStringLiteral("    %1").arg(QString::fromStdString(network.summary())));
}

// Where TOLVANE_INFERENCE puts the model, and what the choice cost: loaded after oneDNN's own
// load, which pays for what a process does once, so that the difference is the choice alone.
QString chooseUnit(const QString& path, double& loadMs)
{
    QElapsedTimer timer;
    timer.start();
    const std::shared_ptr<Model> model = Model::load(path);
    loadMs = double(timer.nsecsElapsed()) / 1e6;
    return QString::fromStdString(model->d().choice);
}

QString modelPath(SRModel kind)
{
    for (const QString& folder : ModelStore::defaultSearchFolders())
        if (const QString path = folder + "/" + rawValue(kind) + ".onnx"; QFile::exists(path))
            return path;
    return {};
}

void benchModel(SRModel kind)
{
    const QString path = modelPath(kind);
    QElapsedTimer timer;
    timer.start();
    const std::shared_ptr<Model> model = Model::load(path, sr::Inference::cpu);
    const double loadMs = double(timer.nsecsElapsed()) / 1e6;
    double chosenLoadMs = 0;
    const QString chosen = chooseUnit(path, chosenLoadMs);
    resetPeakResident();

    const double firstMs = tileMs(*model, 1).front();
    const std::vector<double> samples = tileMs(*model, tileRuns);
    const double residentMiB = peakResidentMiB();
    const double tileMs = *std::min_element(samples.begin(), samples.end());

    static const FmaPeak peak = measureFmaPeak();
    const double flops = 2 * model->d().network->multiplyAdds();
    const double boundMs = flops / peak.flops * 1e3;
    const auto* cpu = dynamic_cast<const sr::Network*>(model->d().network.get());
    const double tilesPerMegapixel = 1e6 / (coreSide * coreSide);

    report(QStringLiteral("%1 (%2)").arg(rawValue(kind), model->path()));
    report(QStringLiteral("  chosen: %1; load %2 ms, %3 ms more than oneDNN's own")
               .arg(chosen, number(chosenLoadMs, 0), number(chosenLoadMs - loadMs, 0)));
    report(QStringLiteral("  load %1 ms; first tile %2 ms; %3")
               .arg(number(loadMs, 0), number(firstMs, 0),
                    QString::fromStdString(model->d().network->summary())));
    report(QStringLiteral("  oneDNN tile: %1").arg(describe(samples)));
    report(QStringLiteral("  peak resident %1 MiB").arg(number(residentMiB, 0)));
    report(QStringLiteral("  %1 G multiply-adds per tile; direct bound %2 ms at %3; "
                          "convolutions: %4; best / bound %5; %6 s per input megapixel at 4x")
               .arg(number(flops / 2e9, 1), number(boundMs, 0), peak.describe(),
                    QString::fromStdString(cpu ? cpu->convolutionAlgorithms() : "?"),
                    number(tileMs / boundMs, 2),
                    number(median(samples) * tilesPerMegapixel / 1e3, 1)));
    benchVulkan(path, *model);
    if (qEnvironmentVariableIsSet("TOLVANE_BENCH_NO_OPENCV"))
        return;
    const std::vector<double> reference = openCvTileMs(model->path());
    const double best = *std::min_element(reference.begin(), reference.end());
    report(QStringLiteral("  OpenCV DNN tile: %1; oneDNN is %2x faster (minima)")
               .arg(describe(reference), number(best / tileMs, 1)));
}

// One entry per model, so `tolvane_bench Illustration` runs just that one.
const BenchRegistration photo("models PhotoX4", [] { benchModel(SRModel::photo); });
const BenchRegistration illustration("models IllustrationX4",
                                     [] { benchModel(SRModel::illustration); });

} // namespace
