#include "updates/UpdateInstaller.h"

#include "UpdateInstallation.h"
#include "updates/MountPoints.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

QString mountRefusal(const QString& folder)
{
    return QStringLiteral("Tolvane can’t update itself in “%1”: it is a mount point, and a mount "
                          "point can’t be replaced.")
        .arg(folder);
}

} // namespace

// Not a test of its own: the process ABindMountedInstallationIsRefusedAsTheKernelReportsIt
// starts, in a mount namespace of its own so that its mount goes with it.
TEST(UpdateInstallerBindMount, Child)
{
    if (qEnvironmentVariableIsEmpty("TOLVANE_TEST_BIND_MOUNT"))
        GTEST_SKIP() << "started only by "
                        "UpdateInstaller.ABindMountedInstallationIsRefusedAsTheKernelReportsIt";
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << std::strerror(errno);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    // A space in the name: the mount table writes it escaped.
    Installation install(QStringLiteral("my programs"));
    UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
    const QByteArray folder = QFile::encodeName(install.folder);
    EXPECT_FALSE(MountPoints::isMountRoot(install.folder));
    EXPECT_FALSE(MountPoints::isListedMountPoint(install.folder));
    // The same file system, the same device number as the folder above.
    ASSERT_EQ(::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr), 0)
        << std::strerror(errno);
    EXPECT_TRUE(MountPoints::isMountRoot(install.folder));
    EXPECT_TRUE(MountPoints::isListedMountPoint(install.folder));
    EXPECT_FALSE(MountPoints::isListedMountPoint(install.root.path()));

    EXPECT_EQ(failure([&] { install.installer().checkCanInstall(); }),
              mountRefusal(install.folder));
    // Missed before the download: the rename's EBUSY says the same, and nothing changes.
    for (const bool atomic : {true, false}) {
        UpdateInstaller::Options options;
        options.isMountPoint = [](const QString&) { return false; };
        options.atomicExchange = atomic;
        EXPECT_EQ(failure([&] { install.install(options); }), mountRefusal(install.folder));
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("my programs")});
    }
    ::umount2(folder.constData(), MNT_DETACH);
}

TEST(UpdateInstaller, ABindMountedInstallationIsRefusedAsTheKernelReportsIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: bind-mounts a folder in a mount namespace of its own";
    const auto run = TestSupport::runAlone("UpdateInstallerBindMount.Child",
                                           "TOLVANE_TEST_BIND_MOUNT", "1", 60000);
    EXPECT_TRUE(run.passed()) << run.output.toStdString();
}
