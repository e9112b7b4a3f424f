#include "MountPoints.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>

namespace MountPoints {

namespace {

// A mount point as /proc/self/mountinfo writes it: space, tab, newline and backslash octal.
QByteArray unescaped(const QByteArray& field)
{
    QByteArray bytes;
    for (qsizetype at = 0; at < field.size(); ++at) {
        if (field[at] == '\\' && at + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(at + 1, 3).toInt(&ok, 8);
            if (ok) {
                bytes += char(value);
                at += 3;
                continue;
            }
        }
        bytes += field[at];
    }
    return bytes;
}

} // namespace

bool isListedMountPoint(const QString& folder)
{
    const QByteArray wanted = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (wanted.isEmpty() || !table.open(QIODevice::ReadOnly))
        return false;
    // "36 35 98:0 /root /mount/point options… - type source options": the fifth field.
    for (const QByteArray& line : table.readAll().split('\n'))
        if (unescaped(line.split(' ').value(4)) == wanted)
            return true;
    return false;
}

bool isMountRoot(const QString& folder)
{
    struct statx status {};
    if (::statx(AT_FDCWD, QFile::encodeName(folder).constData(), AT_NO_AUTOMOUNT, STATX_INO,
                &status) == 0 &&
        (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return isListedMountPoint(folder);
}

} // namespace MountPoints
