#pragma once

#include <QString>
#include <functional>

// Installs a verified update archive over a relocatable installation: a folder of its own that
// holds bin/tolvane and share/tolvane/. The archive is unpacked into a hidden sibling folder and
// swapped with the installation in one rename, so a failure at any step leaves the old one whole.
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

    // Throws MessageError naming the folder when it cannot be updated in place: not an
    // installation of its own, or it or its parent not writable. Nothing is changed.
    void checkCanInstall() const;
    // Unpacks `archive` (tar.gz) and swaps it in, then removes the old tree. Throws MessageError;
    // on failure the installation is unchanged and nothing is left behind.
    void install(const QString& archive) const;

private:
    QString unpack(const QString& archive, const QString& staging) const;
    void checkReplaces(const QString& newTree) const;
    void swapIn(const QString& newTree) const;

    QString m_installFolder;
    Options m_options;
};
