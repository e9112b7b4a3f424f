#pragma once

#include <QString>

// File-name rules shared by the whole program. An extension is the text after the last dot of
// the file name; ".png", "name." and names without a dot have none.
namespace FileNames {
QString lastPathComponent(const QString& path);
QString pathExtension(const QString& path);
// The file name without its last extension ("archive.old.png" -> "archive.old").
QString stem(const QString& path);
// A new UUID in its 36-character upper-case form.
QString newUuidString();
// Moves `from` to `to` without ever replacing an existing file: renameat2, else a hard link,
// else an exclusive create and a copy. Throws PlatformError naming `to`.
void moveNoReplace(const QString& from, const QString& to);
// For tests: moveNoReplace() behaves as on a file system without renameat2 flags or links.
void simulateLinklessFileSystem(bool on);
} // namespace FileNames
