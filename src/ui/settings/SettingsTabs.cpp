#include "SettingsWindow.h"

#include "studio/APIKeysView.h"

#include <QWidget>

namespace {

// Stand-in content until the tab's own view is built.
QWidget* emptyTab()
{
    auto* content = new QWidget;
    content->setMinimumSize(460, 240);
    return content;
}

} // namespace

QList<SettingsWindow::Tab> SettingsWindow::standardTabs(UpdateManager& updates)
{
    Q_UNUSED(updates);
    return {
        {QStringLiteral("API Keys"), QStringLiteral("key"), [] { return new APIKeysView; }},
        {QStringLiteral("Updates"), QStringLiteral("arrow.down.circle"), [] { return emptyTab(); }},
    };
}
