#include "ui/updates/ApplicationUpdates.h"
#include "ui/updates/PreferencesView.h"
#include "ui/updates/UpdateDialog.h"
#include "ui/updates/UpdateDialogDriver.h"

#include "TestSupport.h"
#include "core/Resources.h"
#include "kit/AquaButton.h"
#include "support/LoopbackHttpServer.h"
#include "updates/AppcastUpdaterController.h"
#include "updates/UpdateFixtures.h"
#include "updates/UpdateManager.h"

#include <QApplication>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkProxy>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

AquaButton* visibleButton(const QString& text)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            for (auto* button : window->findChildren<AquaButton*>())
                if (button->text() == text && button->isVisible() && button->isEnabled())
                    return button;
    return nullptr;
}

// Waits for a button to appear and clicks it, the way a user answers a dialog.
void answer(const QString& text)
{
    AquaButton* button = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (button = visibleButton(text)) != nullptr; }, 10000))
        << text.toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

// The packaged build's path: the tab's button, the real dialogs, a signed release made by
// tools/package from the loopback feed, and the folder unpacked from the earlier release swapped
// when the application quits.
TEST(UpdatesEndToEnd, TheTabsButtonInstallsASignedRelease)
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QTemporaryDir root;
    QTemporaryDir work;
    const QString folder = root.filePath(QStringLiteral("tolvane"));
    UpdateFixtures::makeInstallation(folder, QStringLiteral("1.0.0"));
    const auto keys = UpdateFixtures::makeKeyPair();
    const QString archive = work.filePath(QStringLiteral("a.tar.gz"));
    UpdateFixtures::makeArchive(archive, QStringLiteral("1.1.0"));
    const QByteArray bytes = TestSupport::readBytes(archive);

    TestSupport::LoopbackHttpServer server;
    server.reply("GET", "/tolvane-1.1.0.tar.gz", {200, {}, bytes});
    server.reply("GET", "/appcast.xml",
                 TestSupport::HttpReply::text(
                     200, QStringLiteral("<rss version=\"2.0\" xmlns:t=\"https://vandelorn.com/"
                                         "xml-namespaces/tolvane-update\"><channel><item>"
                                         "<description>Notes</description><enclosure url=\"%1\" "
                                         "length=\"%2\" t:version=\"1.1.0\" t:edSignature=\"%3\"/>"
                                         "</item></channel></rss>")
                              .arg(server.url("/tolvane-1.1.0.tar.gz").toString(),
                                   QString::number(bytes.size()),
                                   UpdateFixtures::signFile(archive, keys.secretKey))
                              .toUtf8()));

    const QJsonObject info{{QStringLiteral("SUFeedURL"), server.url("/appcast.xml").toString()},
                           {QStringLiteral("SUPublicEDKey"), keys.publicKey},
                           {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0.0")}};
    int quitRequests = 0;
    UpdateManager manager(info, [&] {
        AppcastUpdater::Options options;
        options.info = info;
        options.settings = std::make_shared<QSettings>(work.filePath(QStringLiteral("s.ini")),
                                                       QSettings::IniFormat);
        options.installFolder = folder;
        options.network.allowLoopbackHttp = true;
        options.requestQuit = [&] { return ++quitRequests, true; };
        options.launch = [](const QString&) { return true; };
        return std::make_unique<AppcastUpdaterController>(
            options, std::make_unique<UpdateDialogDriver>([] { return nullptr; }));
    });
    PreferencesView view(manager, info, {});
    view.show();

    answer(QStringLiteral("Check for Updates…"));
    EXPECT_FALSE(manager.canCheck());
    answer(QStringLiteral("Install Update"));
    answer(QStringLiteral("Install and Relaunch"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.canCheck(); }, 15000));
    EXPECT_EQ(quitRequests, 1);
    EXPECT_EQ(UpdateFixtures::installedVersion(folder), QStringLiteral("1.0.0"));
    qobject_cast<AppcastUpdater*>(manager.controller().updater())->finishAtQuit();
    EXPECT_EQ(UpdateFixtures::installedVersion(folder), QStringLiteral("1.1.0"));
    EXPECT_EQ(TestSupport::entries(root.path()), QStringList{QStringLiteral("tolvane")});
}

// "Install and Relaunch" failed at quit: the copy that starts next says why, over its window, in
// the updater's own error dialog, and only until the user has read it.
TEST(UpdatesEndToEnd, AnInstallThatFailedAtQuitIsToldOverTheWindowAtTheNextStart)
{
    QTemporaryDir work;
    const QString settingsFile = work.filePath(QStringLiteral("s.ini"));
    const QString why = QStringLiteral("Tolvane can’t update itself in “/opt/tolvane”: it is a "
                                       "mount point, and a mount point can’t be replaced.");
    QSettings(settingsFile, QSettings::IniFormat).setValue("Updates/installFailure", why);
    const QJsonObject info{
        {QStringLiteral("SUFeedURL"), QStringLiteral("https://x.invalid/a")},
        {QStringLiteral("SUPublicEDKey"), UpdateFixtures::makeKeyPair().publicKey},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0.0")}};
    QWidget window;
    window.show();
    const auto start = [&] {
        return std::make_unique<UpdateManager>(info, [&] {
            AppcastUpdater::Options options;
            options.info = info;
            options.settings = std::make_shared<QSettings>(settingsFile, QSettings::IniFormat);
            options.installFolder = work.filePath(QStringLiteral("tolvane"));
            return std::make_unique<AppcastUpdaterController>(
                options, std::make_unique<UpdateDialogDriver>([&] { return &window; }));
        });
    };
    std::unique_ptr<UpdateManager> manager = start();
    AquaButton* ok = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (ok = visibleButton(QStringLiteral("OK"))); }, 5000));
    QStringList texts;
    for (auto* label : ok->window()->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("The software update failed")));
    EXPECT_TRUE(texts.contains(why));
    EXPECT_EQ(ok->window()->parentWidget(), &window);
    EXPECT_FALSE(manager->canCheck());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->canCheck(); }, 5000));

    manager = start();
    QTest::qWait(50);
    EXPECT_EQ(visibleButton(QStringLiteral("OK")), nullptr) << "told once";
}

// The build under test has neither feed nor key: the application's manager never starts.
TEST(UpdatesEndToEnd, TheDevelopmentBuildIsNotSetUp)
{
    if (Resources::info().contains(QStringLiteral("SUFeedURL")))
        GTEST_SKIP() << "built with an update feed";
    const std::unique_ptr<UpdateManager> manager = ApplicationUpdates::make([] { return false; });
    EXPECT_FALSE(manager->isConfigured());
    EXPECT_FALSE(manager->canCheck());
    EXPECT_FALSE(manager->controller().updater()->canCheckForUpdates());
    PreferencesView view(*manager);
    bool versionShown = false;
    for (auto* label : view.findChildren<QLabel*>())
        versionShown |= label->text() == QStringLiteral("Version " TOLVANE_VERSION);
    EXPECT_TRUE(versionShown);
}
