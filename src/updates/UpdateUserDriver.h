#pragma once

#include "AppcastFeed.h"

#include <QString>
#include <functional>

// What the updater shows the user. The updater calls one method per step and goes on when the
// matching reply is called; replies may come later, from the event loop. A progress display
// stays up, updated in place, until dismissProgress() or the next step replaces it.
class UpdateUserDriver {
public:
    enum class Choice { install, remindLater, skip };

    virtual ~UpdateUserDriver() = default;

    virtual void showChecking(std::function<void()> cancel) = 0;
    // A newer release. Closing without choosing counts as remindLater.
    virtual void showUpdateFound(const AppcastItem& item, const QString& currentVersion,
                                 std::function<void(Choice)> reply) = 0;
    // `total` is the announced size; called again as bytes arrive.
    virtual void showDownloadProgress(const AppcastItem& item, qint64 received, qint64 total,
                                      std::function<void()> cancel) = 0;
    virtual void showInstalling(const AppcastItem& item) = 0;
    // Verified and ready. reply(true): install and relaunch now; false: install at quit.
    virtual void showReadyToInstall(const AppcastItem& item, std::function<void(bool)> reply) = 0;
    virtual void showUpToDate(const QString& currentVersion, std::function<void()> done) = 0;
    virtual void showError(const QString& message, std::function<void()> done) = 0;
    virtual void dismissProgress() = 0;
};
