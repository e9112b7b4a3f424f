#include "AppState.h"

#include "BatchRun.h"

#include <QDir>
#include <QUrl>
#include <cmath>

namespace {
const QString scaleKey = QStringLiteral("scale");
const QString modelKey = QStringLiteral("model");
const QString formatKey = QStringLiteral("format");
const QString qualityKey = QStringLiteral("quality");
const QString webpLosslessKey = QStringLiteral("webpLossless");
const QString outputFolderKey = QStringLiteral("outputFolder");

// QSettings writes true as the text "true"; anything else stored there is not a yes.
bool storedFlag(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return value.typeId() == QMetaType::QString && value.toString() == u"true";
}

// Only an absolute path names a folder; a file: URL with no host or "localhost" counts as its
// local path (toLocalFile() would keep "localhost" as a network prefix). Anything else
// ("~/Pictures", a relative path, another host, junk) would send results somewhere unintended,
// so it means none: results go beside their originals.
QString storedFolder(const QVariant& value)
{
    QString folder = value.toString();
    if (folder.startsWith(u"file:", Qt::CaseInsensitive)) {
        const QUrl url(folder);
        folder = url.isLocalFile() && (url.host().isEmpty() || url.host() == u"localhost")
                     ? url.path(QUrl::FullyDecoded)
                     : QString();
    }
    return QDir::isAbsolutePath(folder) ? folder : QString();
}

} // namespace

AppState::AppState(std::unique_ptr<QSettings> settings, QObject* parent)
    : QObject(parent), m_settings(settings ? std::move(settings) : std::make_unique<QSettings>()),
      m_pipelineRun([](const QString& path, const JobSettings& job, const CancelToken& token,
                       const Pipeline::Progress& progress) {
          return Pipeline::run(path, job, token, progress);
      })
{
    readSettings();
}

AppState::~AppState()
{
    stopAndWait(10000);
}

// Stored values come back as text; anything that does not parse falls back to its default, and
// nothing is written back until the user changes the setting.
void AppState::readSettings()
{
    bool ok = false;
    const int scale = m_settings->value(scaleKey).toInt(&ok);
    m_scale = scaleFactorFromRaw(ok ? scale : 0).value_or(ScaleFactor::x2);
    m_model = m_settings->value(modelKey).toString() == rawValue(SRModel::illustration)
                  ? SRModel::illustration
                  : SRModel::photo;
    m_format =
        outputFormatFromRaw(m_settings->value(formatKey).toString()).value_or(OutputFormat::same);
    const double quality = m_settings->value(qualityKey).toDouble(&ok);
    m_quality = ok && std::isfinite(quality) ? quality : 0.92;
    m_webpLossless = storedFlag(m_settings->value(webpLosslessKey));
    m_outputFolder = storedFolder(m_settings->value(outputFolderKey));
}

void AppState::setItems(QList<Item> items)
{
    m_items = std::move(items);
    Q_EMIT itemsCleared();
    Q_EMIT itemsChanged();
}

void AppState::setSelection(std::optional<QUuid> selection)
{
    if (m_selection == selection)
        return;
    m_selection = selection;
    Q_EMIT selectionChanged();
}

void AppState::setCloudRunning(bool running)
{
    if (m_isCloudRunning == running)
        return;
    m_isCloudRunning = running;
    Q_EMIT isCloudRunningChanged();
}

void AppState::setNotice(std::optional<QString> notice)
{
    if (m_notice == notice)
        return;
    m_notice = std::move(notice);
    Q_EMIT noticeChanged();
}

void AppState::setRunning(bool running)
{
    if (m_isRunning == running)
        return;
    m_isRunning = running;
    Q_EMIT isRunningChanged();
}

void AppState::setImporting(bool importing)
{
    if (m_isImporting == importing)
        return;
    m_isImporting = importing;
    Q_EMIT isImportingChanged();
}

void AppState::setLastRunSummary(std::optional<QString> summary)
{
    if (m_lastRunSummary == summary)
        return;
    m_lastRunSummary = std::move(summary);
    Q_EMIT lastRunSummaryChanged();
}

void AppState::setScale(ScaleFactor scale)
{
    m_settings->setValue(scaleKey, rawValue(scale));
    if (std::exchange(m_scale, scale) != scale)
        Q_EMIT scaleChanged();
}

void AppState::setModel(SRModel model)
{
    m_settings->setValue(modelKey, rawValue(model));
    if (std::exchange(m_model, model) != model)
        Q_EMIT modelChanged();
}

void AppState::setFormat(OutputFormat format)
{
    m_settings->setValue(formatKey, rawValue(format));
    if (std::exchange(m_format, format) != format)
        Q_EMIT formatChanged();
}

void AppState::setQuality(double quality)
{
    m_settings->setValue(qualityKey, quality);
    const double old = std::exchange(m_quality, quality);
    if (!(old == quality))
        Q_EMIT qualityChanged();
}

void AppState::setWebpLossless(bool lossless)
{
    m_settings->setValue(webpLosslessKey, lossless);
    if (std::exchange(m_webpLossless, lossless) != lossless)
        Q_EMIT webpLosslessChanged();
}

void AppState::setOutputFolder(const QString& folder)
{
    if (folder.isEmpty())
        m_settings->remove(outputFolderKey);
    else
        m_settings->setValue(outputFolderKey, folder);
    if (std::exchange(m_outputFolder, folder) != folder)
        Q_EMIT outputFolderChanged();
}

std::optional<Item> AppState::selectedItem() const
{
    if (!m_selection)
        return std::nullopt;
    const int index = row(*m_selection);
    return index < 0 ? std::nullopt : std::optional<Item>(m_items[index]);
}

int AppState::pendingCount() const
{
    return int(m_items.size()) - completedCount();
}

namespace {
int countOf(const QList<Item>& items, Item::Status::Kind kind)
{
    return int(std::count_if(items.begin(), items.end(),
                             [kind](const Item& item) { return item.status.is(kind); }));
}
} // namespace

int AppState::completedCount() const
{
    return countOf(m_items, Item::Status::Kind::done);
}

int AppState::failedCount() const
{
    return countOf(m_items, Item::Status::Kind::failed);
}

double AppState::progress() const
{
    if (m_items.isEmpty())
        return 0;
    double sum = 0;
    for (const Item& item : m_items) {
        if (item.status.is(Item::Status::Kind::working))
            sum += item.status.fraction();
        else if (item.status.is(Item::Status::Kind::done))
            sum += 1;
    }
    return sum / double(m_items.size());
}

int AppState::row(const QUuid& id) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i].id == id)
            return i;
    return -1;
}

void AppState::updateItem(int row, const std::function<void(Item&)>& change)
{
    if (row < 0 || row >= m_items.size())
        return;
    change(m_items[row]);
    Q_EMIT itemChanged(row);
    Q_EMIT itemsChanged();
}

void AppState::appendItem(Item item)
{
    m_items.append(std::move(item));
    Q_EMIT itemAppended(int(m_items.size()) - 1);
    Q_EMIT itemsChanged();
}

void AppState::remove(const QUuid& id)
{
    if (m_isRunning)
        return;
    for (int i = int(m_items.size()) - 1; i >= 0; --i) {
        if (m_items[i].id != id)
            continue;
        m_items.removeAt(i);
        Q_EMIT itemRemoved(i);
        Q_EMIT itemsChanged();
    }
    if (m_selection == id)
        setSelection(m_items.isEmpty() ? std::nullopt : std::optional<QUuid>(m_items.first().id));
}

void AppState::clearAll()
{
    if (m_isRunning || m_isImporting)
        return;
    if (!m_items.isEmpty())
        setItems({});
    setSelection(std::nullopt);
    setLastRunSummary(std::nullopt);
}

void AppState::resetAll()
{
    if (m_isRunning)
        return;
    for (int i = 0; i < m_items.size(); ++i)
        updateItem(i, [](Item& item) {
            item.status = Item::Status::pending();
            item.outputPath.clear();
            item.outputPixelSize.reset();
        });
    setLastRunSummary(std::nullopt);
}

void AppState::chooseOutputFolder()
{
    if (!m_folderPanel)
        return;
    if (const std::optional<QString> folder = m_folderPanel())
        setOutputFolder(*folder);
}
