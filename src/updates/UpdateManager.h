#pragma once

#include <QJsonObject>
#include <QObject>
#include <functional>
#include <memory>

class UpdaterController;

// Connects the application to its updater. Whether this build is set up for updates is decided
// once, here: both "SUFeedURL" and "SUPublicEDKey" present in the build's information (any value,
// empty included). Only then is the updater started and mirrored; otherwise the three mirrors
// stay false for good. The mirrors change only when the updater announces a change.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    using ControllerFactory = std::function<std::unique_ptr<UpdaterController>()>;

    // `makeController` is called once, configured or not.
    UpdateManager(const QJsonObject& info, const ControllerFactory& makeController,
                  QObject* parent = nullptr);
    ~UpdateManager() override;

    UpdaterController& controller() const { return *m_controller; }
    bool isConfigured() const { return m_isConfigured; }
    bool canCheck() const { return m_canCheck; }
    bool automaticChecks() const { return m_automaticChecks; }
    bool automaticDownloads() const { return m_automaticDownloads; }

public Q_SLOTS:
    // The menu command and the settings button: a user-initiated check through the controller.
    void checkForUpdates();

Q_SIGNALS:
    void canCheckChanged(bool canCheck);
    void automaticChecksChanged(bool on);
    void automaticDownloadsChanged(bool on);

private:
    void setCanCheck(bool value);
    void setAutomaticChecks(bool value);
    void setAutomaticDownloads(bool value);

    std::unique_ptr<UpdaterController> m_controller;
    bool m_canCheck = false;
    bool m_automaticChecks = false;
    bool m_automaticDownloads = false;
    bool m_isConfigured = false;
};
