#include "updates/UpdateManager.h"

#include "FakeUpdaterController.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

struct Made {
    FakeUpdaterController* controller = nullptr;
    std::unique_ptr<UpdateManager> manager;
};

// The controller is made by the manager; the test keeps a look at it.
Made make(const QJsonObject& info, const std::function<void(FakeUpdaterController&)>& prepare = {})
{
    Made made;
    int calls = 0;
    made.manager = std::make_unique<UpdateManager>(info, [&] {
        ++calls;
        auto controller = std::make_unique<FakeUpdaterController>();
        made.controller = controller.get();
        if (prepare)
            prepare(*controller);
        return controller;
    });
    EXPECT_EQ(calls, 1);
    return made;
}

const QString feed = QStringLiteral("SUFeedURL");
const QString key = QStringLiteral("SUPublicEDKey");

} // namespace

TEST(UpdateManager, StartsOnlyWithBothKeysPresent)
{
    const struct {
        QJsonObject info;
        bool configured;
    } cases[] = {
        {{}, false},
        {{{feed, QStringLiteral("https://h/a.xml")}}, false},
        {{{key, QStringLiteral("k")}}, false},
        {{{feed, QStringLiteral("https://h/a.xml")}, {key, QStringLiteral("k")}}, true},
        // Present counts, whatever the value.
        {{{feed, QString()}, {key, QString()}}, true},
        {{{feed, 3}, {key, QJsonValue::Null}}, true},
    };
    for (const auto& c : cases) {
        Made made = make(c.info, [](FakeUpdaterController& controller) {
            controller.updater()->setChecks(true);
            controller.updater()->setDownloads(true);
        });
        const UpdateManager& manager = *made.manager;
        EXPECT_EQ(manager.isConfigured(), c.configured);
        EXPECT_EQ(made.controller->starts, c.configured ? 1 : 0);
        // Unconfigured: the mirrors stay false whatever the updater holds or announces.
        EXPECT_EQ(manager.canCheck(), c.configured);
        EXPECT_EQ(manager.automaticChecks(), c.configured);
        EXPECT_EQ(manager.automaticDownloads(), c.configured);
        made.controller->updater()->setCanCheck(false);
        made.controller->updater()->setCanCheck(true);
        EXPECT_EQ(manager.canCheck(), c.configured);
    }
}

TEST(UpdateManager, MirrorsFollowEveryAnnouncedChange)
{
    Made made = make({{feed, QString()}, {key, QString()}});
    FakeUpdater& updater = *made.controller->updater();
    const UpdateManager& manager = *made.manager;
    QSignalSpy canCheck(&manager, &UpdateManager::canCheckChanged);
    QSignalSpy checks(&manager, &UpdateManager::automaticChecksChanged);
    QSignalSpy downloads(&manager, &UpdateManager::automaticDownloadsChanged);

    updater.setCanCheck(false);
    EXPECT_FALSE(manager.canCheck());
    updater.setChecks(true);
    EXPECT_TRUE(manager.automaticChecks());
    // A write through the updater reaches the mirror through the announcement.
    updater.setAutomaticallyDownloadsUpdates(true);
    EXPECT_TRUE(manager.automaticDownloads());
    updater.setAutomaticallyDownloadsUpdates(false);
    EXPECT_FALSE(manager.automaticDownloads());

    EXPECT_EQ(canCheck.size(), 1);
    EXPECT_EQ(checks.size(), 1);
    EXPECT_EQ(downloads.size(), 2);

    // A refused write leaves the mirror at the updater's value.
    updater.keepsWrites = false;
    updater.setAutomaticallyChecksForUpdates(false);
    EXPECT_TRUE(manager.automaticChecks());
}
