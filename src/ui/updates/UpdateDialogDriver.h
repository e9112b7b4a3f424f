#pragma once

#include "updates/UpdateUserDriver.h"

#include <QPointer>
#include <functional>

class QWidget;
class UpdateDialog;
class UpdateProgressDialog;

// The updater's dialogs: window-modal over the window that `parentWindow` names at the moment
// (none: free-standing), opened with open(), never blocking the event loop.
class UpdateDialogDriver : public UpdateUserDriver {
public:
    explicit UpdateDialogDriver(std::function<QWidget*()> parentWindow);
    ~UpdateDialogDriver() override;

    void showChecking(std::function<void()> cancel) override;
    void showUpdateFound(const AppcastItem& item, const QString& currentVersion,
                         std::function<void(Choice)> reply) override;
    void showDownloadProgress(const AppcastItem& item, qint64 received, qint64 total,
                              std::function<void()> cancel) override;
    void showInstalling(const AppcastItem& item) override;
    void showReadyToInstall(const AppcastItem& item, std::function<void(bool)> reply) override;
    void showUpToDate(const QString& currentVersion, std::function<void()> done) override;
    void showError(const QString& message, std::function<void()> done) override;
    void dismissProgress() override;

    // The dialogs each step makes, for tests and screenshots: not yet opened.
    static UpdateDialog* makeFoundDialog(const AppcastItem& item, const QString& currentVersion,
                                         QWidget* parent);
    static UpdateDialog* makeReadyDialog(const AppcastItem& item, QWidget* parent);
    static UpdateDialog* makeUpToDateDialog(const QString& currentVersion, QWidget* parent);
    static UpdateDialog* makeErrorDialog(const QString& message, QWidget* parent);

    // Results of the found dialog's buttons.
    enum FoundResult { remindLater = 0, install = 1, skip = 2 };

private:
    UpdateProgressDialog* progress();
    void open(UpdateDialog* dialog, std::function<void(int)> finished);

    std::function<QWidget*()> m_parentWindow;
    QPointer<UpdateProgressDialog> m_progress;
    QPointer<UpdateDialog> m_current;
};
