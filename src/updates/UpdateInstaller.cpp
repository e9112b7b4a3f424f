#include "UpdateInstaller.h"

#include "core/EngineError.h"
#include "core/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

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

MessageError installFailed(const QString& why)
{
    return MessageError(QStringLiteral("The update could not be installed: %1").arg(why));
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
    // The swap replaces the whole folder: it must be Tolvane's alone, never a shared prefix
    // such as /usr or a build tree.
    if (!holdsProgram(folder) || !QFileInfo(folder + QStringLiteral("/share/tolvane")).isDir())
        throw cannotUpdate(folder, QStringLiteral("it is not a Tolvane installation."));
    if (entriesOf(folder + QStringLiteral("/bin")) != QStringList{programName})
        throw cannotUpdate(folder, QStringLiteral("the folder also holds other programs."));
    const QString parent = QFileInfo(folder).path();
    if (!m_options.isWritable(folder) || !m_options.isWritable(parent))
        throw cannotUpdate(folder, QStringLiteral("you don’t have permission to change it or "
                                                  "the folder that holds it."));
}

void UpdateInstaller::install(const QString& archive) const
{
    checkCanInstall();
    const QString staging = QFileInfo(m_installFolder).path() +
                            QStringLiteral("/.tolvane-staging-") + FileNames::newUuidString();
    if (!QDir().mkdir(staging))
        throw installFailed(QStringLiteral("no folder could be made beside the installation."));
    try {
        const QString newTree = unpack(archive, staging);
        checkReplaces(newTree);
        swapIn(newTree);
    } catch (...) {
        QDir(staging).removeRecursively();
        throw;
    }
    // The old tree now sits where the new one was unpacked.
    QDir(staging).removeRecursively();
}

QString UpdateInstaller::unpack(const QString& archive, const QString& staging) const
{
    QProcess tar;
    tar.setProgram(QStringLiteral("tar"));
    tar.setArguments({QStringLiteral("--extract"), QStringLiteral("--gzip"),
                      QStringLiteral("--no-same-owner"), QStringLiteral("--file"), archive,
                      QStringLiteral("--directory"), staging});
    tar.setProcessChannelMode(QProcess::MergedChannels);
    tar.start();
    if (!tar.waitForFinished(10 * 60 * 1000) || tar.exitStatus() != QProcess::NormalExit ||
        tar.exitCode() != 0) {
        tar.kill();
        tar.waitForFinished();
        throw installFailed(QStringLiteral("the archive could not be unpacked."));
    }
    // Either the tree itself or one top folder holding it.
    if (holdsProgram(staging))
        return staging;
    const QStringList entries = entriesOf(staging);
    if (entries.size() == 1 && holdsProgram(staging + u'/' + entries.front()))
        return staging + u'/' + entries.front();
    throw installFailed(QStringLiteral("the archive holds no Tolvane program."));
}

void UpdateInstaller::checkReplaces(const QString& newTree) const
{
    // Anything at the top of the installation that the new tree lacks would be lost.
    for (const QString& entry : entriesOf(m_installFolder))
        if (!QFileInfo::exists(newTree + u'/' + entry))
            throw cannotUpdate(
                m_installFolder,
                QStringLiteral("it holds “%1”, which is not part of Tolvane.").arg(entry));
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
