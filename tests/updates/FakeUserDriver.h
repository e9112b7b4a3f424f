#pragma once

#include "updates/UpdateUserDriver.h"

#include <QStringList>
#include <QTimer>

// Records what the updater shows and answers as scripted, a turn of the event loop later, the
// way a dialog would.
class FakeUserDriver : public UpdateUserDriver {
public:
    Choice choice = Choice::install;
    bool installNow = true;
    QStringList shown;
    std::function<void()> cancel;

    void showChecking(std::function<void()> cancelAction) override
    {
        shown << QStringLiteral("checking");
        cancel = std::move(cancelAction);
    }
    void showUpdateFound(const AppcastItem& item, const QString& current,
                         std::function<void(Choice)> reply) override
    {
        shown << QStringLiteral("found %1 over %2: %3").arg(item.version, current, item.notes);
        later([reply, c = choice] { reply(c); });
    }
    void showDownloadProgress(const AppcastItem& item, qint64 received, qint64 total,
                              std::function<void()> cancelAction) override
    {
        // One line per download, however many progress steps.
        const QString line = QStringLiteral("downloading %1 of %2").arg(item.version).arg(total);
        if (shown.isEmpty() || shown.last() != line)
            shown << line;
        lastReceived = received;
        cancel = std::move(cancelAction);
    }
    void showInstalling(const AppcastItem& item) override
    {
        shown << QStringLiteral("installing %1").arg(item.version);
    }
    void showReadyToInstall(const AppcastItem& item, std::function<void(bool)> reply) override
    {
        shown << QStringLiteral("ready %1").arg(item.version);
        later([reply, now = installNow] { reply(now); });
    }
    void showUpToDate(const QString& current, std::function<void()> done) override
    {
        shown << QStringLiteral("up to date %1").arg(current);
        later(done);
    }
    void showError(const QString& message, std::function<void()> done) override
    {
        shown << QStringLiteral("error: ") + message;
        later(done);
    }
    void dismissProgress() override {}

    qint64 lastReceived = 0;

private:
    static void later(std::function<void()> action)
    {
        QTimer::singleShot(0, [action = std::move(action)] { action(); });
    }
};
