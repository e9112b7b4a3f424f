#include "updates/UpdateInstaller.h"

#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "updates/ReleaseManifest.h"
#include "updates/UpdateLeftovers.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Installation {
    QTemporaryDir root;
    QString folder = root.filePath(QStringLiteral("tolvane"));
    QString archive = root.filePath(QStringLiteral("incoming.tar.gz"));

    Installation() { UpdateFixtures::makeInstallation(folder, QStringLiteral("1.0.0")); }

    UpdateInstaller installer(UpdateInstaller::Options options = {}) const
    {
        return UpdateInstaller(folder, std::move(options));
    }
    // Installs the archive as release 1.1.0 over the running 1.0.0.
    void install(UpdateInstaller::Options options = {}) const
    {
        installer(std::move(options))
            .install(HeldEntry::openFile(archive), QStringLiteral("1.1.0"),
                     QStringLiteral("1.0.0"));
    }
    // Everything beside the installation except the archive: nothing may be left there.
    QStringList leftovers() const
    {
        QStringList names = TestSupport::entries(root.path());
        names.removeAll(QStringLiteral("incoming.tar.gz"));
        return names;
    }
};

QString failure(const std::function<void()>& step)
{
    try {
        step();
        return {};
    } catch (const MessageError& error) {
        return error.message();
    }
}

} // namespace

TEST(UpdateInstaller, SwapsInTheNewTreeInEitherLayoutAndWithEitherRename)
{
    using Step = UpdateInstaller::Step;
    for (const bool topFolder : {true, false}) {
        for (const bool atomic : {true, false}) {
            Installation install;
            UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"), topFolder);
            UpdateInstaller::Options options;
            options.atomicExchange = atomic;
            QList<Step> steps;
            options.afterStep = [&steps](Step done) { steps << done; };
            install.install(options);
            EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
            EXPECT_TRUE(QFileInfo(install.folder + QStringLiteral("/bin/tolvane")).isExecutable());
            // Staging and the old tree are gone.
            EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
            // The new tree is on disk before anything is renamed.
            const QList<Step> expected =
                atomic ? QList{Step::unpacked, Step::checked, Step::synced, Step::swapped}
                       : QList{Step::unpacked, Step::checked, Step::synced, Step::movedAside,
                               Step::swapped};
            EXPECT_EQ(steps, expected);
        }
    }
}

TEST(UpdateInstaller, DownloadsGoBesideTheInstallationUnderAHiddenName)
{
    Installation install;
    const HeldEntry download = install.installer().newDownload();
    const QString path = download.path();
    EXPECT_EQ(QFileInfo(path).path(), install.root.path());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral(".tolvane-update-")));
    EXPECT_EQ(QFileInfo(path).fileName().size(), 16 + 36);
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
    EXPECT_EQ(install.installer().executable(), install.folder + QStringLiteral("/bin/tolvane"));
}

TEST(UpdateInstaller, ANonWritableFolderOrParentIsNamedAndNothingChanges)
{
    for (const bool parentLocked : {false, true}) {
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
        UpdateInstaller::Options options;
        const QString locked = parentLocked ? install.root.path() : install.folder;
        options.isWritable = [locked](const QString& folder) { return folder != locked; };
        const QString expected =
            QStringLiteral("Tolvane can’t update itself in “%1”: you don’t have permission to "
                           "change it or the folder that holds it.")
                .arg(install.folder);
        EXPECT_EQ(failure([&] { install.installer(options).checkCanInstall(); }), expected);
        EXPECT_EQ(failure([&] { install.install(options); }), expected);
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
}

TEST(UpdateInstaller, NeverReplacesAFolderThatIsNotTolvanesAlone)
{
    {
        // A shared prefix: bin/ holds other programs.
        Installation install;
        TestSupport::writeBytes(install.folder + QStringLiteral("/bin/other"), "x");
        EXPECT_EQ(failure([&] { install.installer().checkCanInstall(); }),
                  QStringLiteral("Tolvane can’t update itself in “%1”: it holds “bin/other”, "
                                 "which is not part of Tolvane.")
                      .arg(install.folder));
    }
    {
        // Not an installation at all (a build tree has no share/tolvane here).
        Installation install;
        QDir(install.folder + QStringLiteral("/share/tolvane")).removeRecursively();
        EXPECT_NE(failure([&] { install.installer().checkCanInstall(); }), QString());
    }
    {
        // A mount point: its parent's rename can't move it (EBUSY).
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
        UpdateInstaller::Options options;
        options.isMountPoint = [&](const QString& folder) { return folder == install.folder; };
        const QString expected = QStringLiteral("Tolvane can’t update itself in “%1”: it is a "
                                                "mount point, and a mount point can’t be replaced.")
                                     .arg(install.folder);
        EXPECT_EQ(failure([&] { install.installer(options).checkCanInstall(); }), expected);
        EXPECT_EQ(failure([&] { install.install(options); }), expected);
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
    {
        // Something at the top the new release does not carry would be lost with the swap.
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
        TestSupport::writeBytes(install.folder + QStringLiteral("/notes.txt"), "mine");
        EXPECT_EQ(failure([&] { install.install(); }),
                  QStringLiteral("Tolvane can’t update itself in “%1”: it holds “notes.txt”, "
                                 "which is not part of Tolvane.")
                      .arg(install.folder));
        EXPECT_EQ(TestSupport::readBytes(install.folder + QStringLiteral("/notes.txt")), "mine");
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
}

TEST(UpdateInstaller, ABrokenArchiveLeavesTheInstallationWhole)
{
    Installation install;
    // Not gzip at all; then a valid archive with no program in it.
    TestSupport::writeBytes(install.archive, "not an archive");
    EXPECT_EQ(failure([&] { install.install(); }),
              QStringLiteral("The update could not be installed: the archive could not be "
                             "unpacked."));
    QTemporaryDir empty;
    TestSupport::writeBytes(empty.filePath(QStringLiteral("readme")), "x");
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-czf"), install.archive, QStringLiteral("-C"),
                                      empty.path(), QStringLiteral(".")});
    ASSERT_TRUE(tar.waitForFinished());
    EXPECT_EQ(failure([&] { install.install(); }),
              QStringLiteral("The update could not be installed: the archive holds no Tolvane "
                             "program."));
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
}

namespace {

QString unsafeEntry(const QString& name)
{
    return QStringLiteral("The update was refused: the archive holds an unsafe entry, “%1”.")
        .arg(name);
}

void symlink(const QString& target, const QString& link)
{
    ASSERT_TRUE(QFile::link(target, link)) << link.toStdString();
}

} // namespace

TEST(UpdateInstaller, RefusesHostileArchivesBeforeUnpackingAnything)
{
    const auto nothing = [](const QString&) {};
    struct Case {
        const char* name;
        std::function<void(const QString& release)> prepare;
        QString member; // as the message names it; empty: only the refusal is checked
        bool absolute = false;
        bool climbs = false;
    };
    const Case cases[] = {
        {"absolute name", nothing, {}, true},
        {"climbs out", nothing, QStringLiteral("../evil"), false, true},
        {"hard link",
         [](const QString& release) {
             TestSupport::writeBytes(release + QStringLiteral("/share/a"), "a");
             ASSERT_EQ(::link(QFile::encodeName(release + QStringLiteral("/share/a")).constData(),
                              QFile::encodeName(release + QStringLiteral("/share/b")).constData()),
                       0);
         },
         {}},
        {"absolute link",
         [](const QString& release) {
             symlink(QStringLiteral("/etc/passwd"), release + QStringLiteral("/share/passwd"));
         },
         QStringLiteral("tolvane-1.1.0/share/passwd")},
        {"link out of the tree",
         [](const QString& release) {
             symlink(QStringLiteral("../../.."), release + QStringLiteral("/share/up"));
         },
         QStringLiteral("tolvane-1.1.0/share/up")},
        // Read as text the second link stays inside; through the first it leaves the tree.
        {"link through a link",
         [](const QString& release) {
             symlink(QStringLiteral("."), release + QStringLiteral("/share/here"));
             symlink(QStringLiteral("here/../../.."), release + QStringLiteral("/share/out"));
         },
         QStringLiteral("tolvane-1.1.0/share/out")},
        {"FIFO",
         [](const QString& release) {
             ASSERT_EQ(
                 ::mkfifo(QFile::encodeName(release + QStringLiteral("/pipe")).constData(), 0644),
                 0);
         },
         QStringLiteral("tolvane-1.1.0/pipe")},
    };
    for (const Case& c : cases) {
        Installation install;
        QTemporaryDir work;
        const QString outside = work.filePath(QStringLiteral("outside/evil"));
        UpdateFixtures::writeFile(outside, "evil");
        TestSupport::writeBytes(work.filePath(QStringLiteral("evil")), "evil");
        QStringList extra;
        if (c.absolute)
            extra << outside;
        if (c.climbs)
            extra << QStringLiteral("../evil");
        UpdateFixtures::makeHostileArchive(install.archive, work.filePath(QStringLiteral("base")),
                                           c.prepare, extra);
        QFile::remove(outside);

        const QString message = failure([&] { install.install(); });
        if (c.absolute)
            EXPECT_EQ(message, unsafeEntry(outside)) << c.name;
        else if (c.member.isEmpty())
            EXPECT_TRUE(message.startsWith(unsafeEntry({}).chopped(2))) << c.name;
        else
            EXPECT_EQ(message, unsafeEntry(c.member)) << c.name;
        EXPECT_FALSE(QFileInfo::exists(outside)) << c.name;
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")}) << c.name;
    }
}

namespace {

// The release archive of 1.1.0 packed from a tree that `prepare` changed, manifest included.
void packChangedRelease(const QString& archive, const std::function<void(const QString&)>& prepare)
{
    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("tree"));
    UpdateFixtures::makeTree(tree, QStringLiteral("1.1.0"));
    prepare(tree);
    QFile::remove(archive);
    ASSERT_TRUE(QFile::rename(UpdateFixtures::packTree(tree, work.path()), archive));
}

} // namespace

// Inside the release's own folder, not merely inside the staging folder: after the swap that
// folder is the installation, and a link that leaves it leads beside it.
TEST(UpdateInstaller, KeepsOnlyLinksThatStayInsideTheRelease)
{
    Installation install;
    packChangedRelease(install.archive, [](const QString& tree) {
        symlink(QStringLiteral("../share/tolvane/Info.json"), tree + QStringLiteral("/bin/info"));
    });
    install.install();
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
    EXPECT_EQ(QFileInfo(install.folder + QStringLiteral("/bin/info")).symLinkTarget(),
              install.folder + QStringLiteral("/share/tolvane/Info.json"));

    Installation other;
    packChangedRelease(other.archive, [](const QString& tree) {
        symlink(QStringLiteral("../../beside"), tree + QStringLiteral("/share/beside"));
    });
    EXPECT_EQ(failure([&] { other.install(); }),
              unsafeEntry(QStringLiteral("tolvane-1.1.0/share/beside")));
    EXPECT_EQ(UpdateFixtures::installedVersion(other.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(other.leftovers(), QStringList{QStringLiteral("tolvane")});
}

// An archive's size on disk is known from its listing: a small signed archive that unpacks to
// gigabytes is refused before a byte is written.
TEST(UpdateInstaller, RefusesAnArchiveThatWouldNotFit)
{
    {
        // 5 GiB of zeros, stored sparse: a few hundred bytes of archive.
        Installation install;
        QTemporaryDir work;
        const QString release = work.filePath(QStringLiteral("tolvane-1.1.0"));
        UpdateFixtures::makeInstallation(release, QStringLiteral("1.1.0"));
        QFile huge(release + QStringLiteral("/share/tolvane/Models/Huge.onnx"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(5) << 30));
        huge.close();
        UpdateFixtures::run(QStringLiteral("tar"),
                            {QStringLiteral("-czSf"), install.archive, QStringLiteral("-C"),
                             work.path(), QStringLiteral("tolvane-1.1.0")});
        EXPECT_EQ(failure([&] { install.install(); }),
                  QStringLiteral("The update was refused: the archive would unpack to more than "
                                 "4 GiB."));
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
    {
        Installation install;
        packChangedRelease(install.archive, [](const QString& tree) {
            TestSupport::writeBytes(tree + QStringLiteral("/share/tolvane/Models/Big.onnx"),
                                    QByteArray(3'000'000, '\0'));
        });
        UpdateInstaller::Options options;
        options.freeBytes = [](const QString&) { return qint64(2'000'000); };
        EXPECT_EQ(failure([&] { install.install(options); }),
                  QStringLiteral("The update could not be installed: it needs 3.0 MB of free "
                                 "space beside the installation, and only 2.0 MB are free."));
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
}

// A per-user prefix made by `cmake --install --prefix ~/.local` has bin/tolvane and
// share/tolvane too, beside everything else the user keeps there.
TEST(UpdateInstaller, RefusesASharedPrefixAndKeepsEveryFileInIt)
{
    QTemporaryDir root;
    const QString prefix = root.filePath(QStringLiteral(".local"));
    UpdateFixtures::makeTree(prefix, QStringLiteral("1.0.0"));
    const QStringList others{QStringLiteral("share/Tolvane/library.json"),
                             QStringLiteral("share/keyrings/login.keyring"),
                             QStringLiteral("share/fonts/Face.ttf")};
    for (const QString& other : others)
        UpdateFixtures::writeFile(prefix + u'/' + other, "mine");
    const QString archive = root.filePath(QStringLiteral("incoming.tar.gz"));
    UpdateFixtures::makeArchive(archive, QStringLiteral("1.1.0"));

    const UpdateInstaller installer(prefix, {});
    const QString expected = QStringLiteral("Tolvane can’t update itself in “%1”: it was not "
                                            "installed from a Tolvane release archive into a "
                                            "folder of its own.")
                                 .arg(prefix);
    EXPECT_EQ(failure([&] { installer.checkCanInstall(); }), expected);
    EXPECT_EQ(failure([&] {
                  installer.install(HeldEntry::openFile(archive), QStringLiteral("1.1.0"),
                                    QStringLiteral("1.0.0"));
              }),
              expected);

    // A manifest carried over from a release does not make the prefix Tolvane's alone.
    QTemporaryDir release;
    UpdateFixtures::makeInstallation(release.filePath(QStringLiteral("t")),
                                     QStringLiteral("1.0.0"));
    const QString manifest = QStringLiteral("/share/tolvane/release-manifest.txt");
    ASSERT_TRUE(QFile::copy(release.filePath(QStringLiteral("t")) + manifest, prefix + manifest));
    UpdateFixtures::writeFile(prefix + QStringLiteral("/share/Tolvane/library.json"), "mine");
    const QString named = failure([&] { installer.checkCanInstall(); });
    EXPECT_TRUE(named.startsWith(
        QStringLiteral("Tolvane can’t update itself in “%1”: it holds “").arg(prefix)))
        << named.toStdString();

    for (const QString& other : others)
        EXPECT_EQ(TestSupport::readBytes(prefix + u'/' + other), "mine") << other.toStdString();
    EXPECT_EQ(UpdateFixtures::installedVersion(prefix), QStringLiteral("1.0.0"));
    EXPECT_EQ(TestSupport::entries(root.path()),
              (QStringList{QStringLiteral(".local"), QStringLiteral("incoming.tar.gz")}));
}

TEST(UpdateInstaller, InstallsOnlyTheAnnouncedVersionAndOnlyANewerOne)
{
    struct Case {
        const char* inArchive;
        const char* announced;
        QString error;
    };
    const Case cases[] = {
        {"0.9.0", "1.2.0",
         QStringLiteral("The update was refused: the archive holds Tolvane 0.9.0, not the "
                        "announced 1.2.0.")},
        {"1.0.0", "1.0.0",
         QStringLiteral("The update was refused: Tolvane 1.0.0 is not newer than the running "
                        "1.0.0.")},
    };
    for (const Case& c : cases) {
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QString::fromLatin1(c.inArchive));
        const UpdateInstaller installer = install.installer();
        const QString announced = QString::fromLatin1(c.announced);
        EXPECT_EQ(failure([&] {
                      installer.checkArchive(HeldEntry::openFile(install.archive), announced,
                                             QStringLiteral("1.0.0"));
                  }),
                  c.error);
        EXPECT_EQ(failure([&] {
                      installer.install(HeldEntry::openFile(install.archive), announced,
                                        QStringLiteral("1.0.0"));
                  }),
                  c.error);
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
    // "1.1" is the same release as "1.1.0"; checking changes nothing.
    Installation install;
    UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
    EXPECT_NO_THROW(install.installer().checkArchive(
        HeldEntry::openFile(install.archive), QStringLiteral("1.1"), QStringLiteral("1.0.0")));
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
}

TEST(UpdateInstaller, AnArchiveWithoutACompleteManifestIsNoRelease)
{
    Installation install;
    QTemporaryDir work;
    UpdateFixtures::makeTree(work.filePath(QStringLiteral("tolvane-1.1.0")),
                             QStringLiteral("1.1.0"));
    UpdateFixtures::run(QStringLiteral("tar"),
                        {QStringLiteral("-czf"), install.archive, QStringLiteral("-C"), work.path(),
                         QStringLiteral("tolvane-1.1.0")});
    EXPECT_EQ(failure([&] { install.install(); }),
              QStringLiteral("The update could not be installed: the archive is not a complete "
                             "Tolvane release."));
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
}

// What a crash, kill or logout during an update leaves beside the installation goes at the
// next start, unless a running Tolvane holds it; nothing else is touched, nothing is followed.
TEST(UpdateInstaller, RecoveryRemovesOnlyLeftoversNobodyHolds)
{
    Installation install;
    const QString root = install.root.path() + u'/';
    const auto name = [](const char* prefix) {
        return QString::fromLatin1(prefix) + FileNames::newUuidString();
    };
    const QString download = name(".tolvane-update-");
    const QString staging = name(".tolvane-staging-");
    const QString old = name(".tolvane-old-");
    TestSupport::writeBytes(root + download, "part of an archive");
    UpdateFixtures::makeTree(root + staging + QStringLiteral("/tolvane-1.1.0"),
                             QStringLiteral("1.1.0"));
    UpdateFixtures::makeTree(root + old, QStringLiteral("0.9.0"));
    QFile::setPermissions(root + old + QStringLiteral("/bin"), QFile::ReadOwner | QFile::ExeOwner);

    // Held by a running Tolvane; names that only look like the updater's; a link bearing its
    // name, whose target is not the updater's to remove.
    const HeldEntry held =
        UpdateLeftovers::create(install.root.path(), UpdateLeftovers::Kind::download);
    const QString heldName = QFileInfo(held.path()).fileName();
    const QStringList others{QStringLiteral(".tolvane-update-notes"),
                             QStringLiteral(".tolvane-old-") +
                                 FileNames::newUuidString().toLower()};
    for (const QString& other : others)
        TestSupport::writeBytes(root + other, "mine");
    QTemporaryDir elsewhere;
    TestSupport::writeBytes(elsewhere.filePath(QStringLiteral("keep")), "mine");
    const QString link = name(".tolvane-staging-");
    ASSERT_TRUE(QFile::link(elsewhere.path(), root + link));

    install.installer().recover();
    QStringList expected = others + QStringList{QStringLiteral("tolvane"), heldName, link};
    expected.sort();
    EXPECT_EQ(install.leftovers(), expected);
    EXPECT_EQ(TestSupport::readBytes(elsewhere.filePath(QStringLiteral("keep"))), "mine");
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
}

namespace {

constexpr int stoppedStatus = 42;

} // namespace

// Not a test of its own: the process AStopAfterAnyStepIsMadeWholeAtTheNextStart stops after one
// step of an install, the way a kill would.
TEST(UpdateInstallerStopped, Child)
{
    const QByteArray stopAfter = qgetenv("TOLVANE_TEST_STOP_AFTER");
    if (stopAfter.isEmpty())
        GTEST_SKIP()
            << "started only by UpdateInstaller.AStopAfterAnyStepIsMadeWholeAtTheNextStart";
    UpdateInstaller::Options options;
    options.atomicExchange = qEnvironmentVariableIntValue("TOLVANE_TEST_ATOMIC") != 0;
    options.afterStep = [step = stopAfter.toInt()](UpdateInstaller::Step done) {
        if (int(done) == step)
            ::_exit(stoppedStatus);
    };
    UpdateInstaller(qEnvironmentVariable("TOLVANE_TEST_FOLDER"), options)
        .install(HeldEntry::openFile(qEnvironmentVariable("TOLVANE_TEST_ARCHIVE")),
                 QStringLiteral("1.1.0"), QStringLiteral("1.0.0"));
    FAIL() << "the install ran past its step";
}

TEST(UpdateInstaller, AStopAfterAnyStepIsMadeWholeAtTheNextStart)
{
    using Step = UpdateInstaller::Step;
    const struct {
        Step step;
        bool atomic;
        const char* version; // installed once the next start has repaired the folder
    } cases[] = {
        {Step::unpacked, true, "1.0.0"}, {Step::checked, true, "1.0.0"},
        {Step::synced, true, "1.0.0"},   {Step::swapped, true, "1.1.0"},
        {Step::synced, false, "1.0.0"},  {Step::movedAside, false, "1.0.0"},
        {Step::swapped, false, "1.1.0"},
    };
    for (const auto& c : cases) {
        const std::string name = std::to_string(int(c.step)) + (c.atomic ? " atomic" : " renames");
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"), false);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TOLVANE_TEST_STOP_AFTER"), QString::number(int(c.step)));
        environment.insert(QStringLiteral("TOLVANE_TEST_ATOMIC"), c.atomic ? "1" : "0");
        environment.insert(QStringLiteral("TOLVANE_TEST_FOLDER"), install.folder);
        environment.insert(QStringLiteral("TOLVANE_TEST_ARCHIVE"), install.archive);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=UpdateInstallerStopped.Child")});
        ASSERT_TRUE(child.waitForFinished(60000)) << name;
        ASSERT_EQ(child.exitCode(), stoppedStatus) << name << child.readAll().toStdString();
        EXPECT_GT(install.leftovers().size(), 1) << name;

        install.installer().recover();
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QString::fromLatin1(c.version))
            << name;
        EXPECT_TRUE(ReleaseManifest::isComplete(install.folder)) << name;
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")}) << name;
    }
}
