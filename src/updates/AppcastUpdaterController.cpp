#include "AppcastUpdaterController.h"

#include <QCoreApplication>

AppcastUpdaterController::AppcastUpdaterController(AppcastUpdater::Options options,
                                                   std::unique_ptr<UpdateUserDriver> driver,
                                                   QObject* parent)
    : UpdaterController(parent), m_driver(std::move(driver)),
      m_updater(std::make_unique<AppcastUpdater>(std::move(options), *m_driver))
{
}

AppcastUpdaterController::~AppcastUpdaterController()
{
    // The updater refers to the driver: it goes first.
    m_updater.reset();
}

void AppcastUpdaterController::startUpdater()
{
    m_updater->start();
    // Only a started updater has anything to finish at quit.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, m_updater.get(), &AppcastUpdater::finishAtQuit,
                Qt::UniqueConnection);
}

void AppcastUpdaterController::checkForUpdates()
{
    m_updater->checkForUpdates();
}
