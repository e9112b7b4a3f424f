#include "selftest/SmokeTests.h"
#include "selftest/LaunchMode.h"

#include "SelftestSupport.h"
#include "TestSupport.h"

#include "core/CancelToken.h"
#include "core/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

QStringList expectedLines()
{
    QStringList lines{"PASS: PNG converts and decodes at original dimensions",
                      "PASS: PNG preserves alpha",
                      "PASS: JPEG converts and decodes at original dimensions",
                      "PASS: JPEG flattens transparency onto white",
                      "PASS: WebP converts and decodes at original dimensions",
                      "PASS: WebP preserves alpha",
                      "PASS: HEIC converts and decodes at original dimensions",
                      "PASS: TIFF converts and decodes at original dimensions",
                      "PASS: TIFF preserves alpha"};
    for (const char* model : {"Photo", "Illustration"})
        for (const char* scale : {"2×", "4×", "8×", "16×"}) {
            lines << QStringLiteral("PASS: %1 %2 completes with correct dimensions")
                         .arg(model, scale);
            lines << QStringLiteral("PASS: %1 %2 preserves transparent and opaque pixels")
                         .arg(model, scale);
        }
    lines << "PASS: Cancellation prevents export"
          << "PASS: Cancellation during inference prevents export"
          << "PASS: Repeated exports preserve originals and prior results"
          << "PASS: Corrupt input fails cleanly"
          << "PASS: No temporary exports remain"
          << "PASS: Vector output is valid XML"
          << "PASS: SVG contains real editable paths, not a bitmap wrapper"
          << "PASS: SVG retains its canvas and represents translucent colors"
          << "PASS: Vector cancellation prevents export";
    return lines;
}

// Checks the report and returns the results folder named by its last line.
QString checkReport(const QStringList& lines)
{
    const QStringList expected = expectedLines();
    EXPECT_EQ(lines.mid(0, expected.size()), expected);
    EXPECT_EQ(lines.size(), expected.size() + 1);
    const QString prefix = QStringLiteral("34 checks passed. Results: ");
    EXPECT_TRUE(lines.last().startsWith(prefix)) << lines.last().toStdString();
    const QString folder = lines.last().mid(prefix.size());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(FileNames::lastPathComponent(folder).startsWith("TolvaneQA-"));
    return folder;
}

QString failureOf(const Pipeline::Runner& pipeline)
{
    CapturedOutput out;
    try {
        SmokeTests::run(pipeline, out.file());
    } catch (const SmokeTests::Failure& failure) {
        return failure.description();
    }
    return {};
}

} // namespace

TEST(LaunchMode, MatchesExactFlags)
{
    EXPECT_EQ(launchMode({}), LaunchMode::window);
    EXPECT_EQ(launchMode({"--smoke-test"}), LaunchMode::smokeTest);
    EXPECT_EQ(launchMode({"/pic.png", "--make-demo"}), LaunchMode::makeDemo);
    EXPECT_EQ(launchMode({"--make-demo", "--smoke-test"}), LaunchMode::smokeTest);
    EXPECT_EQ(launchMode({"--Smoke-Test", "--make-demo=1", "-smoke-test"}), LaunchMode::window);
}

TEST(SmokeTests, ReportsEveryCheckAndUsesANewFolderEachRun)
{
    FastPipeline pipeline;
    CapturedOutput first;
    SmokeTests::run(pipeline.runner(), first.file());
    const QString firstFolder = checkReport(first.lines());

    CapturedOutput second;
    SmokeTests::run(pipeline.runner(), second.file());
    const QString secondFolder = checkReport(second.lines());
    EXPECT_NE(firstFolder, secondFolder);
    EXPECT_TRUE(QFileInfo(firstFolder + "/original.png").exists());
    EXPECT_TRUE(QFileInfo(secondFolder + "/original.svg").exists());
}

TEST(SmokeTests, UnexpectedSuccessesAndLeftoversFail)
{
    FastPipeline fast;
    const Pipeline::Runner real = fast.runner();
    // Ignores a token that was stopped before the job began.
    const Pipeline::Runner ignoresStop = [real](const QString& path, const JobSettings& settings,
                                                const CancelToken& token,
                                                const Pipeline::Progress& progress) {
        if (token.isCancelled()) {
            const CancelToken fresh;
            return real(path, settings, fresh, progress);
        }
        return real(path, settings, token, progress);
    };
    EXPECT_EQ(failureOf(ignoresStop), "Cancelled job incorrectly succeeded");

    const Pipeline::Runner leavesHiddenFile =
        [real](const QString& path, const JobSettings& settings, const CancelToken& token,
               const Pipeline::Progress& progress) {
            TestSupport::writeBytes(settings.outputFolder + "/.tolvane-leftover.png", "");
            return real(path, settings, token, progress);
        };
    EXPECT_EQ(failureOf(leavesHiddenFile), "No temporary exports remain");
}

TEST(SmokeTests, RunsHeadlessAsAProcess)
{
    const QString tmp = QStringLiteral(TOLVANE_BUILD_DIR "/selftest-tmp");
    QDir().mkpath(tmp);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", tmp);
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TOLVANE_BINARY), {"--smoke-test"});
    ASSERT_TRUE(process.waitForFinished(900000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardError().isEmpty());
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    ASSERT_EQ(lines.takeLast(), "");
    const QString folder = checkReport(lines);
    EXPECT_EQ(QFileInfo(folder).absolutePath(), QFileInfo(tmp).absoluteFilePath());
}

TEST(SmokeTests, AResultsFolderThatVanishedProvesNothing)
{
    FastPipeline fast;
    const Pipeline::Runner real = fast.runner();
    const Pipeline::Runner removesFolder = [real](const QString& path, const JobSettings& settings,
                                                  const CancelToken& token,
                                                  const Pipeline::Progress& progress) {
        if (QFileInfo(path).fileName() == "broken.png")
            QDir(settings.outputFolder).removeRecursively();
        return real(path, settings, token, progress);
    };
    EXPECT_EQ(failureOf(removesFolder), "No temporary exports remain");
}

TEST(SmokeTests, AMissingTemporaryFolderFallsBackToTheSystemOne)
{
    FastPipeline pipeline;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/nonexistent-tolvane-tmp");
    CapturedOutput out;
    SmokeTests::run(pipeline.runner(), out.file());
    qputenv("TMPDIR", saved);
    const QString folder = checkReport(out.lines());
    EXPECT_TRUE(QDir::isAbsolutePath(folder)) << folder.toStdString();
    EXPECT_EQ(QFileInfo(folder).absolutePath(), "/tmp");
    EXPECT_FALSE(QFileInfo::exists("/nonexistent-tolvane-tmp"));
    QDir(folder).removeRecursively();
}
