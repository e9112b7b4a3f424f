#include "ui/settings/SettingsBar.h"

#include "core/EngineError.h"
#include "store/AppState.h"
#include "ui/kit/AquaButton.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/SegmentedControl.h"
#include "ui/settings/ExportSection.h"
#include "ui/settings/OutputPreview.h"
#include "ui/settings/RunRow.h"
#include "ui/settings/WorkflowSection.h"

#include "UiSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

class SettingsBarTest : public ::testing::Test {
protected:
    SettingsBarTest() : m_state(std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat))
    {
    }

    QString settingsPath() const { return m_dir.filePath("settings.ini"); }
    QVariant stored(const QString& key) const
    {
        return QSettings(settingsPath(), QSettings::IniFormat).value(key);
    }
    void store(const QString& key, const QVariant& value)
    {
        QSettings(settingsPath(), QSettings::IniFormat).setValue(key, value);
    }
    SettingsBar& bar()
    {
        if (!m_bar) {
            m_bar = std::make_unique<SettingsBar>(m_state);
            m_bar->setFixedWidth(270);
            m_bar->resize(270, 900);
        }
        return *m_bar;
    }
    WorkflowSection& workflow() { return *bar().workflowSection(); }
    ExportSection& exporting() { return *bar().exportSection(); }
    RunRow& runRow() { return *bar().runRow(); }
    QStringList prominentScales()
    {
        QStringList result;
        for (AquaButton* button : workflow().scaleButtons())
            if (button->isProminent())
                result << button->text();
        return result;
    }
    // Queued items made in code; the batch below never reads their files.
    void queue(const QList<Item::Status>& statuses)
    {
        QList<Item> items;
        for (const Item::Status& status : statuses) {
            Item item;
            item.id = QUuid::createUuid();
            item.path = m_dir.filePath(item.id.toString(QUuid::WithoutBraces) + ".png");
            item.pixelSize = QSize(1000, 750);
            item.status = status;
            items << item;
        }
        m_state.setItems(items);
    }
    // A pipeline that waits for the token and then reports a cancellation.
    void useWaitingPipeline()
    {
        m_state.setPipelineRun([](const QString&, const JobSettings&, const CancelToken& token,
                                  const Pipeline::Progress& progress) -> QString {
            progress(0.5);
            while (!token.isCancelled())
                QThread::msleep(2);
            throw UpscaleError::cancelled();
        });
    }
    static bool shown(QWidget* widget) { return !widget->isHidden(); }
    static void clickSegment(SegmentedControl* picker, int index)
    {
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(index).center());
    }

    QTemporaryDir m_dir;
    AppState m_state;
    std::unique_ptr<SettingsBar> m_bar;
};

} // namespace

TEST_F(SettingsBarTest, StoredVectorPairKeepsScaleButtonsUntilEnhance)
{
    store("scale", 4);
    store("format", "SVG vector");
    AppState state(std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat));
    SettingsBar column(state);
    WorkflowSection& section = *column.workflowSection();
    EXPECT_EQ(state.scale(), ScaleFactor::x4) << "nothing is forced at construction";
    EXPECT_EQ(section.workflowPicker()->currentIndex(), 2);
    EXPECT_TRUE(shown(section.enlargementBlock()));
    EXPECT_FALSE(shown(section.vectorCaption()));

    section.scaleButtons()[2]->click();
    EXPECT_EQ(state.scale(), ScaleFactor::x8);
    EXPECT_EQ(state.format(), OutputFormat::svg) << "a scale button writes only the scale";

    clickSegment(section.workflowPicker(), 0);
    EXPECT_EQ(state.scale(), ScaleFactor::x2);
    EXPECT_EQ(state.format(), OutputFormat::png);
    EXPECT_EQ(section.workflowPicker()->currentIndex(), 0);
}

TEST_F(SettingsBarTest, ScaleButtonsShowAndStoreTheScale)
{
    EXPECT_EQ(prominentScales(), QStringList{"2×"});
    workflow().scaleButtons()[1]->click();
    EXPECT_EQ(prominentScales(), QStringList{"4×"});
    EXPECT_EQ(stored("scale").toInt(), 4);
    const AquaButton* four = workflow().scaleButtons()[1];
    EXPECT_EQ(four->accessibleName(), "Enlarge 4 times");
    EXPECT_EQ(four->accessibleDescription(), "Selected");
    EXPECT_EQ(workflow().scaleButtons()[0]->accessibleDescription(), "");

    // Equal shares of the row at the column's width.
    bar().show();
    const int width = workflow().scaleButtons()[0]->width();
    for (AquaButton* button : workflow().scaleButtons())
        EXPECT_NEAR(button->width(), width, 1);
}

TEST_F(SettingsBarTest, WorkflowBlocksFollowTheStore)
{
    m_state.setModel(SRModel::illustration);
    clickSegment(workflow().workflowPicker(), 2);
    EXPECT_TRUE(shown(workflow().vectorCaption()));
    EXPECT_FALSE(shown(workflow().enlargementBlock()));
    EXPECT_FALSE(shown(exporting().qualityBlock()));

    clickSegment(workflow().workflowPicker(), 1);
    EXPECT_EQ(m_state.format(), OutputFormat::png);
    EXPECT_TRUE(shown(workflow().convertCaption()));

    clickSegment(workflow().workflowPicker(), 0);
    EXPECT_TRUE(shown(workflow().enlargementBlock()));
    EXPECT_EQ(workflow().modelPicker()->currentText(), "Illustration");
    QTest::keyClick(workflow().modelPicker(), Qt::Key_Up);
    EXPECT_EQ(m_state.model(), SRModel::photo);
    EXPECT_EQ(stored("model").toString(), "PhotoX4");
}

TEST_F(SettingsBarTest, ChoosingSvgForcesOneTimesOnlyOnAChange)
{
    m_state.setScale(ScaleFactor::x4);
    bar();
    QTest::keyClick(exporting().formatPicker(), Qt::Key_End);
    EXPECT_EQ(m_state.format(), OutputFormat::svg);
    EXPECT_EQ(m_state.scale(), ScaleFactor::x1);
    EXPECT_EQ(stored("scale").toInt(), 1);
    EXPECT_EQ(runRow().runButton()->text(), "Vectorize Image");

    // Leaving svg keeps the scale; a change made elsewhere is caught too.
    m_state.setFormat(OutputFormat::jpeg);
    m_state.setScale(ScaleFactor::x8);
    EXPECT_EQ(m_state.scale(), ScaleFactor::x8);
    m_state.setFormat(OutputFormat::svg);
    EXPECT_EQ(m_state.scale(), ScaleFactor::x1);
}

TEST_F(SettingsBarTest, ShowingAnOutOfRangeQualityNeverRewritesIt)
{
    store("quality", 1.7);
    AppState state(std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat));
    SettingsBar column(state);
    column.refresh();
    ExportSection& section = *column.exportSection();
    EXPECT_EQ(section.qualityPercent()->text(), "170%");
    EXPECT_EQ(section.qualitySlider()->value(), 1000);
    EXPECT_EQ(state.quality(), 1.7);
    EXPECT_EQ(stored("quality").toDouble(), 1.7);

    // A user move does write.
    state.setQuality(0.57);
    EXPECT_EQ(section.qualityPercent()->text(), "56%");
    QTest::keyClick(section.qualitySlider(), Qt::Key_Right);
    EXPECT_DOUBLE_EQ(state.quality(), 0.58);
    EXPECT_EQ(section.qualityPercent()->text(), "57%") << "0.58 * 100 is just below 58";
}

TEST_F(SettingsBarTest, QualityAndLosslessPerFormat)
{
    ExportSection& section = exporting();
    for (OutputFormat format : {OutputFormat::png, OutputFormat::tiff}) {
        m_state.setFormat(format);
        EXPECT_FALSE(shown(section.qualityBlock()));
        EXPECT_FALSE(shown(section.losslessToggle()));
    }
    m_state.setFormat(OutputFormat::same);
    section.losslessToggle()->click();
    EXPECT_TRUE(m_state.webpLossless());
    EXPECT_EQ(stored("webpLossless").toBool(), true);
    EXPECT_TRUE(shown(section.qualityBlock()));
    EXPECT_TRUE(section.qualitySlider()->isEnabled()) << "only WebP itself goes lossless";

    m_state.setFormat(OutputFormat::webp);
    EXPECT_TRUE(shown(section.qualityBlock()));
    EXPECT_FALSE(section.qualitySlider()->isEnabled());
    EXPECT_EQ(section.qualityPercent()->text(), "92%");

    m_state.setFormat(OutputFormat::heic);
    EXPECT_TRUE(shown(section.qualityBlock()));
    EXPECT_FALSE(shown(section.losslessToggle()));
}

TEST_F(SettingsBarTest, FolderMenu)
{
    ExportSection& section = exporting();
    EXPECT_EQ(section.folderLabel()->text(), "Next to originals");
    EXPECT_EQ(section.folderMenu()->toolTip(), "Results are saved beside the originals");

    m_state.setFolderPanel([] { return std::optional<QString>("/tmp/Exports"); });
    const QList<QAction*> actions = section.folderMenu()->menu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[1]->text(), "Choose Folder…");
    actions[1]->trigger();
    EXPECT_EQ(section.folderLabel()->text(), "Exports");
    EXPECT_EQ(section.folderMenu()->toolTip(), "/tmp/Exports");
    EXPECT_EQ(stored("outputFolder").toString(), "/tmp/Exports");

    // A folder name that looks like markup is shown as it is.
    m_state.setOutputFolder("/tmp/<b>Exports</b>");
    EXPECT_EQ(UiSupport::toolTipShows(section.folderMenu()->toolTip()), "/tmp/<b>Exports</b>");
    m_state.setOutputFolder("/tmp/Exports");

    // A cancelled panel changes nothing.
    m_state.setFolderPanel([] { return std::nullopt; });
    actions[1]->trigger();
    EXPECT_EQ(m_state.outputFolder(), "/tmp/Exports");

    actions[0]->trigger();
    EXPECT_EQ(section.folderLabel()->text(), "Next to originals");
    EXPECT_FALSE(QSettings(settingsPath(), QSettings::IniFormat).contains("outputFolder"));

    m_state.setOutputFolder("/");
    EXPECT_EQ(section.folderLabel()->text(), "/");
}

TEST_F(SettingsBarTest, RunButtonTitleAndEnabling)
{
    RunRow& row = runRow();
    EXPECT_EQ(row.runButton()->text(), "Enhance Image");
    EXPECT_FALSE(row.runButton()->isEnabled());
    EXPECT_EQ(row.queueCaption()->text(), "Add images to get started");

    queue({Item::Status::done(), Item::Status::done(), Item::Status::done(), Item::Status::done()});
    EXPECT_EQ(row.runButton()->text(), "Enhance Again");
    EXPECT_EQ(row.queueCaption()->text(), "4 in queue");
    EXPECT_TRUE(row.runButton()->isEnabled());

    // An import in progress disables the button until it ends.
    const QString image = m_dir.filePath("new.png");
    QImage(8, 8, QImage::Format_RGB32).save(image);
    QSignalSpy imported(&m_state, &AppState::importFinished);
    m_state.add({image});
    EXPECT_FALSE(row.runButton()->isEnabled());
    ASSERT_TRUE(imported.wait(10000));
    EXPECT_TRUE(row.runButton()->isEnabled());
    EXPECT_EQ(row.runButton()->text(), "Enhance Image");
    EXPECT_EQ(row.queueCaption()->text(), "1 in queue");
}

TEST_F(SettingsBarTest, RunningBatchSwapsInStopAndLocksTheSettings)
{
    queue({Item::Status::pending(), Item::Status::done(), Item::Status::pending()});
    useWaitingPipeline();
    RunRow& row = runRow();
    // Without a token the stop action is a harmless no-op.
    row.stopButton()->click();

    QSignalSpy finished(&m_state, &AppState::batchFinished);
    row.runButton()->click();
    ASSERT_TRUE(m_state.isRunning());
    EXPECT_FALSE(shown(row.runButton()));
    EXPECT_TRUE(shown(row.stopButton()));
    EXPECT_FALSE(bar().exportSection()->isEnabled());
    EXPECT_FALSE(bar().workflowSection()->isEnabled());
    EXPECT_FALSE(bar().presetsMenu()->isEnabled());
    EXPECT_EQ(row.queueCaption()->text(), "2 in queue") << "the item in work still counts";

    row.stopButton()->click();
    row.stopButton()->click();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(shown(row.runButton()));
    EXPECT_FALSE(shown(row.stopButton()));
    EXPECT_TRUE(bar().exportSection()->isEnabled());
    EXPECT_EQ(row.runButton()->text(), "Enhance 2 Images");

    // Resuming runs what is left.
    m_state.setPipelineRun([](const QString& path, const JobSettings&, const CancelToken&,
                              const Pipeline::Progress&) { return path; });
    row.runButton()->click();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(row.runButton()->text(), "Enhance Again");
}

TEST_F(SettingsBarTest, ControlReturnStartsOnlyWhenEnabled)
{
    bar().show();
    bar().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bar()));
    QTest::keyClick(&bar(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(m_state.isRunning()) << "an empty queue starts nothing";

    queue({Item::Status::pending()});
    useWaitingPipeline();
    QTest::keyClick(&bar(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(m_state.isRunning());
    QSignalSpy finished(&m_state, &AppState::batchFinished);
    m_state.token()->cancel();
    ASSERT_TRUE(finished.wait(5000));
}

TEST_F(SettingsBarTest, OutputSizePreviewFollowsTheSelection)
{
    queue({Item::Status::pending()});
    EXPECT_FALSE(shown(bar().outputPreview()));
    m_state.setScale(ScaleFactor::x4);
    m_state.setSelection(m_state.items()[0].id);
    EXPECT_TRUE(shown(bar().outputPreview()));
    EXPECT_EQ(bar().outputPreview()->sizeLabel()->text(), "4000 × 3000 px");
    EXPECT_EQ(bar().outputPreview()->captionLabel()->text(),
              "Output dimensions · AI can change fine details");
    m_state.setScale(ScaleFactor::x1);
    EXPECT_EQ(bar().outputPreview()->sizeLabel()->text(), "1000 × 750 px");
    m_state.setSelection(std::nullopt);
    EXPECT_FALSE(shown(bar().outputPreview()));
}

TEST_F(SettingsBarTest, PresetsMenuAndRestart)
{
    QMenu* menu = bar().presetsMenu()->menu();
    QStringList titles;
    for (QAction* action : menu->actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(titles,
              (QStringList{"Photo · 2× · PNG", "Photo · 4× · PNG", "Illustration · 4× · PNG", "-",
                           "Convert to WebP", "Convert to PNG", "Vectorize to SVG"}));
    m_state.setQuality(0.6);
    menu->actions()[4]->trigger();
    EXPECT_EQ(exporting().formatPicker()->currentText(), "WebP");
    EXPECT_EQ(m_state.quality(), 0.6);

    // Everything chosen survives a restart.
    AppState again(std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat));
    SettingsBar column(again);
    EXPECT_EQ(column.exportSection()->formatPicker()->currentText(), "WebP");
    EXPECT_EQ(column.workflowSection()->workflowPicker()->currentIndex(), 1);
    EXPECT_EQ(column.exportSection()->qualityPercent()->text(), "60%");
}

TEST_F(SettingsBarTest, FitsTheColumnWithoutSideways)
{
    m_state.setOutputFolder("/srv/" + QString(120, 'x'));
    m_state.setFormat(OutputFormat::same);
    bar().show();
    QScrollArea* scroll = bar().scrollArea();
    EXPECT_LE(scroll->widget()->minimumSizeHint().width(), scroll->viewport()->width());
    EXPECT_LE(runRow().minimumSizeHint().width(), 270);
    EXPECT_LE(exporting().folderMenu()->geometry().right(), scroll->viewport()->width());
}
TEST_F(SettingsBarTest, WheelOverAnUnfocusedControlScrollsInstead)
{
    bar().show();
    QSlider* slider = exporting().qualitySlider();
    QComboBox* format = exporting().formatPicker();
    for (QWidget* control : {static_cast<QWidget*>(slider), static_cast<QWidget*>(format)}) {
        const QPoint centre = control->rect().center();
        QWheelEvent wheel(centre, control->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(control, &wheel);
    }
    EXPECT_EQ(m_state.quality(), 0.92);
    EXPECT_EQ(m_state.format(), OutputFormat::same);
    EXPECT_FALSE(QSettings(settingsPath(), QSettings::IniFormat).contains("quality"));
}

TEST_F(SettingsBarTest, DrivesARealConversionBatch)
{
    QStringList sources;
    for (const char* name : {"a.png", "b.png"}) {
        QImage image(24, 18, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        sources << m_dir.filePath(name);
        ASSERT_TRUE(image.save(sources.last()));
    }
    QSignalSpy imported(&m_state, &AppState::importFinished);
    m_state.add(sources);
    ASSERT_TRUE(imported.wait(10000));
    clickSegment(workflow().workflowPicker(), 1);
    QTest::keyClick(exporting().formatPicker(), Qt::Key_Down); // PNG -> JPEG
    EXPECT_EQ(runRow().runButton()->text(), "Convert 2 Images");

    QSignalSpy finished(&m_state, &AppState::batchFinished);
    runRow().runButton()->click();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(QFile::exists(m_dir.filePath("a.jpg")));
    EXPECT_TRUE(QFile::exists(m_dir.filePath("b.jpg")));
    EXPECT_EQ(runRow().runButton()->text(), "Convert Again");
    EXPECT_EQ(runRow().queueCaption()->text(), "2 in queue");
}
