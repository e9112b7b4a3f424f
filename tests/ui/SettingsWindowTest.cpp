#include "settings/SettingsWindow.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "studio/APIKeysView.h"
#include "updates/FakeUpdaterController.h"
#include "updates/PreferencesView.h"
#include "updates/UpdateManager.h"
#include "kit/ScreenFit.h"

#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWindow>
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

// On a small screen the window, its frame included, stays within the free area, and the keys
// tab scrolls what it cannot show.
TEST(SettingsWindow, FitsItsScreenWithItsFrame)
{
    KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    UpdateManager updates({}, [] { return std::make_unique<FakeUpdaterController>(); });
    SettingsWindow window(SettingsWindow::standardTabs(updates));
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    const QRect free = window.screen()->availableGeometry();
    const QMargins known = window.windowHandle()->frameMargins();
    const QMargins frame = known.isNull() ? ScreenFit::typicalFrame : known;
    EXPECT_TRUE(free.contains(window.geometry().marginsAdded(frame)))
        << window.height() << " on " << free.height();
    auto* keys = window.tabs()->widget(0)->findChild<QScrollArea*>();
    ASSERT_TRUE(keys);
    if (window.tabs()->widget(0)->height() < 650)
        EXPECT_GT(keys->verticalScrollBar()->maximum(), 0);
}
