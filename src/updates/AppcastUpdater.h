#pragma once

#include "AppcastFeed.h"
#include "UpdateFetcher.h"
#include "UpdateInstaller.h"
#include "UpdateUserDriver.h"
#include "Updater.h"

#include <QDateTime>
#include <QFuture>
#include <QJsonObject>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <functional>
#include <memory>
#include <type_traits>

// The application's own updater: reads the RSS feed named by "SUFeedURL", offers a newer
// release, downloads it beside the installation, accepts it only when its ed25519 signature
// matches "SUPublicEDKey" and it unpacks into the announced version, and swaps it in when the
// application quits. A session is one check from its start to the user's last answer; no second
// one starts meanwhile. Background checks never show an error and never offer a version the user
// skipped. An installation that fails at quit is told at the next start; every start first
// repairs and clears what an interrupted update left beside the installation.
class AppcastUpdater : public Updater {
    Q_OBJECT

public:
    struct Options {
        QJsonObject info; // "SUFeedURL", "SUPublicEDKey", "CFBundleShortVersionString"
        // Where the two settings, the skipped version and the last check time live; the
        // application's settings when empty.
        std::shared_ptr<QSettings> settings;
        QString installFolder;
        UpdateInstaller::Options installer;
        UpdateFetcher::Options network;
        int firstCheckDelayMs = 60'000;
        int checkIntervalMs = 24 * 60 * 60 * 1000;
        // Starts the new program once the application has quit; true when it started.
        std::function<bool(const QString& program)> launch;
        // Asks the application to quit; false when the quit was refused.
        std::function<bool()> requestQuit;
    };

    AppcastUpdater(Options options, UpdateUserDriver& driver, QObject* parent = nullptr);
    ~AppcastUpdater() override;

    bool canCheckForUpdates() const override { return m_started && m_phase == Phase::idle; }
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool on) override;
    bool automaticallyDownloadsUpdates() const override;
    void setAutomaticallyDownloadsUpdates(bool on) override;

    // Also repairs the installation off the GUI thread, and shows an install that failed at the
    // last quit once the event loop runs.
    void start();
    void checkForUpdates() { beginSession(true); }
    // Verifies again and installs an update that was verified but not yet installed, then
    // starts the program again when the user asked for a relaunch. Meant for the moment the
    // application quits.
    void finishAtQuit();

    QString currentVersion() const;
    QString skippedVersion() const;
    QDateTime lastCheckTime() const;

private:
    enum class Phase { idle, checking, offering, downloading, answering };

    void setPhase(Phase phase);
    void scheduleNextCheck();
    void beginSession(bool byUser);
    void endSession();
    // The user's Cancel: whatever was fetched so far is thrown away.
    void cancelSession();
    void discardDownload();
    void fail(const QString& message);
    void onFeed(const QByteArray& xml);
    void offer(const AppcastItem& item);
    void onChoice(UpdateUserDriver::Choice choice);
    void startDownload();
    void onDownloaded();
    void onVerified(const QString& error);
    void askToInstall();
    void installNow();
    void dropPending();
    void showInstallFailure();
    QString publicKey() const;
    // Wraps a reply so that it acts only while its session is the current one.
    template <typename... Args>
    std::function<void(Args...)>
    reply(std::type_identity_t<std::function<void(AppcastUpdater*, Args...)>> act);

    Options m_options;
    UpdateUserDriver& m_driver;
    UpdateInstaller m_installer;
    UpdateFetcher m_fetcher;
    QTimer m_timer;
    bool m_started = false;
    Phase m_phase = Phase::idle;
    bool m_byUser = false;
    quint64 m_session = 0;
    AppcastItem m_item;
    // Downloaded archives, shared with the thread that checks them and removed with the last
    // owner: one being verified, and one verified and waiting to be installed.
    std::shared_ptr<HeldEntry> m_download;
    AppcastItem m_pendingItem;
    std::shared_ptr<HeldEntry> m_pending;
    bool m_relaunch = false;
    QFuture<QString> m_checking;
    QFuture<void> m_recovering;
};
