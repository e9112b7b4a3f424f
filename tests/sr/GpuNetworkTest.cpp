#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "sr/GpuFault.h"
#include "sr/Model.h"
#include "sr/ModelPrivate.h"
#include "sr/Network.h"
#include "sr/PipelineCache.h"
#include "sr/Upscaler.h"
#include "sr/Vulkan.h"
#include "sr/VulkanNetwork.h"

#include "OnnxBuilder.h"
#include "TestGraphs.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

// Every test here runs on whatever Vulkan device the machine has; Mesa's llvmpipe (a CPU
// device) serves where there is no GPU.

namespace {

using Dims = OnnxBuilder::Dims;

bool haveVulkan()
{
    try {
        return !sr::candidateDevices(0, true).empty();
    } catch (const sr::DeviceError&) {
        return false;
    }
}

class Gpu : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveVulkan())
            GTEST_SKIP() << "no Vulkan device; Mesa's llvmpipe provides one";
    }
    void TearDown() override
    {
        sr::injectGpuFault(sr::GpuFault::none);
        sr::allowCpuDevices(false);
    }
};

// The GPU's second run against the CPU's: values of the first must not leak into the second.
void expectMatchesCpu(const std::string& bytes, const Dims& dims, float tolerance)
{
    const sr::Graph graph = sr::readGraph(bytes, {dims[0], dims[1], dims[2], dims[3]});
    sr::Network cpu(graph);
    const auto gpu = sr::loadOnGpu(graph, true);
    runOnce(*gpu, randomInput(dims, 1));
    const std::vector<float> input = randomInput(dims, 2);
    EXPECT_LT(maxDifference(runOnce(*gpu, input), runOnce(cpu, input)), tolerance);
}

// The shipped networks' shape in small: wide 3x3 layers whose output channels fill one and a
// half work groups, on a size that leaves partial tiles at both edges.
std::string shippedShape(const Dims& dims)
{
    OnnxBuilder b(dims);
    std::string x = b.node("PRelu", {b.conv("input", 3, 64), b.random({64, 1, 1}, 0.3f)});
    x = b.node("PRelu", {b.conv(x, 64, 64), b.random({64, 1, 1}, 0.3f)});
    const std::string d2s =
        b.node("DepthToSpace", {b.conv(x, 64, 48)},
               {OnnxBuilder::integer("blocksize", 4), OnnxBuilder::text("mode", "CRD")});
    const std::string up =
        b.node("Resize", {"input", b.constant({0}, {}), b.constant({4}, {1, 1, 4, 4})},
               {OnnxBuilder::text("mode", "nearest"),
                OnnxBuilder::text("coordinate_transformation_mode", "asymmetric"),
                OnnxBuilder::text("nearest_mode", "floor")});
    b.output(b.node("Add", {d2s, up}, {}, "output"), {1, 3, dims[2] * 4, dims[3] * 4});
    return b.bytes();
}

QString testModelPath(const QString& name)
{
    return TestSupport::testFile("data/models/" + name);
}

// Three tiles, so that one is still to start while two are in flight; the nearest model's
// answer is exact on every device.
QImage threeTiles()
{
    QImage image(600, 100, QImage::Format_RGBX8888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y,
                           qRgb((x * 37 + y * 11) % 256, (x * 7 + y * 53) % 256, (x ^ y) & 255));
    return image;
}

std::string deviceOf(const Model& model)
{
    return model.d().network->device();
}

bool onCpu(const Model& model)
{
    return deviceOf(model).rfind("CPU (oneDNN", 0) == 0;
}

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/Tolvane/Compiled";
}

void replaceFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A frame whose checksum holds but whose driver header names another vendor.
QByteArray foreignDevice(QByteArray frame)
{
    constexpr int frameBytes = 24;
    frame[frameBytes + 8] = char(frame[frameBytes + 8] ^ 0x5a);
    std::uint64_t hash = 14695981039346656037ull;
    for (int i = frameBytes; i < frame.size(); ++i)
        hash = (hash ^ std::uint8_t(frame[i])) * 1099511628211ull;
    std::memcpy(frame.data() + 16, &hash, sizeof(hash));
    return frame;
}

bool pipelinesReused(const sr::Graph& graph)
{
    const auto network = sr::loadOnGpu(graph, true);
    return dynamic_cast<const sr::VulkanNetwork&>(*network).pipelinesReused();
}

} // namespace

TEST_F(Gpu, EveryOperationMatchesTheCpu)
{
    const Dims dims{1, 3, 20, 28};
    {
        SCOPED_TRACE("every operation");
        expectMatchesCpu(everyOperation(dims), dims, 1e-4f);
    }
    {
        SCOPED_TRACE("unusual convolutions");
        expectMatchesCpu(unusualConvolutions(dims), dims, 1e-4f);
    }
    {
        SCOPED_TRACE("wide layers, partial tiles");
        expectMatchesCpu(shippedShape({1, 3, 37, 45}), {1, 3, 37, 45}, 1e-4f);
    }
}

TEST_F(Gpu, ShippedAndTestModelsMatchTheCpuOnATile)
{
    const QStringList files = shippedAndTestModels();
    ASSERT_GE(files.size(), 5);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        expectMatchesCpu(file.readAll().toStdString(), {1, 3, 256, 256}, 1e-3f);
    }
}

TEST_F(Gpu, TheAutomaticChoiceNeverTakesACpuDeviceAndVulkanModeTakesAny)
{
    for (const sr::DeviceChoice& choice : sr::candidateDevices(0, false))
        EXPECT_NE(choice.properties.deviceType, VK_PHYSICAL_DEVICE_TYPE_CPU);
    const bool gpu = !sr::candidateDevices(0, false).empty();
    const auto automatic = Model::load(testModelPath("NearestX4.onnx"), sr::Inference::automatic);
    EXPECT_EQ(onCpu(*automatic), !gpu) << deviceOf(*automatic);
    EXPECT_FALSE(onCpu(*Model::load(testModelPath("NearestX4.onnx"), sr::Inference::vulkan)));
    EXPECT_TRUE(onCpu(*Model::load(testModelPath("NearestX4.onnx"), sr::Inference::cpu)));
}

// A device that cannot take the network leaves it to the CPU, or fails the load when Vulkan is
// required.
TEST_F(Gpu, LoadFailuresLoadTheCpuNetworkInstead)
{
    sr::allowCpuDevices(true);
    const QImage image = threeTiles();
    const QImage expected = Upscaler::upscale4x(
        image, *Model::load(testModelPath("NearestX4.onnx"), sr::Inference::cpu), CancelToken(),
        [] {});
    for (const sr::GpuFault fault :
         {sr::GpuFault::noDevice, sr::GpuFault::lowMemory, sr::GpuFault::pipeline}) {
        SCOPED_TRACE(int(fault));
        sr::injectGpuFault(fault);
        const auto model = Model::load(testModelPath("NearestX4.onnx"), sr::Inference::automatic);
        EXPECT_TRUE(onCpu(*model)) << deviceOf(*model);
        EXPECT_EQ(Upscaler::upscale4x(image, *model, CancelToken(), [] {}), expected);

        sr::injectGpuFault(fault);
        try {
            Model::load(testModelPath("NearestX4.onnx"), sr::Inference::vulkan);
            ADD_FAILURE() << "loaded without a device";
        } catch (const PlatformError& error) {
            EXPECT_EQ(error.message(), "Can't load the model NearestX4.onnx");
        }
    }
}

// A device that fails during a run: the tiles in flight are redone on the CPU, and so is every
// later one. The time-out holds a run back behind work nothing finishes, whatever the timing.
TEST_F(Gpu, RunFailuresRedoTheTilesInFlightOnTheCpuForTheRestOfTheProcess)
{
    const QImage image = threeTiles();
    const QImage expected = Upscaler::upscale4x(
        image, *Model::load(testModelPath("NearestX4.onnx"), sr::Inference::cpu), CancelToken(),
        [] {});
    for (const sr::GpuFault fault :
         {sr::GpuFault::deviceLost, sr::GpuFault::outOfMemory, sr::GpuFault::timeout}) {
        SCOPED_TRACE(int(fault));
        const auto model = Model::load(testModelPath("NearestX4.onnx"), sr::Inference::vulkan);
        ASSERT_FALSE(onCpu(*model));
        int ticks = 0;
        const QImage result = Upscaler::upscale4x(image, *model, CancelToken(), [&] {
            if (++ticks == 1)
                sr::injectGpuFault(fault); // the third tile's submission fails or never ends
        });
        EXPECT_EQ(ticks, 3);
        EXPECT_EQ(result, expected);
        EXPECT_TRUE(onCpu(*model)) << deviceOf(*model);
        EXPECT_EQ(Upscaler::upscale4x(image, *model, CancelToken(), [] {}), expected);
    }
}

// The next tile was already running when the flag was set: it may finish, but nothing after it
// starts, and the network still answers rightly afterwards.
TEST_F(Gpu, CancellationStopsBeforeTheNextTile)
{
    const auto model = Model::load(testModelPath("NearestX4.onnx"), sr::Inference::vulkan);
    const QImage image = threeTiles();
    CancelToken token;
    int ticks = 0;
    try {
        Upscaler::upscale4x(image, *model, token, [&] {
            ++ticks;
            token.cancel();
        });
        FAIL() << "not cancelled";
    } catch (const UpscaleError& error) {
        EXPECT_EQ(error.kind(), UpscaleError::Kind::cancelled);
    }
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(onCpu(*model));
    const QImage expected = Upscaler::upscale4x(
        image, *Model::load(testModelPath("NearestX4.onnx"), sr::Inference::cpu), CancelToken(),
        [] {});
    EXPECT_EQ(Upscaler::upscale4x(image, *model, CancelToken(), [] {}), expected);
}

// The bytes of two slots in flight at once, each from its own region, against the host's rule:
// values next to each of the 256 byte boundaries, signed zeros, NaN and the infinities.
TEST_F(Gpu, AnswersBecomeBytesExactlyAsOnTheHost)
{
    OnnxBuilder b({1, 3, 20, 20});
    b.output(b.node("Resize", {"input", b.constant({0}, {}), b.constant({4}, {1, 1, 4, 4})},
                    {OnnxBuilder::text("mode", "nearest"),
                     OnnxBuilder::text("coordinate_transformation_mode", "asymmetric"),
                     OnnxBuilder::text("nearest_mode", "floor")},
                    "output"),
             {1, 3, 80, 80});
    const auto gpu = sr::loadOnGpu(sr::readGraph(b.bytes(), {1, 3, 20, 20}), true);
    ASSERT_EQ(gpu->depth(), 2);

    std::vector<float> values = {0.998f,
                                 0.5f,
                                 1.5f,
                                 -0.2f,
                                 0.0f,
                                 -0.0f,
                                 1.0f,
                                 1e-40f,
                                 3e38f,
                                 -3e38f,
                                 std::numeric_limits<float>::quiet_NaN(),
                                 -std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
    for (int k = 0; k <= 256; ++k) {
        float v = std::nextafter(std::nextafter((float(k) - 0.5f) / 255.0f, -1.0f), -1.0f);
        for (int i = 0; i < 4; ++i, v = std::nextafter(v, 2.0f))
            values.push_back(v);
    }
    constexpr size_t planeSize = 400;
    ASSERT_LE(values.size(), 3 * planeSize);
    const sr::Region regions[2] = {{0, 0, 80, 80}, {6, 9, 51, 37}};
    std::vector<float> inputs[2];
    for (int slot = 0; slot < 2; ++slot) {
        for (size_t i = 0; i < 3 * planeSize; ++i)
            inputs[slot].push_back(values[(i * (slot ? 7 : 1)) % values.size()]);
        std::copy(inputs[slot].begin(), inputs[slot].end(), gpu->slotInput(slot));
        gpu->start(slot, regions[slot]);
    }
    for (int slot = 0; slot < 2; ++slot) {
        const sr::Region& r = regions[slot];
        std::vector<std::uint8_t> bytes(size_t(r.width * r.height * 4) + 8, 7);
        gpu->finish(slot, bytes.data(), r.width * 4);
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                for (int c = 0; c < 4; ++c) {
                    const float v =
                        inputs[slot][c * planeSize + size_t(((r.y + y) / 4) * 20 + (r.x + x) / 4)];
                    ASSERT_EQ(bytes[size_t((y * r.width + x) * 4 + c)],
                              c == 3 ? 255 : sr::byteFromModel(v))
                        << "slot " << slot << " value " << v << " channel " << c;
                }
        EXPECT_EQ(bytes.back(), 7) << "written past the region";
    }
}

TEST_F(Gpu, CompiledPipelinesAreKeptAndADamagedCacheIsReplaced)
{
    QDir(cacheFolder()).removeRecursively();
    const Dims dims{1, 3, 8, 8};
    const sr::Graph graph = sr::readGraph(everyOperation(dims), {1, 3, 8, 8});
    EXPECT_FALSE(pipelinesReused(graph));
    const QStringList files = QDir(cacheFolder()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QString path = cacheFolder() + "/" + files.front();
    EXPECT_TRUE(pipelinesReused(graph));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    QByteArray flipped = good;
    flipped[flipped.size() - 1] = char(flipped[flipped.size() - 1] ^ 1);
    const QByteArray damaged[] = {
        QByteArray("not a cache at all"),
        good.left(good.size() - 1),
        good + "tail",
        flipped,
        foreignDevice(good),
    };
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(bytes.size());
        replaceFile(path, bytes);
        EXPECT_FALSE(pipelinesReused(graph));
        EXPECT_TRUE(pipelinesReused(graph)); // written anew
    }
}
