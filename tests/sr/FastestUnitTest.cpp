#include "sr/FramedFile.h"
#include "sr/GpuFault.h"
#include "sr/Model.h"
#include "sr/ModelPrivate.h"
#include "sr/Vulkan.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
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
    }
    void TearDown() override { sr::injectGpuFault(sr::GpuFault::none); }
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
    for (const sr::GpuFault fault :
         {sr::GpuFault::pipeline, sr::GpuFault::deviceLost, sr::GpuFault::timeout}) {
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
