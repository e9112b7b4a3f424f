#include "Workspace.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace {

Workspace::RevealHook& revealHook()
{
    static Workspace::RevealHook hook;
    return hook;
}

Workspace::FolderOpener& folderOpener()
{
    static Workspace::FolderOpener opener;
    return opener;
}

void openParentFolder(const QString& path)
{
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    if (folderOpener())
        folderOpener()(folder);
    else
        QDesktopServices::openUrl(folder);
}

} // namespace

void Workspace::reveal(const QString& path)
{
    if (revealHook())
        return revealHook()(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return openParentFolder(path);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    // The answer is watched only to learn that no file manager took the call; nothing waits on it.
    // A slow file manager (no reply in time) may still show the file, so only a refusal falls back.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, path] {
        watcher->deleteLater();
        const QDBusError::ErrorType error = watcher->error().type();
        if (watcher->isError() && error != QDBusError::NoReply && error != QDBusError::Timeout)
            openParentFolder(path);
    });
}

Workspace::RevealHook Workspace::setRevealHook(RevealHook hook)
{
    return std::exchange(revealHook(), std::move(hook));
}

Workspace::FolderOpener Workspace::setFolderOpener(FolderOpener opener)
{
    return std::exchange(folderOpener(), std::move(opener));
}
