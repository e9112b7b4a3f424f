#include "updates/UpdateInstaller.h"

#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "UpdateInstallation.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "updates/ReleaseManifest.h"
#include "updates/UpdateLeftovers.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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

// The new tree's file system is written to disk before the swap; when that fails, nothing is
// swapped and nothing is left.
TEST(UpdateInstaller, WritesTheNewTreeToDiskBeforeTheSwapAndStopsWhenThatFails)
{
    using Step = UpdateInstaller::Step;
    for (const bool fails : {false, true}) {
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
        UpdateInstaller::Options options;
        QStringList events;
        options.syncFileSystem = [&](int fd) {
            struct stat synced {};
            struct stat parent {};
            EXPECT_EQ(::fstat(fd, &synced), 0);
            EXPECT_EQ(::stat(QFile::encodeName(install.root.path()).constData(), &parent), 0);
            events << (synced.st_dev == parent.st_dev ? QStringLiteral("sync beside")
                                                      : QStringLiteral("sync elsewhere"));
            errno = EIO;
            return fails ? -1 : 0;
        };
        options.afterStep = [&](Step done) { events << QString::number(int(done)); };
        const QString message = failure([&] { install.install(options); });
        const QString unpacked = QString::number(int(Step::unpacked));
        const QString checked = QString::number(int(Step::checked));
        if (fails) {
            EXPECT_EQ(message, QStringLiteral("The update could not be installed: %1")
                                   .arg(QString::fromLocal8Bit(std::strerror(EIO))));
            EXPECT_EQ(events, (QStringList{unpacked, checked, QStringLiteral("sync beside")}));
            EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        } else {
            EXPECT_EQ(message, QString());
            EXPECT_EQ(events, (QStringList{unpacked, checked, QStringLiteral("sync beside"),
                                           QString::number(int(Step::synced)),
                                           QString::number(int(Step::swapped))}));
            EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
        }
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
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
                  QStringLiteral("The update could not be installed: it needs at least 3.0 MB of "
                                 "free space beside the installation, and only 2.0 MB are free."));
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
}

namespace {

// A gzip stream that starts a tar archive of one member of `declaredBytes` and breaks off after
// its first block of data, the way a listing of a bomb too large to write in a test starts.
void writeBrokenOffArchive(const QString& path, qint64 declaredBytes)
{
    QByteArray header(512, '\0');
    const auto put = [&header](int at, const QByteArray& field) {
        header.replace(at, field.size(), field);
    };
    const auto octal = [](qint64 value, int digits) {
        return QByteArray::number(value, 8).rightJustified(digits, '0');
    };
    put(0, "tolvane-1.1.0/share/tolvane/Models/Huge.onnx");
    put(100, octal(0644, 7));
    put(108, octal(0, 7));
    put(116, octal(0, 7));
    put(124, octal(declaredBytes, 11));
    put(136, octal(0, 11));
    put(148, QByteArray(8, ' '));
    put(156, "0");
    put(257, QByteArray("ustar", 6) + "00");
    int sum = 0;
    for (const char byte : header)
        sum += uchar(byte);
    put(148, octal(sum, 6) + QByteArray("\0 ", 2));
    TestSupport::writeBytes(path + QStringLiteral(".tar"), header + QByteArray(512, 'x'));
    UpdateFixtures::run(QStringLiteral("gzip"),
                        {QStringLiteral("-f"), path + QStringLiteral(".tar")});
    QFile::remove(path);
    ASSERT_TRUE(QFile::rename(path + QStringLiteral(".tar.gz"), path));
}

} // namespace

// The listing stops at the first member past either bound: what follows, here nothing readable,
// is never decompressed.
TEST(UpdateInstaller, RefusesAnOversizedArchiveAtTheFirstMemberTooMany)
{
    struct Case {
        qint64 declared;
        qint64 free;
        QString message;
    };
    const Case cases[] = {
        {qint64(5) << 30, std::numeric_limits<qint64>::max(),
         QStringLiteral("The update was refused: the archive would unpack to more than 4 GiB.")},
        {qint64(2) << 30, qint64(1) << 30,
         QStringLiteral("The update could not be installed: it needs at least 2147.5 MB of free "
                        "space beside the installation, and only 1073.7 MB are free.")},
    };
    for (const Case& c : cases) {
        Installation install;
        writeBrokenOffArchive(install.archive, c.declared);
        UpdateInstaller::Options options;
        options.freeBytes = [&c](const QString&) { return c.free; };
        EXPECT_EQ(failure([&] { install.install(options); }), c.message);
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
}

// Whatever gzip comes first on the search path, tar runs the system's.
TEST(UpdateInstaller, UnpacksWithTheSystemsDecompressorWhateverThePath)
{
    Installation install;
    UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
    QTemporaryDir bin;
    const QString marker = bin.filePath(QStringLiteral("ran"));
    const QString fake = bin.filePath(QStringLiteral("gzip"));
    TestSupport::writeBytes(fake, "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\nexit 1\n");
    ASSERT_TRUE(QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    const QString message = failure([&] { install.install(); });
    qputenv("PATH", path);
    EXPECT_EQ(message, QString());
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
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
// Read-only folders in it go too: meaningful only for an ordinary user, whom their modes stop.
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
    const QString locked = root + staging + QStringLiteral("/tolvane-1.1.0/share/locked");
    UpdateFixtures::writeFile(locked + QStringLiteral("/inner/file"), "x");
    QFile::setPermissions(locked + QStringLiteral("/inner"), QFile::ReadOwner | QFile::ExeOwner);
    QFile::setPermissions(locked, {});

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
    // A read-only folder of someone else's, linked from inside a leftover, keeps its mode.
    const QString theirs = elsewhere.filePath(QStringLiteral("theirs"));
    UpdateFixtures::writeFile(theirs + QStringLiteral("/keep"), "mine");
    const auto owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QFile::setPermissions(theirs, QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFile::link(theirs, root + old + QStringLiteral("/theirs")));

    install.installer().recover();
    QStringList expected = others + QStringList{QStringLiteral("tolvane"), heldName, link};
    expected.sort();
    EXPECT_EQ(install.leftovers(), expected);
    EXPECT_EQ(TestSupport::readBytes(elsewhere.filePath(QStringLiteral("keep"))), "mine");
    EXPECT_EQ(TestSupport::readBytes(theirs + QStringLiteral("/keep")), "mine");
    EXPECT_EQ(QFile::permissions(theirs) & owner, QFile::ReadOwner | QFile::ExeOwner);
    QFile::setPermissions(theirs, owner);
    EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.0.0"));
}

// The old tree goes after the swap even where a folder in it is read-only, as a release may
// ship one: meaningful only for an ordinary user.
TEST(UpdateInstaller, RemovesAnOldTreeWithReadOnlyFolders)
{
    for (const bool atomic : {true, false}) {
        Installation install;
        UpdateFixtures::makeArchive(install.archive, QStringLiteral("1.1.0"));
        QFile::setPermissions(install.folder + QStringLiteral("/share/tolvane"),
                              QFile::ReadOwner | QFile::ExeOwner);
        UpdateInstaller::Options options;
        options.atomicExchange = atomic;
        install.install(options);
        EXPECT_EQ(UpdateFixtures::installedVersion(install.folder), QStringLiteral("1.1.0"));
        EXPECT_EQ(install.leftovers(), QStringList{QStringLiteral("tolvane")});
    }
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
