#include "settings/SettingsWindow.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "studio/APIKeysView.h"
#include "updates/FakeUpdaterController.h"
#include "updates/PreferencesView.h"
#include "updates/UpdateManager.h"

#include <QLabel>
#include <QLayout>
#include <QTabWidget>
#include <gtest/gtest.h>

TEST(SettingsWindow, StandardTabsInOrderWithTheirSymbols)
{
    KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    UpdateManager updates({}, [] { return std::make_unique<FakeUpdaterController>(); });
    SettingsWindow window(SettingsWindow::standardTabs(updates));
    QTabWidget* tabs = window.tabs();
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_TRUE(qobject_cast<APIKeysView*>(tabs->widget(0)));
    EXPECT_TRUE(qobject_cast<PreferencesView*>(tabs->widget(1)));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("API Keys"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Updates"));
    EXPECT_FALSE(tabs->tabIcon(0).isNull());
    EXPECT_FALSE(tabs->tabIcon(1).isNull());
    EXPECT_EQ(window.layout()->contentsMargins(), QMargins(12, 12, 12, 12));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("API Keys"));
    tabs->setCurrentIndex(1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Updates"));
}

TEST(SettingsWindow, EachWindowMakesItsOwnContent)
{
    int made = 0;
    const QList<SettingsWindow::Tab> tabs{{QStringLiteral("One"), QStringLiteral("key"), [&] {
                                               ++made;
                                               return new QLabel(QStringLiteral("one"));
                                           }}};
    SettingsWindow first(tabs);
    SettingsWindow second(tabs);
    EXPECT_EQ(made, 2);
    EXPECT_NE(first.tabs()->widget(0), second.tabs()->widget(0));
}
