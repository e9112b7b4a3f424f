#include "store/AppState.h"

#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AppStateTest : public ::testing::Test {
protected:
    std::unique_ptr<QSettings> settingsFile()
    {
        return std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat);
    }
    void store(const QString& key, const QVariant& value)
    {
        auto s = settingsFile();
        s->setValue(key, value);
    }
    static Item item(Item::Status status) { return TestSupport::queuedItem(std::move(status)); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(AppStateTest, FirstLaunchUsesDefaultsAndWritesNothing)
{
    AppState state(settingsFile());
    EXPECT_EQ(state.scale(), ScaleFactor::x2);
    EXPECT_EQ(state.model(), SRModel::photo);
    EXPECT_EQ(state.format(), OutputFormat::same);
    EXPECT_EQ(state.quality(), 0.92);
    EXPECT_FALSE(state.webpLossless());
    EXPECT_TRUE(state.outputFolder().isEmpty());
    EXPECT_TRUE(settingsFile()->allKeys().isEmpty());
}

TEST_F(AppStateTest, BadStoredValuesFallBack)
{
    store("scale", 3);
    store("model", "illustrationx4");
    store("format", "png");
    store("quality", "high");
    {
        AppState state(settingsFile());
        EXPECT_EQ(state.scale(), ScaleFactor::x2);
        EXPECT_EQ(state.model(), SRModel::photo);
        EXPECT_EQ(state.format(), OutputFormat::same);
        EXPECT_EQ(state.quality(), 0.92);
    }
    EXPECT_EQ(settingsFile()->value("scale").toInt(), 3) << "bad values stay until reassigned";
    store("scale", 16);
    store("model", "IllustrationX4");
    store("format", "PNG");
    store("quality", 1.7);
    store("webpLossless", true);
    store("outputFolder", "/srv/out");
    AppState state(settingsFile());
    EXPECT_EQ(state.scale(), ScaleFactor::x16);
    EXPECT_EQ(state.model(), SRModel::illustration);
    EXPECT_EQ(state.format(), OutputFormat::png);
    EXPECT_EQ(state.quality(), 1.7);
    EXPECT_TRUE(state.webpLossless());
    EXPECT_EQ(state.outputFolder(), "/srv/out");
}

// Values edited by hand or left by other tools: only what the store itself writes counts.
TEST_F(AppStateTest, StoredTextIsReadStrictly)
{
    for (const char* text : {"no", "off", "yes", "1", "TRUE", "junk"}) {
        store("webpLossless", text);
        EXPECT_FALSE(AppState(settingsFile()).webpLossless()) << text;
    }
    store("webpLossless", "true");
    EXPECT_TRUE(AppState(settingsFile()).webpLossless());

    for (const char* text : {"nan", "inf", "-inf", "NaN"}) {
        store("quality", text);
        EXPECT_EQ(AppState(settingsFile()).quality(), 0.92) << text;
    }

    const struct {
        const char* stored;
        QString folder;
    } folders[] = {{"~/Pictures", {}},
                   {"Pictures/out", {}},
                   {"junk", {}},
                   {"file:///srv/out", "/srv/out"},
                   {"file://localhost/srv/my%20out", "/srv/my out"},
                   {"file://elsewhere/srv/out", {}},
                   {"/srv/out", "/srv/out"}};
    for (const auto& folder : folders) {
        store("outputFolder", folder.stored);
        EXPECT_EQ(AppState(settingsFile()).outputFolder(), folder.folder) << folder.stored;
        EXPECT_EQ(settingsFile()->value("outputFolder").toString(), folder.stored)
            << "start-up never rewrites the file";
    }
}

TEST_F(AppStateTest, SettingsWriteThroughOnEveryAssignment)
{
    AppState state(settingsFile());
    QSignalSpy formatSpy(&state, &AppState::formatChanged);
    state.setFormat(OutputFormat::same);
    EXPECT_EQ(settingsFile()->value("format").toString(), "Same as source");
    EXPECT_EQ(formatSpy.count(), 0) << "no signal without a change";
    state.setFormat(OutputFormat::heic);
    EXPECT_EQ(formatSpy.count(), 1);
    state.setScale(ScaleFactor::x8);
    state.setModel(SRModel::illustration);
    state.setQuality(0.5);
    state.setWebpLossless(true);
    state.setOutputFolder("/srv/out");
    AppState reread(settingsFile());
    EXPECT_EQ(reread.format(), OutputFormat::heic);
    EXPECT_EQ(reread.scale(), ScaleFactor::x8);
    EXPECT_EQ(reread.model(), SRModel::illustration);
    EXPECT_EQ(reread.quality(), 0.5);
    EXPECT_TRUE(reread.webpLossless());
    EXPECT_EQ(reread.outputFolder(), "/srv/out");

    state.setOutputFolder({});
    EXPECT_FALSE(settingsFile()->contains("outputFolder"));
    EXPECT_TRUE(AppState(settingsFile()).outputFolder().isEmpty());
}

TEST_F(AppStateTest, DerivedValues)
{
    AppState state(settingsFile());
    EXPECT_EQ(state.progress(), 0.0);
    const QList<Item> items{item(Item::Status::working(0.5)), item(Item::Status::done()),
                            item(Item::Status::pending()), item(Item::Status::failed("x"))};
    state.setItems(items);
    EXPECT_EQ(state.pendingCount(), 3);
    EXPECT_EQ(state.completedCount(), 1);
    EXPECT_EQ(state.failedCount(), 1);
    EXPECT_DOUBLE_EQ(state.progress(), 0.375);
    EXPECT_FALSE(state.selectedItem());
    state.setSelection(items[2].id);
    EXPECT_EQ(state.selectedItem()->id, items[2].id);
    state.setSelection(QUuid::createUuid());
    EXPECT_FALSE(state.selectedItem());
}

TEST_F(AppStateTest, QueueEdits)
{
    AppState state(settingsFile());
    const QList<Item> items{item(Item::Status::done()), item(Item::Status::failed("bad")),
                            item(Item::Status::pending())};
    state.setItems(items);

    state.setSelection(items[2].id);
    state.remove(items[1].id);
    EXPECT_EQ(state.selection(), items[2].id) << "removing another item keeps the selection";
    state.remove(items[2].id);
    EXPECT_EQ(state.selection(), items[0].id) << "selection moves to the first item";
    state.remove(QUuid::createUuid());
    EXPECT_EQ(state.items().size(), 1);

    // A finished run leaves a summary that resetting clears.
    state.setItems({item(Item::Status::pending())});
    state.setPipelineRun([](const QString& path, const JobSettings&, const CancelToken&,
                            const Pipeline::Progress&) { return path; });
    QSignalSpy ran(&state, &AppState::batchFinished);
    state.start();
    ASSERT_TRUE(ran.wait(10000));
    ASSERT_TRUE(state.lastRunSummary());

    state.setItems(items);
    QSignalSpy rows(&state, &AppState::itemChanged);
    state.resetAll();
    EXPECT_EQ(rows.count(), 3);
    for (const Item& i : state.items()) {
        EXPECT_TRUE(i.status.is(Item::Status::Kind::pending));
        EXPECT_TRUE(i.outputPath.isEmpty());
        EXPECT_FALSE(i.outputPixelSize);
    }
    EXPECT_FALSE(state.lastRunSummary());

    state.clearAll();
    EXPECT_TRUE(state.items().isEmpty());
    EXPECT_FALSE(state.selection());
}

TEST_F(AppStateTest, OutputFolderPanel)
{
    AppState state(settingsFile());
    state.chooseOutputFolder(); // no panel installed: nothing happens
    state.setFolderPanel([] { return std::optional<QString>(); });
    state.chooseOutputFolder();
    EXPECT_TRUE(state.outputFolder().isEmpty());
    state.setFolderPanel([] { return std::optional<QString>("/srv/chosen"); });
    state.chooseOutputFolder();
    EXPECT_EQ(state.outputFolder(), "/srv/chosen");
    EXPECT_EQ(settingsFile()->value("outputFolder").toString(), "/srv/chosen");
}
