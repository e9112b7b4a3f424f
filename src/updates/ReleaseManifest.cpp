#include "ReleaseManifest.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

// A release lists a few hundred paths; anything far larger is not a manifest.
constexpr qint64 maxManifestBytes = 4 * 1024 * 1024;

} // namespace

namespace ReleaseManifest {

std::optional<QSet<QString>> read(const QString& folder)
{
    QFile file(folder + u'/' + QString::fromLatin1(relativePath));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxManifestBytes)
        return std::nullopt;
    QSet<QString> listed;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            listed.insert(QFile::decodeName(line));
    return listed;
}

QString firstUnlisted(const QString& folder, const QSet<QString>& listed)
{
    const QString top = QDir::cleanPath(folder) + u'/';
    QDirIterator entries(top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString relative = entries.next().mid(top.size());
        if (!listed.contains(relative))
            return relative;
    }
    return {};
}

bool isComplete(const QString& folder)
{
    const std::optional<QSet<QString>> listed = read(folder);
    if (!listed || !firstUnlisted(folder, *listed).isEmpty())
        return false;
    for (const QString& path : *listed)
        if (!QFileInfo(folder + u'/' + path).isSymLink() &&
            !QFileInfo::exists(folder + u'/' + path))
            return false;
    return true;
}

} // namespace ReleaseManifest
