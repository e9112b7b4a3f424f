#include "UpdateManager.h"

#include "core/Resources.h"

#include <QJsonObject>

UpdateManager::UpdateManager(QObject* parent) : QObject(parent)
{
    const QJsonObject info = Resources::info();
    m_isConfigured =
        info.contains(QLatin1String("SUFeedURL")) && info.contains(QLatin1String("SUPublicEDKey"));
}

void UpdateManager::checkForUpdates()
{
    // No updater is attached in this build, so canCheck() stays false and there is nothing to
    // start.
}
