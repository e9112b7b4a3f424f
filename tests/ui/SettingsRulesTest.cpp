#include "ui/settings/SettingsRules.h"
#include "TestSupport.h"
#include "store/AppState.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace SettingsRules;

namespace {

class SettingsRulesTest : public ::testing::Test {
protected:
    std::unique_ptr<QSettings> settingsFile()
    {
        return std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat);
    }
    static Item item(Item::Status status) { return TestSupport::queuedItem(std::move(status)); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(SettingsRulesTest, WorkflowIsReadFormatFirstAndBlockScaleFirst)
{
    struct Case {
        ScaleFactor scale;
        OutputFormat format;
        Workflow workflow;
        WorkflowBlock block;
    };
    const Case cases[] = {
        {ScaleFactor::x1, OutputFormat::svg, Workflow::vector, WorkflowBlock::vector},
        {ScaleFactor::x1, OutputFormat::png, Workflow::convert, WorkflowBlock::convert},
        {ScaleFactor::x1, OutputFormat::same, Workflow::convert, WorkflowBlock::convert},
        {ScaleFactor::x16, OutputFormat::jpeg, Workflow::enhance, WorkflowBlock::enlargement},
        // A stored pair the column never writes: Vector, yet the scale buttons stay.
        {ScaleFactor::x4, OutputFormat::svg, Workflow::vector, WorkflowBlock::enlargement},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(workflow(c.scale, c.format), c.workflow) << rawValue(c.format).toStdString();
        EXPECT_EQ(workflowBlock(c.scale, c.format), c.block) << rawValue(c.format).toStdString();
    }
}

TEST_F(SettingsRulesTest, ChoosingAWorkflowWritesScaleAndFormatButNeverTheModel)
{
    AppState state(settingsFile());
    state.setModel(SRModel::illustration);
    state.setFormat(OutputFormat::jpeg);
    setWorkflow(state, Workflow::convert);
    EXPECT_EQ(state.scale(), ScaleFactor::x1);
    EXPECT_EQ(state.format(), OutputFormat::png);

    state.setFormat(OutputFormat::webp);
    setWorkflow(state, Workflow::enhance);
    EXPECT_EQ(state.scale(), ScaleFactor::x2);
    EXPECT_EQ(state.format(), OutputFormat::webp) << "a raster format survives Enhance";

    state.setScale(ScaleFactor::x8);
    setWorkflow(state, Workflow::vector);
    EXPECT_EQ(state.scale(), ScaleFactor::x1);
    EXPECT_EQ(state.format(), OutputFormat::svg);
    setWorkflow(state, Workflow::enhance);
    EXPECT_EQ(state.scale(), ScaleFactor::x2) << "Enhance always starts again at 2x";
    EXPECT_EQ(state.format(), OutputFormat::png);
    EXPECT_EQ(state.model(), SRModel::illustration);

    // The stored svg + 4x pair: Enhance writes 2x and PNG.
    state.setScale(ScaleFactor::x4);
    state.setFormat(OutputFormat::svg);
    setWorkflow(state, Workflow::enhance);
    EXPECT_EQ(state.scale(), ScaleFactor::x2);
    EXPECT_EQ(state.format(), OutputFormat::png);
    auto stored = settingsFile();
    EXPECT_EQ(stored->value("scale").toInt(), 2);
    EXPECT_EQ(stored->value("format").toString(), "PNG");
}

TEST_F(SettingsRulesTest, PresetWritesAllThreeInOrderEvenWhenUnchanged)
{
    AppState state(settingsFile());
    QStringList order;
    QObject::connect(&state, &AppState::scaleChanged, [&] { order << "scale"; });
    QObject::connect(&state, &AppState::modelChanged, [&] { order << "model"; });
    QObject::connect(&state, &AppState::formatChanged, [&] {
        // Each setter has published and stored its value before the next one runs.
        EXPECT_EQ(state.scale(), ScaleFactor::x1);
        EXPECT_EQ(state.model(), SRModel::illustration);
        order << "format";
    });
    const Preset& vectorize = presets().at(5);
    EXPECT_EQ(vectorize.title, "Vectorize to SVG");
    preset(state, vectorize.scale, vectorize.model, vectorize.format);
    EXPECT_EQ(order, (QStringList{"scale", "model", "format"}));

    // Defaults (2x, photo) hold already: "Photo · 2× · PNG" still writes both keys.
    AppState fresh(std::make_unique<QSettings>(m_dir.filePath("other.ini"), QSettings::IniFormat));
    const Preset& photo = presets().at(0);
    preset(fresh, photo.scale, photo.model, photo.format);
    QSettings other(m_dir.filePath("other.ini"), QSettings::IniFormat);
    EXPECT_EQ(other.value("scale").toInt(), 2);
    EXPECT_EQ(other.value("model").toString(), "PhotoX4");
    EXPECT_EQ(other.value("format").toString(), "PNG");
    EXPECT_FALSE(other.contains("quality"));
    EXPECT_FALSE(other.contains("webpLossless"));
    EXPECT_FALSE(other.contains("outputFolder"));
}

TEST_F(SettingsRulesTest, TitlesIconsAndCaptionsFollowTheQueue)
{
    AppState state(settingsFile());
    auto title = [&] {
        return actionTitle(state.scale(), state.format(), state.pendingCount(),
                           int(state.items().size()));
    };
    auto caption = [&] { return queueCaption(state.pendingCount(), int(state.items().size())); };
    EXPECT_EQ(title(), "Enhance Image");
    EXPECT_EQ(caption(), "Add images to get started");
    EXPECT_EQ(runIconName(state.scale(), state.format()), "sparkles");

    state.setItems({item(Item::Status::pending()), item(Item::Status::working(0.3)),
                    item(Item::Status::done())});
    EXPECT_EQ(title(), "Enhance 2 Images");
    EXPECT_EQ(caption(), "2 in queue");

    state.setItems({item(Item::Status::failed("x")), item(Item::Status::failed("y")),
                    item(Item::Status::done())});
    EXPECT_EQ(title(), "Enhance 2 Images") << "failed items are not done";

    state.setItems({item(Item::Status::done()), item(Item::Status::done()),
                    item(Item::Status::done()), item(Item::Status::done())});
    EXPECT_EQ(title(), "Enhance Again");
    EXPECT_EQ(caption(), "4 in queue");

    state.setItems({item(Item::Status::pending())});
    state.setScale(ScaleFactor::x1);
    EXPECT_EQ(title(), "Convert Image");
    EXPECT_EQ(runIconName(state.scale(), state.format()), "arrow.triangle.2.circlepath");
    // The format decides before the scale.
    EXPECT_EQ(actionTitle(ScaleFactor::x4, OutputFormat::svg, 0, 2), "Vectorize Again");
    EXPECT_EQ(runIconName(ScaleFactor::x4, OutputFormat::svg),
              "point.topleft.down.curvedto.point.bottomright.up");
}

TEST_F(SettingsRulesTest, QualityPercentTruncatesTheDoubleProduct)
{
    EXPECT_EQ(qualityPercent(0.5), "50%");
    EXPECT_EQ(qualityPercent(1.0), "100%");
    EXPECT_EQ(qualityPercent(0.92), "92%");
    EXPECT_EQ(qualityPercent(0.999), "99%");
    EXPECT_EQ(qualityPercent(0.57), "56%");
    EXPECT_EQ(qualityPercent(1.7), "170%") << "a stored value is shown, not corrected";
    // Garbage from a hand-edited file must not reach an undefined conversion.
    EXPECT_EQ(qualityPercent(std::nan("")), "0%");
    EXPECT_EQ(qualityPercent(1e300), "1000000000000000%");

    EXPECT_EQ(sliderPosition(0.92), 920);
    EXPECT_EQ(sliderPosition(1.7), sliderMaximum);
    EXPECT_EQ(sliderPosition(0.1), sliderMinimum);
    EXPECT_EQ(sliderPosition(std::nan("")), sliderMinimum);
    EXPECT_EQ(qualityFromSlider(sliderPosition(0.57)), 0.57);
}

TEST_F(SettingsRulesTest, QualityBlockAndLosslessTogglePerFormat)
{
    for (OutputFormat format : allOutputFormats()) {
        const bool lossy = format == OutputFormat::jpeg || format == OutputFormat::webp ||
                           format == OutputFormat::heic || format == OutputFormat::same;
        EXPECT_EQ(showsQuality(format), lossy) << rawValue(format).toStdString();
        EXPECT_EQ(showsLosslessToggle(format),
                  format == OutputFormat::webp || format == OutputFormat::same)
            << rawValue(format).toStdString();
    }
    EXPECT_FALSE(qualityAdjustable(OutputFormat::webp, true));
    EXPECT_TRUE(qualityAdjustable(OutputFormat::webp, false));
    EXPECT_TRUE(qualityAdjustable(OutputFormat::same, true)) << "only WebP itself goes lossless";
}

TEST_F(SettingsRulesTest, OutputSizeAndPreviewCaption)
{
    EXPECT_EQ(outputSizeText(QSize(1000, 750), ScaleFactor::x4), "4000 × 3000 px");
    EXPECT_EQ(outputSizeText(QSize(1000, 750), ScaleFactor::x1), "1000 × 750 px");
    EXPECT_EQ(outputSizeText(QSize(200000, 3), ScaleFactor::x16), "3200000 × 48 px")
        << "no int overflow on the way";
    EXPECT_EQ(previewCaption(ScaleFactor::x1, OutputFormat::png),
              "Output dimensions · First frame only for animated inputs");
    EXPECT_EQ(previewCaption(ScaleFactor::x8, OutputFormat::heic),
              "Output dimensions · AI can change fine details");
    EXPECT_EQ(previewCaption(ScaleFactor::x4, OutputFormat::svg),
              "Scalable SVG · Real paths, no embedded bitmap");
}

TEST_F(SettingsRulesTest, FolderLabelAndTooltip)
{
    EXPECT_EQ(folderLabel({}), "Next to originals");
    EXPECT_EQ(folderToolTip({}), "Results are saved beside the originals");
    EXPECT_EQ(folderLabel("/tmp/Exports"), "Exports");
    EXPECT_EQ(folderToolTip("/tmp/Exports"), "/tmp/Exports");
    EXPECT_EQ(folderLabel("/tmp/Exports/"), "Exports");
    EXPECT_EQ(folderLabel("/"), "/");
    EXPECT_EQ(folderToolTip("/"), "/");
}
