#include "Drops.h"

#include <QMimeData>
#include <QUrl>

bool Drops::carriesFiles(const QMimeData* data)
{
    return !localPaths(data).isEmpty();
}

QStringList Drops::localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.append(url.toLocalFile());
    return paths;
}
