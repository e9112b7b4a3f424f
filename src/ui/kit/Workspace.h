#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// The desktop's file manager, as far as the application uses it.
namespace Workspace {
// Shows the file selected in a file-manager window. Never blocks and reports nothing: asks the
// session's file manager over D-Bus and, when there is no bus or nobody answers, opens the folder
// that holds the file instead.
void reveal(const QString& path);

// Replaces reveal() as a whole (tests; null restores it). Returns the previous hook.
using RevealHook = std::function<void(const QString& path)>;
RevealHook setRevealHook(RevealHook hook);
// Replaces how the fallback opens a folder (tests; null restores QDesktopServices::openUrl).
using FolderOpener = std::function<void(const QUrl& folder)>;
FolderOpener setFolderOpener(FolderOpener opener);
} // namespace Workspace
