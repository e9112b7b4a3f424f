#include "updates/UpdateInstaller.h"

#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "core/EngineError.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
            install.installer(options).install(install.archive);
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
        EXPECT_EQ(failure([&] { install.installer(options).install(install.archive); }), expected);
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
                  QStringLiteral("Tolvane can’t update itself in “%1”: the folder also holds "
                                 "other programs.")
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
        EXPECT_EQ(failure([&] { install.installer().install(install.archive); }),
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
    EXPECT_EQ(failure([&] { install.installer().install(install.archive); }),
              QStringLiteral("The update could not be installed: the archive could not be "
                             "unpacked."));
    QTemporaryDir empty;
    TestSupport::writeBytes(empty.filePath(QStringLiteral("readme")), "x");
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-czf"), install.archive, QStringLiteral("-C"),
                                      empty.path(), QStringLiteral(".")});
    ASSERT_TRUE(tar.waitForFinished());
    EXPECT_EQ(failure([&] { install.installer().install(install.archive); }),
              QStringLiteral("The update could not be installed: the archive holds no Tolvane "
                             "program."));
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
    EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
}
