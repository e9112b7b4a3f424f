#pragma once

#include <QString>
#include <functional>

// Installs a verified update archive over a relocatable installation: a folder that a release
// archive made and that holds nothing else (its manifest lists every entry). The archive is
// unpacked into a hidden sibling folder, checked, and swapped with the installation in one
// rename, so a failure at any step leaves the old one whole.
class UpdateInstaller {
public:
    struct Options {
        // Whether the process may create, rename and remove entries in a folder. Injected
        // because root ignores permission bits.
        std::function<bool(const QString& folder)> isWritable;
        // Off: swap with two renames, as on file systems without atomic exchange.
        bool atomicExchange = true;
    };

    UpdateInstaller(QString installFolder, Options options);

    // The folder above the running program's bin/.
    static QString runningInstallFolder();

    QString installFolder() const { return m_installFolder; }
    QString executable() const;
    // A new hidden file name beside the installation for downloading an archive.
    QString newDownloadPath() const;

    // Throws MessageError naming the folder by its full path when it cannot be updated in
    // place: not made by a release archive, holding anything its manifest does not list, or it
    // or its parent not writable. Nothing is changed.
    void checkCanInstall() const;
    // Everything install() checks, without touching the installation: the archive unpacks
    // safely into a complete release of exactly `version`, newer than `runningVersion`.
    void checkArchive(const QString& archive, const QString& version,
                      const QString& runningVersion) const;
    // Unpacks `archive` (tar.gz), checks it as checkArchive() does and swaps it in, then removes
    // the old tree. Throws MessageError; on failure the installation is unchanged and nothing is
    // left behind.
    void install(const QString& archive, const QString& version,
                 const QString& runningVersion) const;

private:
    // Runs `use` on the checked new tree, unpacked in a staging folder that is removed after.
    void withNewTree(const QString& archive, const QString& version, const QString& runningVersion,
                     const std::function<void(const QString& newTree)>& use) const;
    void swapIn(const QString& newTree) const;

    QString m_installFolder;
    Options m_options;
};
