#include "Resources.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace Resources {

QString folder()
{
    // /proc/self/exe works before any application object exists.
    const QString exeDir =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../share/tolvane"));
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(TOLVANE_SOURCE_DIR "/resources");
}

QString path(const QString& name)
{
    return folder() + u'/' + name;
}

QJsonObject info()
{
    QFile file(path(QStringLiteral("Info.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace Resources
