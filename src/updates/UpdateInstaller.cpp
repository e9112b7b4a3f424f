#include "UpdateInstaller.h"

#include "MountPoints.h"
#include "ReleaseManifest.h"
#include "UpdateArchive.h"
#include "UpdateErrors.h"
#include "UpdateLeftovers.h"
#include "UpdateVersion.h"
#include "core/EngineError.h"
#include "core/Resources.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

using UpdateErrors::installFailed;
using UpdateErrors::refused;

const QString programName = QStringLiteral("tolvane");

bool accessWritable(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

MessageError cannotUpdate(const QString& folder, const QString& why)
{
    return MessageError(QStringLiteral("Tolvane can’t update itself in “%1”: %2")
                            .arg(QDir::toNativeSeparators(folder), why));
}

MessageError mountPointRefusal(const QString& folder)
{
    return cannotUpdate(folder, QStringLiteral("it is a mount point, and a mount point can’t be "
                                               "replaced."));
}

bool holdsProgram(const QString& tree)
{
    const QFileInfo program(tree + QStringLiteral("/bin/") + programName);
    return program.isFile() && program.isExecutable();
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// The version a tree records in its Info.json, or empty.
QString versionOf(const QString& tree)
{
    const QJsonValue version = Resources::readInfo(tree + QStringLiteral("/share/tolvane"))
                                   .value(QStringLiteral("CFBundleShortVersionString"));
    return version.isString() ? version.toString() : QString();
}

// The release the archive claims to be, and only a newer one.
void checkVersion(const QString& newTree, const QString& version, const QString& runningVersion)
{
    const QString unpacked = versionOf(newTree);
    if (!UpdateVersion::isValid(unpacked))
        throw refused(QStringLiteral("the archive does not say which version it holds."));
    if (UpdateVersion::compare(unpacked, version) != 0)
        throw refused(QStringLiteral("the archive holds Tolvane %1, not the announced %2.")
                          .arg(unpacked, version));
    if (UpdateVersion::compare(unpacked, runningVersion) <= 0)
        throw refused(QStringLiteral("Tolvane %1 is not newer than the running %2.")
                          .arg(unpacked, runningVersion));
}

// The unpacked release in a staging folder: either the folder itself or its one entry, when
// that holds the program; empty when neither does.
QString releaseTreeOf(const QString& staging)
{
    if (holdsProgram(staging))
        return staging;
    const QStringList entries = entriesOf(staging);
    if (entries.size() == 1 && holdsProgram(staging + u'/' + entries.front()))
        return staging + u'/' + entries.front();
    return {};
}

// The unpacked release, complete with its manifest, so that it can be updated in turn.
QString releaseTreeIn(const QString& staging)
{
    const QString tree = releaseTreeOf(staging);
    if (tree.isEmpty())
        throw installFailed(QStringLiteral("the archive holds no Tolvane program."));
    const std::optional<QSet<QString>> listed = ReleaseManifest::read(tree);
    if (!listed || !ReleaseManifest::firstUnlisted(tree, *listed).isEmpty())
        throw installFailed(QStringLiteral("the archive is not a complete Tolvane release."));
    return tree;
}

// A bind mount of a folder on the same file system keeps the device number: the kernel says.
bool isMountPoint(const QString& folder)
{
    struct stat self {};
    struct stat above {};
    const bool otherDevice =
        ::stat(QFile::encodeName(folder).constData(), &self) == 0 &&
        ::stat(QFile::encodeName(folder + QStringLiteral("/..")).constData(), &above) == 0 &&
        (self.st_dev != above.st_dev || self.st_ino == above.st_ino);
    return otherDevice || MountPoints::isMountRoot(folder);
}

qint64 freeBytes(const QString& folder)
{
    struct statvfs space {};
    if (::statvfs(QFile::encodeName(folder).constData(), &space) != 0)
        return std::numeric_limits<qint64>::max();
    return qint64(
        std::min<unsigned long long>((unsigned long long)(space.f_bavail) * space.f_frsize,
                                     (unsigned long long)(std::numeric_limits<qint64>::max())));
}

bool moveToFreeName(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    // Without the flag (NFS, some FUSE): a rename never replaces a folder that holds anything.
    return errno == EINVAL && ::rename(source.constData(), target.constData()) == 0;
}

MessageError systemFailure()
{
    return installFailed(QString::fromLocal8Bit(std::strerror(errno)));
}

// Makes the renames in a folder durable before what they replaced is deleted.
void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

UpdateInstaller::UpdateInstaller(QString installFolder, Options options)
    : m_installFolder(QDir::cleanPath(std::move(installFolder))), m_options(std::move(options))
{
    if (!m_options.isWritable)
        m_options.isWritable = accessWritable;
    if (!m_options.isMountPoint)
        m_options.isMountPoint = isMountPoint;
    if (!m_options.freeBytes)
        m_options.freeBytes = freeBytes;
    if (!m_options.syncFileSystem)
        m_options.syncFileSystem = ::syncfs;
}

QString UpdateInstaller::runningInstallFolder()
{
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QDir::cleanPath(QFileInfo(exe).path() + QStringLiteral("/.."));
}

QString UpdateInstaller::executable() const
{
    return m_installFolder + QStringLiteral("/bin/") + programName;
}

QString UpdateInstaller::parentFolder() const
{
    return QFileInfo(m_installFolder).path();
}

void UpdateInstaller::step(Step done) const
{
    if (m_options.afterStep)
        m_options.afterStep(done);
}

HeldEntry UpdateInstaller::newDownload() const
{
    return UpdateLeftovers::create(parentFolder(), UpdateLeftovers::Kind::download);
}

void UpdateInstaller::checkCanInstall() const
{
    const QString& folder = m_installFolder;
    // The swap replaces the whole folder and removes the old one: it must hold nothing but
    // what a release archive put there, never a shared prefix such as /usr or ~/.local.
    if (!holdsProgram(folder))
        throw cannotUpdate(folder, QStringLiteral("it is not a Tolvane installation."));
    const std::optional<QSet<QString>> listed = ReleaseManifest::read(folder);
    if (!listed)
        throw cannotUpdate(folder, QStringLiteral("it was not installed from a Tolvane release "
                                                  "archive into a folder of its own."));
    if (const QString other = ReleaseManifest::firstUnlisted(folder, *listed); !other.isEmpty())
        throw cannotUpdate(
            folder, QStringLiteral("it holds “%1”, which is not part of Tolvane.").arg(other));
    if (m_options.isMountPoint(folder))
        throw mountPointRefusal(folder);
    if (!m_options.isWritable(folder) || !m_options.isWritable(parentFolder()))
        throw cannotUpdate(folder, QStringLiteral("you don’t have permission to change it or "
                                                  "the folder that holds it."));
}

void UpdateInstaller::withNewTree(
    const HeldEntry& archive, const QString& version, const QString& runningVersion,
    const std::function<void(const QString&, const HeldEntry&)>& use) const
{
    recover();
    checkCanInstall();
    HeldEntry staging = UpdateLeftovers::create(parentFolder(), UpdateLeftovers::Kind::staging);
    if (!staging.isValid())
        throw installFailed(QStringLiteral("no folder could be made beside the installation."));
    try {
        UpdateArchive::unpack(archive, staging.path(), m_options.freeBytes(staging.path()));
        step(Step::unpacked);
        const QString newTree = releaseTreeIn(staging.path());
        checkVersion(newTree, version, runningVersion);
        step(Step::checked);
        use(newTree, staging);
    } catch (...) {
        staging.discard();
        throw;
    }
    // A release unpacked at the staging folder's top made that folder the installation: it is
    // no longer at its path, and stays.
    staging.discard();
}

void UpdateInstaller::checkArchive(const HeldEntry& archive, const QString& version,
                                   const QString& runningVersion) const
{
    withNewTree(archive, version, runningVersion, [](const QString&, const HeldEntry&) {});
}

void UpdateInstaller::install(const HeldEntry& archive, const QString& version,
                              const QString& runningVersion) const
{
    withNewTree(
        archive, version, runningVersion,
        [this](const QString& newTree, const HeldEntry& staging) { swapIn(newTree, staging); });
}

void UpdateInstaller::swapIn(const QString& newTree, const HeldEntry& staging) const
{
    // The new tree's data reaches the disk before it replaces the old one, so that a power cut
    // never leaves a tree of empty files with the old one gone.
    if (m_options.syncFileSystem(staging.descriptor()) != 0)
        throw systemFailure();
    step(Step::synced);
    // Held while it moves: wherever the old tree goes, it is this update's until removed.
    HeldEntry old = HeldEntry::hold(m_installFolder);
    if (!old.isValid())
        throw installFailed(QStringLiteral("another update of this installation is under way."));
    old.setPath(exchange(newTree));
    syncFolder(parentFolder());
    old.discard();
}

QString UpdateInstaller::exchange(const QString& newTree) const
{
    const QByteArray current = QFile::encodeName(m_installFolder);
    const QByteArray fresh = QFile::encodeName(newTree);
    if (m_options.atomicExchange && ::renameat2(AT_FDCWD, fresh.constData(), AT_FDCWD,
                                                current.constData(), RENAME_EXCHANGE) == 0) {
        step(Step::swapped);
        return newTree;
    }
    if (m_options.atomicExchange && errno != EINVAL && errno != ENOSYS)
        throw renameFailure();
    // Without an atomic exchange there is no installation between these two renames, so
    // nothing else happens in between; recover() puts a whole tree back after a crash there.
    const QString aside = UpdateLeftovers::newPath(parentFolder(), UpdateLeftovers::Kind::oldTree);
    const QByteArray asideName = QFile::encodeName(aside);
    if (::rename(current.constData(), asideName.constData()) != 0)
        throw renameFailure();
    step(Step::movedAside);
    if (::rename(fresh.constData(), current.constData()) != 0) {
        const MessageError error = renameFailure();
        ::rename(asideName.constData(), current.constData());
        throw error;
    }
    step(Step::swapped);
    return aside;
}

// A mount the check before the download did not see (made since, or not reported) ends here.
MessageError UpdateInstaller::renameFailure() const
{
    return errno == EBUSY ? mountPointRefusal(m_installFolder) : systemFailure();
}

void UpdateInstaller::recover() const
{
    if (!QFileInfo(m_installFolder).exists() && !QFileInfo(m_installFolder).isSymLink())
        putBackWholeTree();
    UpdateLeftovers::removeUnused(parentFolder());
}

// The tree moved aside is the one that last ran; a staged release serves when it is gone.
void UpdateInstaller::putBackWholeTree() const
{
    using UpdateLeftovers::Kind;
    bool restored = false;
    for (const Kind kind : {Kind::oldTree, Kind::staging}) {
        UpdateLeftovers::forEachUnused(parentFolder(), kind, [&](HeldEntry& entry) {
            const QString tree = kind == Kind::staging ? releaseTreeOf(entry.path()) : entry.path();
            restored = !tree.isEmpty() && holdsProgram(tree) && ReleaseManifest::isComplete(tree) &&
                       moveToFreeName(tree, m_installFolder);
            return restored;
        });
        if (restored)
            return;
    }
}
