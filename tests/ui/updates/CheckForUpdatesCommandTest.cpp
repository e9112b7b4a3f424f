#include "ui/window/MainWindow.h"

#include "store/AppState.h"
#include "updates/FakeUpdaterController.h"
#include "updates/UpdateManager.h"

#include <QAction>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The menu command of a build set up for updates follows the updater and reaches its controller.
TEST(CheckForUpdatesCommand, FollowsTheUpdaterAndStartsAUserCheck)
{
    QTemporaryDir dir;
    AppState state(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
    FakeUpdaterController* controller = nullptr;
    UpdateManager updates(
        {{QStringLiteral("SUFeedURL"), QString()}, {QStringLiteral("SUPublicEDKey"), QString()}},
        [&] {
            auto made = std::make_unique<FakeUpdaterController>();
            controller = made.get();
            return made;
        });
    MainWindow window(state, updates);
    QAction* command = window.checkForUpdatesAction();
    EXPECT_TRUE(command->isEnabled());
    command->trigger();
    EXPECT_EQ(controller->checks, 1);

    // During a session the updater says no, and so does the menu.
    controller->updater()->setCanCheck(false);
    EXPECT_FALSE(command->isEnabled());
    controller->updater()->setCanCheck(true);
    EXPECT_TRUE(command->isEnabled());
}
