#include "UpdateInstaller.h"

#include "ReleaseManifest.h"
#include "UpdateArchive.h"
#include "UpdateErrors.h"
#include "UpdateVersion.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/Resources.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// The unpacked release: either the tree itself or one top folder holding it, complete with its
// manifest, so that it can be updated in turn.
QString releaseTreeIn(const QString& staging)
{
    QString tree = staging;
    if (!holdsProgram(tree)) {
        const QStringList entries = entriesOf(staging);
        if (entries.size() != 1 || !holdsProgram(staging + u'/' + entries.front()))
            throw installFailed(QStringLiteral("the archive holds no Tolvane program."));
        tree = staging + u'/' + entries.front();
    }
    const std::optional<QSet<QString>> listed = ReleaseManifest::read(tree);
    if (!listed || !ReleaseManifest::firstUnlisted(tree, *listed).isEmpty())
        throw installFailed(QStringLiteral("the archive is not a complete Tolvane release."));
    return tree;
}

} // namespace

UpdateInstaller::UpdateInstaller(QString installFolder, Options options)
    : m_installFolder(QDir::cleanPath(std::move(installFolder))), m_options(std::move(options))
{
    if (!m_options.isWritable)
        m_options.isWritable = accessWritable;
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

QString UpdateInstaller::newDownloadPath() const
{
    return QFileInfo(m_installFolder).path() + QStringLiteral("/.tolvane-update-") +
           FileNames::newUuidString();
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
    const QString parent = QFileInfo(folder).path();
    if (!m_options.isWritable(folder) || !m_options.isWritable(parent))
        throw cannotUpdate(folder, QStringLiteral("you don’t have permission to change it or "
                                                  "the folder that holds it."));
}

void UpdateInstaller::withNewTree(const QString& archive, const QString& version,
                                  const QString& runningVersion,
                                  const std::function<void(const QString&)>& use) const
{
    checkCanInstall();
    const QString staging = QFileInfo(m_installFolder).path() +
                            QStringLiteral("/.tolvane-staging-") + FileNames::newUuidString();
    if (!QDir().mkdir(staging))
        throw installFailed(QStringLiteral("no folder could be made beside the installation."));
    try {
        UpdateArchive::unpack(archive, staging);
        const QString newTree = releaseTreeIn(staging);
        checkVersion(newTree, version, runningVersion);
        use(newTree);
    } catch (...) {
        QDir(staging).removeRecursively();
        throw;
    }
    // After a swap the old tree sits where the new one was unpacked.
    QDir(staging).removeRecursively();
}

void UpdateInstaller::checkArchive(const QString& archive, const QString& version,
                                   const QString& runningVersion) const
{
    withNewTree(archive, version, runningVersion, [](const QString&) {});
}

void UpdateInstaller::install(const QString& archive, const QString& version,
                              const QString& runningVersion) const
{
    withNewTree(archive, version, runningVersion,
                [this](const QString& newTree) { swapIn(newTree); });
}

void UpdateInstaller::swapIn(const QString& newTree) const
{
    const QByteArray current = QFile::encodeName(m_installFolder);
    const QByteArray fresh = QFile::encodeName(newTree);
    if (m_options.atomicExchange && ::renameat2(AT_FDCWD, fresh.constData(), AT_FDCWD,
                                                current.constData(), RENAME_EXCHANGE) == 0)
        return;
    if (m_options.atomicExchange && errno != EINVAL && errno != ENOSYS)
        throw installFailed(QString::fromLocal8Bit(std::strerror(errno)));
    // Without an atomic exchange: move the old tree aside, the new one in, and back on failure.
    const QString aside = QFileInfo(m_installFolder).path() + QStringLiteral("/.tolvane-old-") +
                          FileNames::newUuidString();
    const QByteArray asideName = QFile::encodeName(aside);
    if (::rename(current.constData(), asideName.constData()) != 0)
        throw installFailed(QString::fromLocal8Bit(std::strerror(errno)));
    if (::rename(fresh.constData(), current.constData()) != 0) {
        const int error = errno;
        ::rename(asideName.constData(), current.constData());
        throw installFailed(QString::fromLocal8Bit(std::strerror(error)));
    }
    // Leave the old tree where the new one was, for the caller's clean-up.
    if (::rename(asideName.constData(), fresh.constData()) != 0)
        QDir(aside).removeRecursively();
}
