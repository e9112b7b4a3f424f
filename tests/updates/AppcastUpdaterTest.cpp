#include "updates/AppcastUpdater.h"

#include "FakeUserDriver.h"
#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "core/FileNames.h"
#include "support/LoopbackHttpServer.h"
#include "updates/UpdateLeftovers.h"

#include <QDir>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestSupport::HttpReply;

namespace {

struct Release {
    QString version;
    QByteArray archive;
    QString signature;
    qint64 length = 0; // as announced
};

// A temporary installation of 1.0.0, a loopback feed and an updater over both.
struct Rig {
    QTemporaryDir root;
    QTemporaryDir work;
    QString folder = root.filePath(QStringLiteral("tolvane"));
    UpdateFixtures::KeyPair keys = UpdateFixtures::makeKeyPair();
    TestSupport::LoopbackHttpServer server;
    FakeUserDriver driver;
    AppcastUpdater::Options options;
    std::unique_ptr<AppcastUpdater> updater;
    QStringList launched;
    int quitRequests = 0;
    bool quitAllowed = true;

    Rig()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        UpdateFixtures::makeInstallation(folder, QStringLiteral("1.0.0"));
        options.info = {{QStringLiteral("SUFeedURL"), server.url("/appcast.xml").toString()},
                        {QStringLiteral("SUPublicEDKey"), keys.publicKey},
                        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0.0")}};
        options.settings = std::make_shared<QSettings>(work.filePath(QStringLiteral("s.ini")),
                                                       QSettings::IniFormat);
        options.installFolder = folder;
        options.network.allowLoopbackHttp = true;
        options.network.transferTimeoutMs = 3000;
        options.launch = [this](const QString& program) {
            launched << program;
            return true;
        };
        options.requestQuit = [this] {
            ++quitRequests;
            return quitAllowed;
        };
    }

    AppcastUpdater& start()
    {
        updater = std::make_unique<AppcastUpdater>(options, driver);
        updater->start();
        return *updater;
    }

    Release release(const QString& version)
    {
        const QString path = work.filePath(version + QStringLiteral(".tar.gz"));
        UpdateFixtures::makeArchive(path, version);
        return signedRelease(path, version);
    }
    Release signedRelease(const QString& path, const QString& version) const
    {
        Release r{version, TestSupport::readBytes(path),
                  UpdateFixtures::signFile(path, keys.secretKey)};
        r.length = r.archive.size();
        return r;
    }

    // The feed, and each archive unless the test answers for it.
    void serve(const QList<Release>& releases, bool withArchives = true)
    {
        QByteArray items;
        for (const Release& r : releases) {
            const QString file = QStringLiteral("/tolvane-%1.tar.gz").arg(r.version);
            items += QStringLiteral("<item><title>Tolvane %1</title><description>Notes of %1"
                                    "</description><enclosure url=\"%2\" length=\"%3\" "
                                    "t:version=\"%1\" t:edSignature=\"%4\"/></item>")
                         .arg(r.version, server.url(file).toString(), QString::number(r.length),
                              r.signature)
                         .toUtf8();
            if (withArchives)
                server.reply("GET", file, HttpReply{200, {}, r.archive});
        }
        server.reply("GET", "/appcast.xml",
                     HttpReply::text(200,
                                     "<rss version=\"2.0\" xmlns:t=\"https://vandelorn.com/"
                                     "xml-namespaces/tolvane-update\"><channel>" +
                                         items + "</channel></rss>",
                                     "application/rss+xml"));
    }

    // Runs a user check to its end.
    void check()
    {
        updater->checkForUpdates();
        EXPECT_FALSE(updater->canCheckForUpdates());
        EXPECT_TRUE(QTest::qWaitFor([this] { return updater->canCheckForUpdates(); }, 15000));
    }

    int archiveRequests(const QString& version) const
    {
        return int(
            server.requests("GET", QStringLiteral("/tolvane-%1.tar.gz").arg(version)).size());
    }

    // Nothing hidden is ever left beside the installation.
    QStringList besideInstallation() const { return TestSupport::entries(root.path()); }
};

const QStringList onlyInstallation{QStringLiteral("tolvane")};

} // namespace

TEST(AppcastUpdater, InstallsANewerSignedReleaseAndRelaunchesAtQuit)
{
    Rig rig;
    const Release newest = rig.release(QStringLiteral("1.1.0"));
    rig.serve({rig.release(QStringLiteral("1.0.5")), newest});
    AppcastUpdater& updater = rig.start();
    QSignalSpy canCheck(&updater, &Updater::canCheckForUpdatesChanged);
    rig.check();

    EXPECT_EQ(rig.driver.shown,
              QStringList({QStringLiteral("checking"),
                           QStringLiteral("found 1.1.0 over 1.0.0: Notes of 1.1.0"),
                           QStringLiteral("downloading 1.1.0 of %1").arg(newest.length),
                           QStringLiteral("ready 1.1.0"), QStringLiteral("installing 1.1.0")}));
    // Not a check can start during the session; it ends with one quit request.
    ASSERT_EQ(canCheck.size(), 2);
    EXPECT_FALSE(canCheck[0][0].toBool());
    EXPECT_TRUE(canCheck[1][0].toBool());
    EXPECT_EQ(rig.quitRequests, 1);
    // The swap waits for the quit itself.
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
    EXPECT_TRUE(rig.launched.isEmpty());
    updater.finishAtQuit();
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.1.0"));
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    EXPECT_EQ(rig.launched, QStringList{rig.folder + QStringLiteral("/bin/tolvane")});
}

// "Install and Relaunch" answered "Keep Processing": the running program keeps its tree.
TEST(AppcastUpdater, AKeptSessionSwapsNothingUntilItQuits)
{
    Rig rig;
    rig.quitAllowed = false;
    rig.serve({rig.release(QStringLiteral("1.1.0"))});
    rig.start();
    rig.check();
    EXPECT_EQ(rig.quitRequests, 1);
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(rig.besideInstallation().size(), 2); // the verified download waits
    rig.updater->finishAtQuit();
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.1.0"));
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    EXPECT_TRUE(rig.launched.isEmpty());
}

// An old signed build announced as a newer release is refused once unpacked.
TEST(AppcastUpdater, TheArchiveMustHoldTheAnnouncedVersion)
{
    Rig rig;
    Release old = rig.release(QStringLiteral("0.9.0"));
    old.version = QStringLiteral("1.2.0");
    rig.serve({old});
    rig.start();
    rig.check();
    EXPECT_EQ(rig.driver.shown.last(),
              QStringLiteral("error: The update was refused: the archive holds Tolvane 0.9.0, not "
                             "the announced 1.2.0."));
    EXPECT_EQ(rig.archiveRequests(QStringLiteral("1.2.0")), 1);
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    rig.updater->finishAtQuit();
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
    EXPECT_TRUE(rig.launched.isEmpty());
}

TEST(AppcastUpdater, RefusesASignedHostileArchive)
{
    Rig rig;
    // A signed release whose link points out of the tree.
    const QString path = rig.work.filePath(QStringLiteral("hostile.tar.gz"));
    UpdateFixtures::makeHostileArchive(
        path, rig.work.filePath(QStringLiteral("hostile")), [&](const QString& release) {
            ASSERT_TRUE(QFile::link(rig.root.path(), release + QStringLiteral("/share/root")));
        });
    rig.serve({rig.signedRelease(path, QStringLiteral("1.1.0"))});
    rig.start();
    rig.check();
    EXPECT_EQ(rig.driver.shown.last(),
              QStringLiteral("error: The update was refused: the archive holds an unsafe entry, "
                             "“tolvane-1.1.0/share/root”."));
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
}

// The folder ~/.local after `cmake --install --prefix ~/.local`, with the user's own files.
TEST(AppcastUpdater, ASharedPrefixIsRefusedBeforeAnyDownloadAndKeepsEveryFile)
{
    Rig rig;
    QDir(rig.folder).removeRecursively();
    UpdateFixtures::makeTree(rig.folder, QStringLiteral("1.0.0"));
    const QStringList others{QStringLiteral("share/Tolvane/library.json"),
                             QStringLiteral("share/keyrings/login.keyring"),
                             QStringLiteral("share/Trash/files/photo.png")};
    for (const QString& other : others)
        UpdateFixtures::writeFile(rig.folder + u'/' + other, "mine");
    rig.serve({rig.release(QStringLiteral("1.1.0"))});
    rig.options.firstCheckDelayMs = 10;
    rig.options.checkIntervalMs = 50;
    AppcastUpdater& updater = rig.start();
    rig.check();
    EXPECT_EQ(rig.driver.shown.last(),
              QStringLiteral("error: Tolvane can’t update itself in “%1”: it was not installed "
                             "from a Tolvane release archive into a folder of its own.")
                  .arg(rig.folder));
    // Automatic downloads at quit do no better.
    updater.setAutomaticallyDownloadsUpdates(true);
    updater.setAutomaticallyChecksForUpdates(true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.server.requests("GET", "/appcast.xml").size() == 2; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater.canCheckForUpdates(); }, 10000));
    updater.finishAtQuit();
    EXPECT_EQ(rig.archiveRequests(QStringLiteral("1.1.0")), 0);
    for (const QString& other : others)
        EXPECT_EQ(TestSupport::readBytes(rig.folder + u'/' + other), "mine") << other.toStdString();
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
}

TEST(AppcastUpdater, AnAnnouncedLengthOverTheCapIsNeverFetched)
{
    Rig rig;
    Release huge = rig.release(QStringLiteral("1.1.0"));
    huge.length = (qint64(1) << 30) + 1;
    rig.serve({huge});
    rig.start();
    rig.check();
    EXPECT_EQ(rig.driver.shown.last(),
              QStringLiteral("error: The update is larger than Tolvane accepts (1 GiB)."));
    EXPECT_EQ(rig.archiveRequests(QStringLiteral("1.1.0")), 0);
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
}

// What waited beside the installation until quit is what was verified: another file put at its
// name is never read, and a change to the file itself fails the check it gets again at quit.
TEST(AppcastUpdater, InstallsAtQuitOnlyTheArchiveItVerified)
{
    for (const bool inPlace : {false, true}) {
        Rig rig;
        rig.driver.installNow = false;
        rig.serve({rig.release(QStringLiteral("1.1.0"))});
        rig.start();
        rig.check();
        QStringList waiting = rig.besideInstallation();
        waiting.removeAll(QStringLiteral("tolvane"));
        ASSERT_EQ(waiting.size(), 1);
        const QString path = rig.root.filePath(waiting.front());
        if (inPlace) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            file.seek(file.size() / 2);
            const char byte = file.peek(1).at(0);
            file.write(QByteArray(1, char(byte ^ 1)));
        } else {
            // Another release of the same version, one that would install.
            const QString tree = rig.work.filePath(QStringLiteral("other"));
            UpdateFixtures::makeTree(tree, QStringLiteral("1.1.0"));
            TestSupport::writeBytes(tree + QStringLiteral("/bin/extra"), "extra");
            ASSERT_TRUE(QFile::remove(path));
            ASSERT_TRUE(QFile::rename(UpdateFixtures::packTree(tree, rig.work.path()), path));
        }
        rig.updater->finishAtQuit();
        EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder),
                  inPlace ? QStringLiteral("1.0.0") : QStringLiteral("1.1.0"));
        EXPECT_FALSE(QFileInfo::exists(rig.folder + QStringLiteral("/bin/extra")));
        QStringList left = rig.besideInstallation();
        left.removeAll(waiting.front()); // what was put there is not the updater's
        EXPECT_EQ(left, onlyInstallation);
    }
}

// An install that fails at quit is not silent: the relaunched copy, or the next launch, says why,
// once. The same update is refused before any download while the cause lasts.
TEST(AppcastUpdater, AnInstallThatFailsAtQuitIsToldAtTheNextStart)
{
    const struct {
        const char* name;
        std::function<void(Rig&, bool& mounted)> meanwhile;
        QString reason;
    } cases[] = {
        {"mount point", [](Rig&, bool& mounted) { mounted = true; },
         QStringLiteral("it is a mount point, and a mount point can’t be replaced.")},
        {"file of the user's",
         [](Rig& rig, bool&) {
             TestSupport::writeBytes(rig.folder + QStringLiteral("/notes.txt"), "mine");
         },
         QStringLiteral("it holds “notes.txt”, which is not part of Tolvane.")},
    };
    for (const auto& c : cases) {
        Rig rig;
        bool mounted = false;
        rig.options.installer.isMountPoint = [&](const QString& folder) {
            return mounted && folder == rig.folder;
        };
        rig.serve({rig.release(QStringLiteral("1.1.0"))});
        rig.start();
        rig.check();
        c.meanwhile(rig, mounted);
        rig.updater->finishAtQuit();
        EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0")) << c.name;
        // The user asked for a relaunch: the copy that starts is the one that explains.
        EXPECT_EQ(rig.launched, QStringList{rig.folder + QStringLiteral("/bin/tolvane")});
        EXPECT_EQ(rig.besideInstallation(), onlyInstallation) << c.name;

        const QString told = QStringLiteral("error: Tolvane can’t update itself in “%1”: %2")
                                 .arg(rig.folder, c.reason);
        rig.driver.shown.clear();
        rig.updater.reset();
        AppcastUpdater& next = rig.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.driver.shown.isEmpty(); }, 10000));
        EXPECT_EQ(rig.driver.shown, QStringList{told}) << c.name;
        ASSERT_TRUE(QTest::qWaitFor([&] { return next.canCheckForUpdates(); }, 10000));
        rig.check();
        EXPECT_EQ(rig.driver.shown.last(), told) << c.name;
        EXPECT_EQ(rig.archiveRequests(QStringLiteral("1.1.0")), 1) << c.name;

        rig.driver.shown.clear();
        rig.updater.reset();
        rig.start();
        QTest::qWait(20);
        EXPECT_TRUE(rig.driver.shown.isEmpty()) << "told once: " << c.name;
    }
}

// A crash or logout during an earlier update left a download and a staging folder; the next
// start clears them without blocking the GUI thread, and keeps what a running copy holds.
TEST(AppcastUpdater, StartClearsWhatInterruptedUpdatesLeft)
{
    Rig rig;
    const QString download =
        rig.root.filePath(QStringLiteral(".tolvane-update-") + FileNames::newUuidString());
    const QString staging =
        rig.root.filePath(QStringLiteral(".tolvane-staging-") + FileNames::newUuidString());
    TestSupport::writeBytes(download, "part of an archive");
    UpdateFixtures::makeTree(staging, QStringLiteral("1.1.0"));
    const HeldEntry held =
        UpdateLeftovers::create(rig.root.path(), UpdateLeftovers::Kind::download);
    rig.start();
    const QStringList expected{QFileInfo(held.path()).fileName(), QStringLiteral("tolvane")};
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.besideInstallation() == expected; }, 10000));
}

TEST(AppcastUpdater, NeverInstallsWhatDoesNotMatchItsSignatureAndLength)
{
    const QString mismatch =
        QStringLiteral("The update’s signature does not match. It was not installed.");
    struct Case {
        const char* name;
        std::function<void(Rig&, Release&)> spoil;
        QString error;
    };
    const Case cases[] = {
        {"tampered byte", [](Rig&, Release& r) { r.archive[r.archive.size() / 2] ^= 1; }, mismatch},
        {"other key",
         [](Rig& rig, Release&) {
             rig.options.info[QStringLiteral("SUPublicEDKey")] =
                 UpdateFixtures::makeKeyPair().publicKey;
         },
         mismatch},
        {"short signature",
         [](Rig&, Release& r) {
             r.signature = QString::fromLatin1(
                 QByteArray::fromBase64(r.signature.toLatin1()).left(40).toBase64());
         },
         QStringLiteral("The update’s signature is malformed.")},
        {"announced longer", [](Rig&, Release& r) { r.length += 10; },
         QStringLiteral("The downloaded update is not the announced size.")},
        {"announced shorter", [](Rig&, Release& r) { r.length -= 10; },
         QStringLiteral("The downloaded update is larger than announced.")},
    };
    for (const Case& c : cases) {
        Rig rig;
        Release r = rig.release(QStringLiteral("1.1.0"));
        c.spoil(rig, r);
        rig.serve({r});
        rig.start();
        rig.check();
        EXPECT_EQ(rig.driver.shown.last(), QStringLiteral("error: ") + c.error) << c.name;
        EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0")) << c.name;
        EXPECT_EQ(rig.besideInstallation(), onlyInstallation) << c.name;
        // Nothing is left to install at quit either.
        rig.updater->finishAtQuit();
        EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
    }
}

TEST(AppcastUpdater, EqualOrOlderIsUpToDate)
{
    for (const char* version : {"1.0.0", "1.0", "0.9.9"}) {
        Rig rig;
        rig.serve({rig.release(QString::fromLatin1(version))});
        rig.start();
        rig.check();
        EXPECT_EQ(rig.driver.shown,
                  QStringList({QStringLiteral("checking"), QStringLiteral("up to date 1.0.0")}))
            << version;
    }
}

TEST(AppcastUpdater, ANonWritableInstallationIsToldBeforeAnyDownload)
{
    Rig rig;
    rig.options.installer.isWritable = [](const QString&) { return false; };
    rig.serve({rig.release(QStringLiteral("1.1.0"))});
    rig.start();
    rig.check();
    EXPECT_TRUE(rig.driver.shown.last().startsWith(
        QStringLiteral("error: Tolvane can’t update itself in “%1”: you don’t have permission")
            .arg(rig.folder)));
    EXPECT_EQ(rig.archiveRequests(QStringLiteral("1.1.0")), 0);
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
}

TEST(AppcastUpdater, CancellingADownloadLeavesNothingBehind)
{
    Rig rig;
    rig.serve({rig.release(QStringLiteral("1.1.0"))}, false);
    rig.server.reply("GET", "/tolvane-1.1.0.tar.gz", HttpReply::stall());
    AppcastUpdater& updater = rig.start();
    updater.checkForUpdates();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return rig.archiveRequests(QStringLiteral("1.1.0")) == 1; }, 10000));
    EXPECT_EQ(rig.besideInstallation().size(), 2); // the download has begun
    rig.driver.cancel();
    EXPECT_TRUE(updater.canCheckForUpdates());
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
}

TEST(AppcastUpdater, SkippedVersionsAreOfferedOnlyWhenTheUserAsks)
{
    Rig rig;
    rig.driver.choice = UpdateUserDriver::Choice::skip;
    rig.serve({rig.release(QStringLiteral("1.1.0"))});
    rig.options.firstCheckDelayMs = 10;
    rig.options.checkIntervalMs = 50;
    AppcastUpdater& updater = rig.start();
    rig.check();
    EXPECT_EQ(updater.skippedVersion(), QStringLiteral("1.1.0"));
    EXPECT_EQ(rig.archiveRequests(QStringLiteral("1.1.0")), 0);

    // A background check reads the feed and shows nothing.
    rig.driver.shown.clear();
    const int feeds = int(rig.server.requests("GET", "/appcast.xml").size());
    updater.setAutomaticallyChecksForUpdates(true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.server.requests("GET", "/appcast.xml").size() == feeds + 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater.canCheckForUpdates(); }, 10000));
    EXPECT_TRUE(rig.driver.shown.isEmpty());
    EXPECT_TRUE(updater.lastCheckTime().isValid());

    // The user still gets it.
    rig.driver.choice = UpdateUserDriver::Choice::remindLater;
    rig.check();
    EXPECT_EQ(rig.driver.shown.last(), QStringLiteral("found 1.1.0 over 1.0.0: Notes of 1.1.0"));
}

TEST(AppcastUpdater, BackgroundChecksNeverShowErrors)
{
    Rig rig;
    rig.server.reply("GET", "/appcast.xml", HttpReply::text(500, "down"));
    rig.options.firstCheckDelayMs = 10;
    AppcastUpdater& updater = rig.start();
    updater.setAutomaticallyChecksForUpdates(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.server.requestCount() == 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater.canCheckForUpdates(); }, 10000));
    EXPECT_TRUE(rig.driver.shown.isEmpty());

    rig.check();
    EXPECT_EQ(rig.driver.shown.last(),
              QStringLiteral("error: The update server answered with status 500."));
}

TEST(AppcastUpdater, AutomaticDownloadsInstallAtQuitWithoutAWord)
{
    Rig rig;
    rig.serve({rig.release(QStringLiteral("1.1.0"))});
    rig.options.firstCheckDelayMs = 10;
    AppcastUpdater& updater = rig.start();
    updater.setAutomaticallyDownloadsUpdates(true);
    updater.setAutomaticallyChecksForUpdates(true);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return rig.archiveRequests(QStringLiteral("1.1.0")) == 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater.canCheckForUpdates(); }, 10000));
    EXPECT_TRUE(rig.driver.shown.isEmpty());
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.0.0"));

    updater.finishAtQuit();
    EXPECT_EQ(UpdateFixtures::installedVersion(rig.folder), QStringLiteral("1.1.0"));
    EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    EXPECT_TRUE(rig.launched.isEmpty());
}

TEST(AppcastUpdater, ABuildWithoutAUsableFeedOrKeyFailsOnlyAUserCheck)
{
    struct Case {
        const char* feed;
        const char* key; // null: the rig's own key
        QString error;
    };
    const QString noFeed = QStringLiteral("This build has no valid update feed address.");
    const Case cases[] = {
        {"", nullptr, noFeed},
        {"https://updates.example.invalid/appcast.xml", "",
         QStringLiteral("This build’s update key is not valid.")},
        {"http://updates.example.invalid/appcast.xml", nullptr,
         QStringLiteral("The update feed address is not a secure (HTTPS) address.")},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.options.info[QStringLiteral("SUFeedURL")] = QString::fromLatin1(c.feed);
        if (c.key)
            rig.options.info[QStringLiteral("SUPublicEDKey")] = QString::fromLatin1(c.key);
        rig.options.firstCheckDelayMs = 10;
        AppcastUpdater& updater = rig.start();
        updater.setAutomaticallyChecksForUpdates(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return updater.lastCheckTime().isValid(); }, 10000));
        EXPECT_TRUE(rig.driver.shown.isEmpty()) << c.feed;
        rig.check();
        EXPECT_EQ(rig.driver.shown.last(), QStringLiteral("error: ") + c.error) << c.feed;
    }
}

TEST(AppcastUpdater, KeepsItsSettingsAndAnnouncesOnlyChanges)
{
    Rig rig;
    AppcastUpdater& updater = rig.start();
    EXPECT_FALSE(updater.automaticallyChecksForUpdates());
    EXPECT_FALSE(updater.automaticallyDownloadsUpdates());
    QSignalSpy checks(&updater, &Updater::automaticallyChecksForUpdatesChanged);
    QSignalSpy downloads(&updater, &Updater::automaticallyDownloadsUpdatesChanged);
    updater.setAutomaticallyChecksForUpdates(true);
    updater.setAutomaticallyChecksForUpdates(true);
    updater.setAutomaticallyDownloadsUpdates(true);
    EXPECT_EQ(checks.size(), 1);
    EXPECT_EQ(downloads.size(), 1);

    rig.updater.reset();
    AppcastUpdater& again = rig.start();
    EXPECT_TRUE(again.automaticallyChecksForUpdates());
    EXPECT_TRUE(again.automaticallyDownloadsUpdates());
    // Unstarted, it cannot check.
    AppcastUpdater idle(rig.options, rig.driver);
    EXPECT_FALSE(idle.canCheckForUpdates());
    idle.checkForUpdates();
    EXPECT_TRUE(rig.driver.shown.isEmpty());
}

TEST(AppcastUpdater, NetworkFailuresAreToldPlainly)
{
    {
        Rig rig;
        rig.options.network.transferTimeoutMs = 300;
        rig.server.reply("GET", "/appcast.xml", HttpReply::stall());
        rig.start();
        rig.check();
        EXPECT_EQ(rig.driver.shown.last(),
                  QStringLiteral("error: The update server did not answer in time."));
    }
    {
        Rig rig;
        rig.options.info[QStringLiteral("SUFeedURL")] =
            QStringLiteral("http://127.0.0.1:%1/appcast.xml")
                .arg(TestSupport::LoopbackHttpServer::closedPort());
        rig.start();
        rig.check();
        EXPECT_TRUE(rig.driver.shown.last().startsWith(
            QStringLiteral("error: The update server could not be reached: ")))
            << rig.driver.shown.last().toStdString();
    }
    {
        // The archive is gone from the server: nothing is left half-downloaded.
        Rig rig;
        rig.serve({rig.release(QStringLiteral("1.1.0"))}, false);
        // An error page longer than the archive is still reported as what it is.
        rig.server.reply("GET", "/tolvane-1.1.0.tar.gz",
                         HttpReply::text(404, QByteArray(100'000, 'x')));
        rig.start();
        rig.check();
        EXPECT_EQ(rig.driver.shown.last(),
                  QStringLiteral("error: The update server answered with status 404."));
        EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    }
}

// A server that sends a byte now and then keeps Qt's transfer time-out from ever firing.
TEST(AppcastUpdater, ADownloadThatTricklesEnds)
{
    for (const bool byDeadline : {false, true}) {
        Rig rig;
        if (byDeadline) {
            rig.options.network.minimumBytesPerWindow = 0;
            rig.options.network.deadlineMs = 400;
        } else {
            rig.options.network.rateWindowMs = 400;
            rig.options.network.minimumBytesPerWindow = 1024;
        }
        const Release release = rig.release(QStringLiteral("1.1.0"));
        rig.serve({release}, false);
        rig.server.reply("GET", "/tolvane-1.1.0.tar.gz", HttpReply::trickle(release.archive, 50));
        rig.start();
        rig.check();
        EXPECT_EQ(rig.driver.shown.last(),
                  QStringLiteral("error: The update server is sending too slowly. Try again "
                                 "later."));
        EXPECT_GT(rig.driver.lastReceived, 0);
        EXPECT_EQ(rig.besideInstallation(), onlyInstallation);
    }
}
