#pragma once

#include <QString>

// The one place that runs tar on an update archive (tar.gz). Before anything is unpacked the
// members are listed and any that could reach outside the destination, or that is not a plain
// file, folder or symbolic link inside the tree, refuses the whole archive.
namespace UpdateArchive {
// Unpacks `archive` into the empty folder `destination`. Throws MessageError; on failure the
// caller removes `destination`.
void unpack(const QString& archive, const QString& destination);
} // namespace UpdateArchive
