#include "ApplicationUpdates.h"

#include "UpdateDialogDriver.h"
#include "core/Resources.h"
#include "updates/AppcastUpdaterController.h"
#include "updates/UpdateManager.h"

#include <QApplication>
#include <QDialog>
#include <QJsonObject>
#include <QWidget>

namespace ApplicationUpdates {

namespace {

// The active window, else the first visible one: dialogs sit on what the user is looking at.
QWidget* dialogParent()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->isWindow() && !qobject_cast<QDialog*>(widget))
            return widget;
    return nullptr;
}

} // namespace

std::unique_ptr<UpdateManager> make(std::function<bool()> requestQuit, QObject* parent)
{
    const QJsonObject info = Resources::info();
    return std::make_unique<UpdateManager>(
        info,
        [info, requestQuit = std::move(requestQuit)] {
            AppcastUpdater::Options options;
            options.info = info;
            options.requestQuit = requestQuit;
            return std::make_unique<AppcastUpdaterController>(
                options, std::make_unique<UpdateDialogDriver>(dialogParent));
        },
        parent);
}

} // namespace ApplicationUpdates
