#pragma once

#include <QStringList>

class QMimeData;

// What a drag onto the window carries that the queue can take.
namespace Drops {
// True when at least one URL is a local file or folder.
bool carriesFiles(const QMimeData* data);
// The local files and folders, in the dragged order; other URLs are left out.
QStringList localPaths(const QMimeData* data);
} // namespace Drops
