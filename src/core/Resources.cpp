#include "Resources.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace Resources {

namespace {

QString resolveFolder()
{
    // /proc/self/exe works before any application object exists.
    const QString exeDir =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../share/tolvane"));
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(TOLVANE_SOURCE_DIR "/resources");
}

} // namespace

QString folder()
{
    // Once per process: /proc/self/exe names a deleted copy once the installation has been
    // replaced, and the running program keeps its own resources whatever happens on disk.
    static const QString resolved = resolveFolder();
    return resolved;
}

QString path(const QString& name)
{
    return folder() + u'/' + name;
}

QJsonObject info()
{
    static const QJsonObject read = readInfo(folder());
    return read;
}

QJsonObject readInfo(const QString& resourceFolder)
{
    QFile file(resourceFolder + QStringLiteral("/Info.json"));
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1024 * 1024)
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace Resources
