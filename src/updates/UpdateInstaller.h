#pragma once

#include "HeldEntry.h"
#include "core/EngineError.h"

#include <QString>
#include <functional>

// Installs a verified update archive over a relocatable installation: a folder that a release
// archive made and that holds nothing else (its manifest lists every entry). The archive is
// unpacked into a hidden sibling folder, checked, written to disk and swapped with the
// installation by renaming, so a failure at any step leaves the old one whole, and a process
// stopped at any step leaves what recover() makes whole again.
class UpdateInstaller {
public:
    // What install() has done, in order; movedAside only without an atomic exchange.
    enum class Step { unpacked, checked, synced, movedAside, swapped };

    struct Options {
        // Whether the process may create, rename and remove entries in a folder. Injected
        // because root ignores permission bits.
        std::function<bool(const QString& folder)> isWritable;
        // Whether a folder is a mount point (a bind mount included), which no rename can
        // replace.
        std::function<bool(const QString& folder)> isMountPoint;
        // Free bytes on the file system that holds a folder.
        std::function<qint64(const QString& folder)> freeBytes;
        // Writes the file system that holds the descriptor to disk; 0 or -1 with errno, as
        // syncfs().
        std::function<int(int fd)> syncFileSystem;
        // Off: swap with two renames, as on file systems without atomic exchange.
        bool atomicExchange = true;
        // Called after each step of install(), for tests that stop the process there.
        std::function<void(Step)> afterStep;
    };

    UpdateInstaller(QString installFolder, Options options);

    // The folder above the running program's bin/.
    static QString runningInstallFolder();

    QString installFolder() const { return m_installFolder; }
    QString executable() const;
    // A new private file beside the installation, under a hidden name, for downloading an
    // archive; held until it is installed or discarded. Invalid when none can be made.
    HeldEntry newDownload() const;

    // Throws MessageError naming the folder by its full path when it cannot be updated in
    // place: not made by a release archive, holding anything its manifest does not list, a
    // mount point, or it or its parent not writable. Nothing is changed.
    void checkCanInstall() const;
    // Everything install() checks, without touching the installation: the archive unpacks
    // safely, within the free space, into a complete release of exactly `version`, newer than
    // `runningVersion`.
    void checkArchive(const HeldEntry& archive, const QString& version,
                      const QString& runningVersion) const;
    // Unpacks the archive (tar.gz), checks it as checkArchive() does and swaps it in, then
    // removes the old tree. The archive is read only through its descriptor. Throws MessageError;
    // on failure the installation is unchanged and nothing is left behind.
    void install(const HeldEntry& archive, const QString& version,
                 const QString& runningVersion) const;
    // Repairs what an update stopped half-way (crash, kill, logout) left: when the installation
    // folder is missing, a whole tree the update had moved aside or unpacked is put back; then
    // every entry of the updater beside the installation that no running Tolvane holds is
    // removed. Safe to run at any time, from any thread.
    void recover() const;

private:
    QString parentFolder() const;
    void step(Step done) const;
    // Runs `use` on the checked new tree, unpacked in a held staging folder removed after.
    void withNewTree(
        const HeldEntry& archive, const QString& version, const QString& runningVersion,
        const std::function<void(const QString& newTree, const HeldEntry& staging)>& use) const;
    void swapIn(const QString& newTree, const HeldEntry& staging) const;
    // Moves the held installation and the new tree past each other; the old tree's new path.
    QString exchange(const QString& newTree) const;
    // The error of a failed rename of the installation, errno set.
    MessageError renameFailure() const;
    void putBackWholeTree() const;

    QString m_installFolder;
    Options m_options;
};
