#include "OnnxBuilder.h"
#include "sr/BuildIdentity.h"
#include "sr/FramedFile.h"
#include "sr/GpuFault.h"
#include "sr/Model.h"
#include "sr/ModelPrivate.h"
#include "sr/Vulkan.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <elf.h>
#include <gtest/gtest.h>

// The measured choice on whatever Vulkan device the machine has: "measure" counts Mesa's
// llvmpipe, so that the timing and its verdicts can be tried without a GPU.

namespace {

class FastestUnit : public ::testing::Test {
protected:
    void SetUp() override
    {
        try {
            if (sr::candidateDevices(0, true).empty())
                GTEST_SKIP() << "no Vulkan device; Mesa's llvmpipe provides one";
        } catch (const sr::DeviceError&) {
            GTEST_SKIP() << "no Vulkan driver";
        }
        QDir(sr::compiledFolder()).removeRecursively();
        // A busy machine must not cut a measurement short where that is not what is tried.
        sr::injectTimingHooks({.budgetMs = 600000});
    }
    void TearDown() override
    {
        sr::injectGpuFault(sr::GpuFault::none);
        sr::injectTimingHooks({});
    }
};

QString testModelPath(const QString& name)
{
    return TestSupport::testFile("data/models/" + name);
}

// How the model came to run where it does.
std::string choiceOf(const QString& name)
{
    return Model::load(testModelPath(name), sr::Inference::measure)->d().choice;
}

bool measured(const std::string& choice)
{
    return choice.find("measured") != std::string::npos &&
           choice.find("remembered") == std::string::npos;
}

bool remembered(const std::string& choice)
{
    return choice.find("remembered") != std::string::npos &&
           choice.find("measured") == std::string::npos;
}

QStringList verdicts(const QString& model)
{
    return QDir(sr::compiledFolder()).entryList({model + "-*.choice"}, QDir::Files);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void replace(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Three 3x3 layers, the first a small share of the work, and an enlarging last step: the
// timing runs on a part of real convolutions.
QString writeConvolutionModel(const QTemporaryDir& dir)
{
    OnnxBuilder b({1, 3, 256, 256});
    std::string x = b.conv(b.conv("input", 3, 4), 4, 4);
    x = b.node("DepthToSpace", {b.conv(x, 4, 48)},
               {OnnxBuilder::integer("blocksize", 4), OnnxBuilder::text("mode", "CRD")}, "output");
    b.output(x, {1, 3, 1024, 1024});
    const QString path = dir.filePath("Convolutions.onnx");
    TestSupport::writeBytes(path, QByteArray::fromStdString(b.bytes()));
    return path;
}

// The device's and the CPU's milliseconds a run, as the only kept verdict holds them.
std::pair<double, double> keptTimes(const QString& model)
{
    const QStringList files = verdicts(model);
    if (files.size() != 1)
        return {-1, -1};
    const QByteArray data = sr::readFramed(sr::compiledFolder() + "/" + files.front(),
                                           {'T', 'L', 'V', 'V', 'E', 'R', 'D', '1'}, 4096);
    const QList<QByteArray> times = data.trimmed().split('\n').last().split(' ');
    return {times.value(0).toDouble(), times.value(1).toDouble()};
}

} // namespace

TEST_F(FastestUnit, TheVerdictIsKeptAndReusedAndADamagedOrForeignOneIsMeasuredAgain)
{
    EXPECT_PRED1(measured, choiceOf("NearestX4.onnx"));
    const QStringList files = verdicts("NearestX4");
    ASSERT_EQ(files.size(), sr::candidateDevices(0, true).size());
    EXPECT_PRED1(remembered, choiceOf("NearestX4.onnx"));

    // Another model's verdict, whole and well framed, made for something else.
    EXPECT_PRED1(measured, choiceOf("RenamedOutput.onnx"));
    const QByteArray foreign =
        contents(sr::compiledFolder() + "/" + verdicts("RenamedOutput").front());
    const QString path = sr::compiledFolder() + "/" + files.front();
    const QByteArray good = contents(path);
    QByteArray flipped = good;
    flipped[flipped.size() - 3] = char(flipped[flipped.size() - 3] ^ 1);
    const QByteArray damaged[] = {QByteArray("not a verdict"), good.left(good.size() - 1),
                                  good + "tail", flipped, foreign};
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(bytes.size());
        replace(path, bytes);
        EXPECT_PRED1(measured, choiceOf("NearestX4.onnx"));
        EXPECT_PRED1(remembered, choiceOf("NearestX4.onnx")); // written anew
    }
}

// Whatever fails, the load does not: the CPU runs the network, and nothing is remembered, so
// the next load times the device again.
TEST_F(FastestUnit, ADeviceThatFailsWhileTimedLosesAndIsNotRemembered)
{
    for (const sr::GpuFault fault : {sr::GpuFault::pipeline, sr::GpuFault::deviceLost,
                                     sr::GpuFault::timeout, sr::GpuFault::hostMemory}) {
        SCOPED_TRACE(int(fault));
        QDir(sr::compiledFolder()).removeRecursively();
        sr::injectGpuFault(fault);
        const auto model = Model::load(testModelPath("NearestX4.onnx"), sr::Inference::measure);
        EXPECT_EQ(model->d().network->device().rfind("CPU (oneDNN", 0), 0u);
        EXPECT_NE(model->d().choice.find("failed"), std::string::npos) << model->d().choice;
        EXPECT_TRUE(verdicts("NearestX4").isEmpty());
        EXPECT_PRED1(measured, choiceOf("NearestX4.onnx"));
    }
}

// The driver's one-time set-up on the first run is not the device's speed: a warm-up pays for
// it, the time kept is of later runs of a part of the network. A device close to the CPU's first
// run is timed twice, and the CPU again.
TEST_F(FastestUnit, ADeviceIsJudgedByItsSteadyTimeNotItsOneTimeSetUp)
{
    QTemporaryDir dir;
    const QString path = writeConvolutionModel(dir);
    sr::injectTimingHooks({.deviceFirstRunMs = 2000, .cpuFirstRunMs = 20000, .budgetMs = 600000});
    const std::string choice = Model::load(path, sr::Inference::measure)->d().choice;
    const auto [deviceMs, cpuMs] = keptTimes("Convolutions");
    EXPECT_GT(deviceMs, 0) << choice;
    // Counted, the delay alone would make 2000 ms over 5.5 % of the work: 36 s a run.
    EXPECT_LT(deviceMs, 10000) << choice;
    EXPECT_GT(cpuMs, 0);
    EXPECT_LT(cpuMs, 20000) << "the CPU is timed again, warm";
    EXPECT_NE(choice.find("2 timed runs"), std::string::npos) << choice;
    const size_t on = choice.find("measured on ");
    ASSERT_NE(on, std::string::npos) << choice;
    EXPECT_LT(std::stod(choice.substr(on + 12)), 100) << "a part of the network is timed";
}

TEST_F(FastestUnit, ADeviceFarBehindTheCpuIsTimedOnce)
{
    QTemporaryDir dir;
    const QString path = writeConvolutionModel(dir);
    // Far behind even a CPU slowed by a busy machine.
    sr::injectTimingHooks({.deviceRunMs = 3000, .budgetMs = 600000});
    const std::string choice = Model::load(path, sr::Inference::measure)->d().choice;
    EXPECT_NE(choice.find("1 timed run"), std::string::npos) << choice;
    EXPECT_GT(keptTimes("Convolutions").first, 3000);
}

// The load does not wait for a device's set-up beyond the budget, and a device cut short is not
// judged: nothing is kept, and the next load times it.
TEST_F(FastestUnit, ADeviceNotSetUpWithinTheBudgetIsTimedOnTheNextLoad)
{
    QTemporaryDir dir;
    const QString path = writeConvolutionModel(dir);
    sr::injectTimingHooks({.deviceFirstRunMs = 3600000, .budgetMs = 300});
    QElapsedTimer clock;
    clock.start();
    const auto model = Model::load(path, sr::Inference::measure);
    EXPECT_LT(clock.elapsed(), 300000) << "waited for the set-up";
    EXPECT_EQ(model->d().network->device().rfind("CPU (oneDNN", 0), 0u);
    EXPECT_NE(model->d().choice.find("timed again on the next load"), std::string::npos)
        << model->d().choice;
    EXPECT_EQ(keptTimes("Convolutions").first, 0) << "kept a time it never measured";

    sr::injectTimingHooks({.budgetMs = 600000});
    EXPECT_PRED1(measured, Model::load(path, sr::Inference::measure)->d().choice);
    EXPECT_PRED1(remembered, Model::load(path, sr::Inference::measure)->d().choice);
}

// A device whose set-up overruns even the second, larger budget would cost every load that much:
// it is judged then, and remembered.
TEST_F(FastestUnit, ADeviceCutShortOnTwoLoadsIsJudgedAndNotTimedAgain)
{
    QTemporaryDir dir;
    const QString path = writeConvolutionModel(dir);
    sr::injectTimingHooks({.deviceFirstRunMs = 3600000, .budgetMs = 300});
    EXPECT_NE(Model::load(path, sr::Inference::measure)->d().choice.find("timed again"),
              std::string::npos);
    const auto second = Model::load(path, sr::Inference::measure);
    EXPECT_EQ(second->d().network->device().rfind("CPU (oneDNN", 0), 0u);
    EXPECT_PRED1(measured, second->d().choice);
    EXPECT_GE(keptTimes("Convolutions").first, 300 * 4 * 32);
    EXPECT_PRED1(remembered, Model::load(path, sr::Inference::measure)->d().choice);
}

namespace {

// The GNU build ID note of the executable, read from its file's sections.
QByteArray buildIdOfFile(const QString& path)
{
    const QByteArray elf = contents(path);
    Elf64_Ehdr header;
    if (elf.size() < qsizetype(sizeof(header)))
        return {};
    std::memcpy(&header, elf.data(), sizeof(header));
    for (int i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        std::memcpy(&section, elf.data() + header.e_shoff + i * header.e_shentsize,
                    sizeof(section));
        Elf64_Nhdr note;
        if (section.sh_type != SHT_NOTE)
            continue;
        std::memcpy(&note, elf.data() + section.sh_offset, sizeof(note));
        if (note.n_type == NT_GNU_BUILD_ID)
            return elf.mid(qsizetype(section.sh_offset + sizeof(note) + 4), note.n_descsz).toHex();
    }
    return {};
}

} // namespace

// A new build of the program or of the driver times the devices again: llvmpipe reports the same
// driver version and cache UUID whatever Mesa it comes with.
TEST_F(FastestUnit, TheVerdictIsKeptForOneBuildOfTheProgramAndOneDriver)
{
    const QByteArray buildId = buildIdOfFile(QStringLiteral("/proc/self/exe"));
    ASSERT_FALSE(buildId.isEmpty());
    EXPECT_TRUE(sr::buildIdentity().contains(buildId)) << sr::buildIdentity().constData();
    EXPECT_TRUE(sr::buildIdentity().startsWith(TOLVANE_VERSION " "));

    choiceOf("NearestX4.onnx");
    for (const sr::DeviceChoice& device : sr::candidateDevices(0, true)) {
        if (std::string(device.properties.deviceName).find("llvmpipe") != std::string::npos) {
            EXPECT_NE(device.driver.find("Mesa"), std::string::npos) << device.driver;
        }
        bool kept = false;
        for (const QString& file : verdicts("NearestX4")) {
            const QByteArray text = contents(sr::compiledFolder() + "/" + file);
            kept = kept || (text.contains(QByteArray::fromStdString(device.driver)) &&
                            text.contains(sr::buildIdentity()));
        }
        EXPECT_TRUE(kept) << device.driver;
    }
}
