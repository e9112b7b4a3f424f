#include "updates/UpdateInstaller.h"

#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "core/EngineError.h"

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
            .install(archive, QStringLiteral("1.1.0"), QStringLiteral("1.0.0"));
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
    for (const bool topFolder : {true, false}) {
        for (const bool atomic : {true, false}) {
            Installation install;
            UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"), topFolder);
            UpdateInstaller::Options options;
            options.atomicExchange = atomic;
            install.install(options);
            EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
            EXPECT_TRUE(QFileInfo(install.folder + QStringLiteral("/bin/tolvane")).isExecutable());
            // Staging and the old tree are gone.
            EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
        }
    }
}

TEST(UpdateInstaller, DownloadsGoBesideTheInstallationUnderAHiddenName)
{
    Installation install;
    const QString path = install.installer().newDownloadPath();
    EXPECT_EQ(QFileInfo(path).path(), install.root.path());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral(".tolvane-update-")));
    EXPECT_EQ(QFileInfo(path).fileName().size(), 16 + 36);
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

TEST(UpdateInstaller, KeepsLinksThatStayInsideTheRelease)
{
    Installation install;
    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("tree"));
    UpdateFixtures::makeTree(tree, QStringLiteral("1.1.0"));
    symlink(QStringLiteral("../share/tolvane/Info.json"), tree + QStringLiteral("/bin/info"));
    ASSERT_TRUE(QFile::rename(UpdateFixtures::packTree(tree, work.path()), install.archive));
    install.install();
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
    EXPECT_EQ(QFileInfo(install.folder + QStringLiteral("/bin/info")).symLinkTarget(),
              install.folder + QStringLiteral("/share/tolvane/Info.json"));
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
                  installer.install(archive, QStringLiteral("1.1.0"), QStringLiteral("1.0.0"));
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
                      installer.checkArchive(install.archive, announced, QStringLiteral("1.0.0"));
                  }),
                  c.error);
        EXPECT_EQ(failure([&] {
                      installer.install(install.archive, announced, QStringLiteral("1.0.0"));
                  }),
                  c.error);
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
    // "1.1" is the same release as "1.1.0"; checking changes nothing.
    Installation install;
    UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
    EXPECT_NO_THROW(install.installer().checkArchive(install.archive, QStringLiteral("1.1"),
                                                     QStringLiteral("1.0.0")));
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
