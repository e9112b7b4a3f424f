#include "selftest/SmokeTests.h"

#include "SelftestSupport.h"
#include "TestSupport.h"

#include "core/EngineError.h"
#include "imageio/ImageLoader.h"

#include <QDir>
#include <gtest/gtest.h>
#include <optional>

TEST(DemoGenerator, WritesPreviewsAndTheTrace)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath("Brand");
    QDir(root.path()).mkpath("Site/dist/assets");
    TestSupport::opaqueFixture(90, 40).save(root.filePath("Brand/alpine-demo.png")); // not 3:2
    FastPipeline pipeline;
    for (int run = 1; run <= 2; ++run) {
        CapturedOutput out;
        SmokeTests::makeDemo(root.path(), pipeline.runner(), out.file());
        EXPECT_EQ(
            out.lines(),
            (QStringList{"Generating real 2× demo…", "Saved 600 × 400 output and web preview",
                         "Generating real 4× demo…", "Saved 1200 × 800 output and web preview",
                         "Generating real 8× demo…", "Saved 2400 × 1600 output and web preview",
                         "Generating real 16× demo…", "Saved 4800 × 3200 output and web preview",
                         "Saved actual eight-color SVG trace"}));
        EXPECT_EQ(TestSupport::entries(root.filePath("Site/dist/assets")),
                  (QStringList{"demo-16x.jpg", "demo-2x.jpg", "demo-4x.jpg", "demo-8x.jpg",
                               "demo-source.png", "vector-demo.svg"}));
        EXPECT_EQ(TestSupport::entries(root.filePath("build/demo")).size(), 5 * run);
    }
    const QString assets = root.filePath("Site/dist/assets/");
    EXPECT_EQ(ImageLoader::pixelSize(assets + "demo-source.png"), QSize(300, 200));
    EXPECT_EQ(ImageLoader::pixelSize(assets + "demo-2x.jpg"), QSize(600, 400));
    EXPECT_EQ(ImageLoader::pixelSize(assets + "demo-16x.jpg"), QSize(1280, 853));
}

TEST(DemoGenerator, MissingPhotographIsCannotRead)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath("Site/dist/assets");
    FastPipeline pipeline;
    CapturedOutput out;
    try {
        SmokeTests::makeDemo(root.path(), pipeline.runner(), out.file());
        FAIL();
    } catch (const ImageError& error) {
        EXPECT_EQ(error.message(), "Can't read alpine-demo.png");
    }
    EXPECT_TRUE(out.lines().isEmpty());
}

TEST(DemoGenerator, AFailedTraceCopyIsReported)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath("Brand");
    QDir(root.path()).mkpath("Site/dist/assets");
    TestSupport::noiseFixture(90, 60, false).save(root.filePath("Brand/alpine-demo.png"));
    FastPipeline fast;
    const Pipeline::Runner real = fast.runner();
    // The disk fills up once the trace is made: only its copy into the assets is left to write.
    std::optional<TestSupport::FileSizeLimit> full;
    const Pipeline::Runner fillsDisk = [&](const QString& path, const JobSettings& settings,
                                           const CancelToken& token,
                                           const Pipeline::Progress& progress) {
        const QString out = real(path, settings, token, progress);
        if (settings.format == OutputFormat::svg)
            full.emplace(512);
        return out;
    };
    CapturedOutput out;
    try {
        SmokeTests::makeDemo(root.path(), fillsDisk, out.file());
        ADD_FAILURE() << "a truncated trace was reported as saved";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.message(), "Couldn't write vector-demo.svg");
    }
    full.reset();
    EXPECT_FALSE(out.lines().contains("Saved actual eight-color SVG trace"));
    EXPECT_FALSE(QFileInfo::exists(root.filePath("Site/dist/assets/vector-demo.svg")));
}
