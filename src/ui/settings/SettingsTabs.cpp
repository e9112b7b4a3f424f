#include "SettingsWindow.h"

#include "studio/APIKeysView.h"
#include "updates/PreferencesView.h"

QList<SettingsWindow::Tab> SettingsWindow::standardTabs(UpdateManager& updates)
{
    return {
        {QStringLiteral("API Keys"), QStringLiteral("key"), [] { return new APIKeysView; }},
        {QStringLiteral("Updates"), QStringLiteral("arrow.down.circle"),
         [&updates] { return new PreferencesView(updates); }},
    };
}
