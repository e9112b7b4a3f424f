#pragma once

#include <QString>

class HeldEntry;

// The one place that runs tar on an update archive (tar.gz). Before anything is unpacked the
// members are listed, and any that could reach outside the destination, any link that leads out
// of the release's own top folder, or any that is not a plain file, folder or symbolic link
// refuses the whole archive, as does one that would unpack to more than fits.
namespace UpdateArchive {
// The most any archive may unpack to.
inline constexpr qint64 maxUnpackedBytes = qint64(4) << 30;

// Unpacks the archive held open as `archive` into the empty folder `destination`, reading it
// only through that descriptor, when its members take at most `availableBytes` (and at most
// maxUnpackedBytes). Throws MessageError; on failure the caller removes `destination`.
void unpack(const HeldEntry& archive, const QString& destination, qint64 availableBytes);
} // namespace UpdateArchive
