#pragma once

#include <QString>

// Whether a folder is the root of a mount, as the kernel sees it: a bind mount of a folder on
// its own file system included, which a comparison of device numbers misses. No rename can
// move a mount's root.
namespace MountPoints {
bool isMountRoot(const QString& folder);
// What the kernel's mount table of this process says, for kernels whose statx does not.
bool isListedMountPoint(const QString& folder);
} // namespace MountPoints
