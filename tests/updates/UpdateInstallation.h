#pragma once

#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "core/EngineError.h"
#include "updates/UpdateInstaller.h"

#include <QTemporaryDir>
#include <functional>

// An installation of 1.0.0 in a folder of its own, and beside it the archive to install.
struct Installation {
    QTemporaryDir root;
    QString folder;
    QString archive = root.filePath(QStringLiteral("incoming.tar.gz"));

    explicit Installation(const QString& name = QStringLiteral("tolvane"))
        : folder(root.filePath(name))
    {
        UpdateFixtures::makeInstallation(folder, QStringLiteral("1.0.0"));
    }

    UpdateInstaller installer(UpdateInstaller::Options options = {}) const
    {
        return UpdateInstaller(folder, std::move(options));
    }
    // Installs the archive as release 1.1.0 over the running 1.0.0.
    void install(UpdateInstaller::Options options = {}) const
    {
        installer(std::move(options))
            .install(HeldEntry::openFile(archive), QStringLiteral("1.1.0"),
                     QStringLiteral("1.0.0"));
    }
    // Everything beside the installation except the archive: nothing may be left there.
    QStringList leftovers() const
    {
        QStringList names = TestSupport::entries(root.path());
        names.removeAll(QStringLiteral("incoming.tar.gz"));
        return names;
    }
};

// The message `step` fails with, or empty.
inline QString failure(const std::function<void()>& step)
{
    try {
        step();
        return {};
    } catch (const MessageError& error) {
        return error.message();
    }
}
