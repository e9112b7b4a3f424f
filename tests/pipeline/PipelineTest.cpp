#include "pipeline/Pipeline.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "imageio/ImageLoader.h"
#include "sr/ModelStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class PipelineTest : public ::testing::Test {
protected:
    QString source(const QString& name, const QImage& image)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    QString forged(const QString& name, quint32 width, quint32 height)
    {
        const QString path = m_dir.filePath(name);
        TestSupport::writeBytes(path, TestSupport::forgedPng(width, height));
        return path;
    }

    JobSettings settings(ScaleFactor scale, OutputFormat format = OutputFormat::png)
    {
        JobSettings job;
        job.scale = scale;
        job.format = format;
        return job;
    }

    // Runs with a store that has no models at all: reaching for one fails loudly.
    QString runWithoutModels(const QString& path, const JobSettings& job)
    {
        ModelStore empty(QStringList{m_dir.filePath("no-models")});
        return Pipeline::run(
            path, job, m_token, [](double) {}, empty);
    }

    QStringList hiddenFiles(const QString& folder)
    {
        return QDir(folder).entryList({".tolvane-*"}, QDir::Files | QDir::Hidden);
    }

    QTemporaryDir m_dir;
    CancelToken m_token;
};

template <typename Error> Error thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& error) {
        return error;
    }
    throw std::runtime_error("expected an error");
}

} // namespace

TEST_F(PipelineTest, HeaderSizeLimits)
{
    const QString exact = forged("exact.png", 20000, 15000);
    // 300,000,000 pixels is allowed: the run gets past the limit and fails only at decoding.
    EXPECT_EQ(
        thrown<ImageError>([&] { runWithoutModels(exact, settings(ScaleFactor::x1)); }).kind(),
        ImageError::Kind::cannotRead);

    const UpscaleError over = thrown<UpscaleError>(
        [&] { runWithoutModels(forged("over.png", 20001, 15000), settings(ScaleFactor::x1)); });
    EXPECT_EQ(over.message(),
              QStringLiteral("Result would be 20001×15000 — too large. Pick a smaller scale."));

    // 2x is limited by its 4x intermediate.
    const UpscaleError twice = thrown<UpscaleError>(
        [&] { runWithoutModels(forged("big.png", 5000, 5000), settings(ScaleFactor::x2)); });
    EXPECT_EQ(twice.width(), 20000);
    EXPECT_EQ(twice.height(), 20000);
    EXPECT_TRUE(hiddenFiles(m_dir.path()).isEmpty());
}

TEST_F(PipelineTest, WebPSideLimitComesBeforeTheModel)
{
    QImage strip(4100, 100, QImage::Format_RGBX8888);
    strip.fill(Qt::gray);
    const QString path = source("strip.png", strip);
    const ImageError webp = thrown<ImageError>(
        [&] { runWithoutModels(path, settings(ScaleFactor::x4, OutputFormat::webp)); });
    EXPECT_EQ(webp.kind(), ImageError::Kind::webpTooLarge);
    EXPECT_EQ(webp.width(), 16400);
    EXPECT_EQ(webp.height(), 400);
    // 8200 x 200 passes the limit and goes on to ask for the model.
    EXPECT_EQ(thrown<UpscaleError>([&] {
                  runWithoutModels(path, settings(ScaleFactor::x2, OutputFormat::webp));
              }).kind(),
              UpscaleError::Kind::modelMissing);
}

TEST_F(PipelineTest, NamesNeverCollide)
{
    const QString photo = m_dir.filePath("photo.jpeg");
    for (const char* existing : {"photo_2x.jpg", "photo_2x 2.jpg"})
        TestSupport::writeBytes(m_dir.filePath(existing), "x");
    EXPECT_EQ(Pipeline::outputPath(photo, {}, ScaleFactor::x2, OutputFormat::jpeg),
              m_dir.filePath("photo_2x 3.jpg"));
    EXPECT_EQ(Pipeline::outputPath(m_dir.filePath("archive.old.png"), {}, ScaleFactor::x1,
                                   OutputFormat::tiff),
              m_dir.filePath("archive.old.tiff"));
    EXPECT_EQ(Pipeline::outputPath(photo, "/elsewhere", ScaleFactor::x16, OutputFormat::png),
              "/elsewhere/photo_16x.png");
    const QString hidden = Pipeline::temporaryPath(m_dir.filePath("photo_2x.jpg"));
    EXPECT_TRUE(QFileInfo(hidden).fileName().startsWith(".tolvane-"));
    EXPECT_TRUE(hidden.endsWith(".jpg"));
    EXPECT_EQ(QFileInfo(hidden).fileName().size(), 9 + 36 + 4);
}

TEST_F(PipelineTest, ConvertingBesideTheSourceNeverReplacesIt)
{
    const QString path = source("photo.png", TestSupport::alphaFixture());
    const QByteArray original = TestSupport::readBytes(path);
    std::vector<double> reports;
    const QString out = Pipeline::run(path, settings(ScaleFactor::x1, OutputFormat::same), m_token,
                                      [&](double p) { reports.push_back(p); });
    EXPECT_EQ(out, m_dir.filePath("photo 2.png"));
    EXPECT_EQ(TestSupport::readBytes(path), original);
    EXPECT_EQ(reports, std::vector<double>{1.0});
    EXPECT_EQ(ImageLoader::load(out).size(), QSize(24, 18));
}

TEST_F(PipelineTest, EveryScaleEnlargesAndEndsAtOne)
{
    QTemporaryDir models;
    ModelStore store(QStringList{TestSupport::nearestModelFolder(models.path(), "PhotoX4")});
    const QString path = source("small.png", TestSupport::alphaFixture());
    const struct {
        ScaleFactor scale;
        QSize size;
    } cases[] = {{ScaleFactor::x2, {48, 36}},
                 {ScaleFactor::x4, {96, 72}},
                 {ScaleFactor::x8, {192, 144}},
                 {ScaleFactor::x16, {384, 288}}};
    for (const auto& c : cases) {
        std::vector<double> reports;
        const QString out = Pipeline::run(
            path, settings(c.scale), m_token, [&](double p) { reports.push_back(p); }, store);
        EXPECT_EQ(ImageLoader::pixelSize(out), c.size) << rawValue(c.scale);
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back(), 1.0);
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    }
    // 8x: one tile on the source and one on the 48x36 halving, reported once on the second tile.
    std::vector<double> reports;
    Pipeline::run(
        path, settings(ScaleFactor::x8), m_token, [&](double p) { reports.push_back(p); }, store);
    EXPECT_EQ(reports, (std::vector<double>{1.0, 1.0}));
    EXPECT_TRUE(hiddenFiles(m_dir.path()).isEmpty());
}

TEST_F(PipelineTest, CancellationLeavesNothingBehind)
{
    QTemporaryDir models;
    ModelStore store(QStringList{TestSupport::nearestModelFolder(models.path(), "PhotoX4")});
    QImage wide(600, 10, QImage::Format_RGBX8888); // three tiles
    wide.fill(Qt::darkGreen);
    const QString path = source("wide.png", wide);
    const QStringList before = TestSupport::entries(m_dir.path());

    CancelToken stopped;
    stopped.cancel();
    EXPECT_THROW(Pipeline::run(
                     path, settings(ScaleFactor::x4), stopped, [](double) {}, store),
                 UpscaleError);

    CancelToken midway;
    const UpscaleError error = thrown<UpscaleError>([&] {
        Pipeline::run(
            path, settings(ScaleFactor::x4), midway, [&](double) { midway.cancel(); }, store);
    });
    EXPECT_TRUE(isCancellation(error));
    EXPECT_EQ(TestSupport::entries(m_dir.path()), before);
}

TEST_F(PipelineTest, VectorOutputIgnoresTheScaleAndNeedsNoModel)
{
    const QString path = source("logo.png", TestSupport::alphaFixture());
    const QString out = runWithoutModels(path, settings(ScaleFactor::x16, OutputFormat::svg));
    EXPECT_EQ(out, m_dir.filePath("logo.svg"));
    EXPECT_TRUE(TestSupport::readBytes(out).startsWith("<?xml") ||
                TestSupport::readBytes(out).startsWith("<svg"));
}

TEST_F(PipelineTest, FailedWritesNameTheResultAndLeaveNothing)
{
    // A full disk: every format fails with the final name, and the folder holds only the source.
    const QString path = source("race.png", TestSupport::noiseFixture(200, 150, true));
    const QString out = m_dir.filePath("out");
    QDir().mkpath(out);
    for (OutputFormat format : {OutputFormat::png, OutputFormat::jpeg, OutputFormat::tiff,
                                OutputFormat::webp, OutputFormat::heic, OutputFormat::svg}) {
        JobSettings job = settings(ScaleFactor::x1, format);
        job.outputFolder = out;
        try {
            const TestSupport::FileSizeLimit limit(2048);
            runWithoutModels(path, job);
            ADD_FAILURE() << rawValue(format).toStdString() << " reported success";
        } catch (const ImageError& error) {
            EXPECT_EQ(error.message(), "Can't write race." + fileExtension(format));
        }
        EXPECT_EQ(TestSupport::entries(out), QStringList()) << rawValue(format).toStdString();
    }

    // A folder that does not exist.
    JobSettings job = settings(ScaleFactor::x1, OutputFormat::tiff);
    job.outputFolder = m_dir.filePath("missing");
    EXPECT_EQ(thrown<ImageError>([&] { runWithoutModels(path, job); }).message(),
              "Can't write race.tiff");
}

TEST_F(PipelineTest, MoveConflictsLeaveNoHiddenFile)
{
    // A file appears under the chosen name while the result is being written.
    const QString path = source("race.png", TestSupport::alphaFixture());
    const QString taken = m_dir.filePath("race.svg");
    const PlatformError conflict = thrown<PlatformError>([&] {
        Pipeline::run(path, settings(ScaleFactor::x1, OutputFormat::svg), m_token, [&](double) {
            if (!QFile::exists(taken))
                TestSupport::writeBytes(taken, "mine");
        });
    });
    EXPECT_EQ(conflict.message(),
              "Couldn't save race.svg because an item with that name already exists.");
    EXPECT_EQ(TestSupport::readBytes(taken), "mine");
    EXPECT_TRUE(hiddenFiles(m_dir.path()).isEmpty());
}

// Stems are the user's text: placeholders in them are never filled in.
TEST_F(PipelineTest, NamesKeepPercentSignsInStems)
{
    for (const char* existing : {"a%2Cb_2x.png", "q%1x.tiff", "%%.png"})
        TestSupport::writeBytes(m_dir.filePath(existing), "x");
    EXPECT_EQ(
        Pipeline::outputPath(m_dir.filePath("a%2Cb.jpg"), {}, ScaleFactor::x2, OutputFormat::png),
        m_dir.filePath("a%2Cb_2x 2.png"));
    EXPECT_EQ(
        Pipeline::outputPath(m_dir.filePath("q%1x.png"), {}, ScaleFactor::x1, OutputFormat::tiff),
        m_dir.filePath("q%1x 2.tiff"));
    EXPECT_EQ(
        Pipeline::outputPath(m_dir.filePath("%%.webp"), {}, ScaleFactor::x1, OutputFormat::png),
        m_dir.filePath("%% 2.png"));
    EXPECT_EQ(
        Pipeline::outputPath(m_dir.filePath("%1%2.png"), {}, ScaleFactor::x16, OutputFormat::png),
        m_dir.filePath("%1%2_16x.png"));
}

TEST_F(PipelineTest, HeicShapeLimitComesBeforeTheModel)
{
    QImage line(4096, 1, QImage::Format_RGBX8888);
    line.fill(Qt::gray);
    const QString path = source("line.png", line);
    const ImageError thin = thrown<ImageError>(
        [&] { runWithoutModels(path, settings(ScaleFactor::x4, OutputFormat::heic)); });
    EXPECT_EQ(thin.kind(), ImageError::Kind::heicShape);
    EXPECT_EQ(thin.width(), 16384);
    EXPECT_EQ(thin.height(), 4);
    // At its own size it fits.
    EXPECT_EQ(ImageLoader::pixelSize(
                  runWithoutModels(path, settings(ScaleFactor::x1, OutputFormat::heic))),
              QSize(4096, 1));
    EXPECT_TRUE(hiddenFiles(m_dir.path()).isEmpty());
}

TEST_F(PipelineTest, HeicAndJpegSideLimitsComeBeforeTheModel)
{
    const struct {
        QSize source;
        ScaleFactor scale;
        OutputFormat format;
        ImageError::Kind kind;
        QString message;
    } cases[] = {
        {QSize(8200, 100), ScaleFactor::x4, OutputFormat::heic, ImageError::Kind::heicTooLarge,
         "HEIC max is 32768 px per side (result is 32800×400). Pick PNG/TIFF or a smaller scale."},
        {QSize(17500, 16), ScaleFactor::x4, OutputFormat::heic, ImageError::Kind::heicTooLarge,
         "HEIC max is 32768 px per side (result is 70000×64). Pick PNG/TIFF or a smaller scale."},
        {QSize(16400, 10), ScaleFactor::x4, OutputFormat::jpeg, ImageError::Kind::jpegTooLarge,
         "JPEG max is 65500 px per side (result is 65600×40). Pick PNG/TIFF or a smaller scale."},
    };
    for (const auto& c : cases) {
        QImage strip(c.source, QImage::Format_RGBX8888);
        strip.fill(Qt::gray);
        const QString path = source("strip.png", strip);
        const ImageError error =
            thrown<ImageError>([&] { runWithoutModels(path, settings(c.scale, c.format)); });
        EXPECT_EQ(error.kind(), c.kind);
        EXPECT_EQ(error.message(), c.message);
    }
    EXPECT_TRUE(hiddenFiles(m_dir.path()).isEmpty());
}
