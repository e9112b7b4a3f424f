#include "UpdateManager.h"

#include "Updater.h"
#include "UpdaterController.h"

UpdateManager::UpdateManager(const QJsonObject& info, const ControllerFactory& makeController,
                             QObject* parent)
    : QObject(parent)
{
    // Presence alone counts; the key is not looked up without the feed.
    m_isConfigured = info.contains(QStringLiteral("SUFeedURL")) &&
                     info.contains(QStringLiteral("SUPublicEDKey"));
    m_controller = makeController();
    if (!m_isConfigured)
        return;
    m_controller->startUpdater();

    // Each mirror takes the current value, then follows every announced change.
    Updater* updater = m_controller->updater();
    setCanCheck(updater->canCheckForUpdates());
    connect(updater, &Updater::canCheckForUpdatesChanged, this, &UpdateManager::setCanCheck);
    setAutomaticChecks(updater->automaticallyChecksForUpdates());
    connect(updater, &Updater::automaticallyChecksForUpdatesChanged, this,
            &UpdateManager::setAutomaticChecks);
    setAutomaticDownloads(updater->automaticallyDownloadsUpdates());
    connect(updater, &Updater::automaticallyDownloadsUpdatesChanged, this,
            &UpdateManager::setAutomaticDownloads);
}

UpdateManager::~UpdateManager() = default;

void UpdateManager::checkForUpdates()
{
    m_controller->checkForUpdates();
}

void UpdateManager::setCanCheck(bool value)
{
    if (m_canCheck == value)
        return;
    m_canCheck = value;
    Q_EMIT canCheckChanged(value);
}

void UpdateManager::setAutomaticChecks(bool value)
{
    if (m_automaticChecks == value)
        return;
    m_automaticChecks = value;
    Q_EMIT automaticChecksChanged(value);
}

void UpdateManager::setAutomaticDownloads(bool value)
{
    if (m_automaticDownloads == value)
        return;
    m_automaticDownloads = value;
    Q_EMIT automaticDownloadsChanged(value);
}
