#include "AppState.h"

#include "core/Async.h"
#include "core/FileNames.h"
#include "core/RegularFile.h"
#include "core/WorkPools.h"
#include "imageio/ImageLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QtConcurrent>

namespace {

const QString noImagesNotice = QStringLiteral(
    "No readable images were found. Try PNG, JPEG, WebP, HEIC, TIFF, GIF, BMP, or AVIF.");

bool hasSupportedExtension(const QString& path)
{
    return ImageLoader::supportedExtensions().contains(FileNames::pathExtension(path).toLower());
}

QString standardized(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Recursive, hidden files and folders left out with everything under them, entries sorted by name
// so a queue comes out the same on every run. Linked folders are not followed: they could loop.
// Opening a FIFO, socket or device could block the import for good: like a path given directly,
// an entry counts only when it resolves to a regular file.
void walk(const QString& folder, QStringList& found)
{
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isFile() && hasSupportedExtension(entry.fileName()))
            found.append(entry.absoluteFilePath());
        else if (entry.isDir() && !entry.isSymLink())
            walk(entry.absoluteFilePath(), found);
    }
}

QStringList candidates(const QStringList& paths)
{
    QStringList found;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            if (hasSupportedExtension(path))
                found.append(info.absoluteFilePath());
        } else if (info.isDir()) {
            walk(info.absoluteFilePath(), found);
        }
    }
    return found;
}

// Opened once and read through that descriptor only: whatever is swapped in at the path after
// the walk listed it (a FIFO, a device) is never opened, let alone waited on.
std::optional<Item> makeItem(const QString& path)
{
    if (WorkPools::closing())
        return std::nullopt;
    const RegularFile file(path);
    if (!file.isOpen())
        return std::nullopt;
    const std::optional<QSize> size = ImageLoader::pixelSize(file);
    if (!size)
        return std::nullopt;
    Item item;
    item.id = QUuid::createUuid();
    item.path = path;
    item.pixelSize = *size;
    item.thumbnail = ImageLoader::thumbnail(file, 160);
    return item;
}

} // namespace

QList<Item> AppState::discover(const QStringList& paths)
{
    QSet<QString> seen;
    QStringList unique;
    for (const QString& path : candidates(paths))
        if (!seen.contains(standardized(path))) {
            seen.insert(standardized(path));
            unique.append(path);
        }
    // Header reads and thumbnails dominate; spread them over the cores.
    const QList<std::optional<Item>> made =
        QtConcurrent::blockingMapped(&WorkPools::imports(), unique, makeItem);
    QList<Item> items;
    for (const std::optional<Item>& item : made)
        if (item)
            items.append(*item);
    return items;
}

void AppState::add(const QStringList& paths, Summary summary)
{
    if (m_isRunning || m_isImporting)
        return;
    setImporting(true);
    whenFinished(QtConcurrent::run(&WorkPools::imports(), [paths] { return discover(paths); }),
                 this, [this, summary](const QList<Item>& found) { finishImport(found, summary); });
}

void AppState::finishImport(const QList<Item>& discovered, Summary summary)
{
    QSet<QString> queued;
    for (const Item& item : m_items)
        queued.insert(standardized(item.path));
    for (const Item& item : discovered)
        if (!queued.contains(standardized(item.path))) {
            queued.insert(standardized(item.path));
            appendItem(item);
        }
    if (!m_selection && !m_items.isEmpty())
        setSelection(m_items.first().id);
    setImporting(false);
    if (summary == Summary::cleared)
        setLastRunSummary(std::nullopt);
    if (discovered.isEmpty())
        setNotice(noImagesNotice);
    Q_EMIT importFinished();
}

void AppState::openPanel()
{
    if (m_isRunning || m_isImporting || !m_openPanel)
        return;
    const QStringList chosen = m_openPanel();
    if (!chosen.isEmpty())
        add(chosen);
}
