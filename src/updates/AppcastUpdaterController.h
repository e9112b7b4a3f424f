#pragma once

#include "AppcastUpdater.h"
#include "UpdaterController.h"

#include <memory>

// The controller of the application's own updater: owns it and the driver of its dialogs, and
// finishes a verified update when the application quits.
class AppcastUpdaterController : public UpdaterController {
    Q_OBJECT

public:
    AppcastUpdaterController(AppcastUpdater::Options options,
                             std::unique_ptr<UpdateUserDriver> driver, QObject* parent = nullptr);
    ~AppcastUpdaterController() override;

    void startUpdater() override;
    AppcastUpdater* updater() const override { return m_updater.get(); }
    void checkForUpdates() override;

private:
    std::unique_ptr<UpdateUserDriver> m_driver;
    std::unique_ptr<AppcastUpdater> m_updater;
};
