#include "Look.h"

#include "../updates/FakeUpdaterController.h"
#include "ui/updates/PreferencesView.h"
#include "ui/updates/UpdateDialog.h"
#include "ui/updates/UpdateDialogDriver.h"
#include "updates/UpdateManager.h"

#include <QJsonObject>

namespace {

// The tab as the Settings window shows it, owning its manager; no version: a development build.
QWidget* updatesTab(bool configured, const QString& version = QStringLiteral("1.0.0"))
{
    QJsonObject info;
    if (!version.isEmpty())
        info[QStringLiteral("CFBundleShortVersionString")] = version;
    if (configured) {
        info[QStringLiteral("SUFeedURL")] = QStringLiteral("https://updates.example/appcast.xml");
        info[QStringLiteral("SUPublicEDKey")] = QString();
    }
    auto* manager = new UpdateManager(info, [] {
        auto controller = std::make_unique<FakeUpdaterController>();
        controller->updater()->setChecks(true);
        return controller;
    });
    auto* view = new PreferencesView(
        *manager, info, QStringLiteral(TOLVANE_SOURCE_DIR "/resources/THIRD-PARTY-NOTICES.txt"));
    manager->setParent(view);
    return view;
}

AppcastItem release()
{
    AppcastItem item;
    item.version = QStringLiteral("1.2.0");
    item.length = 48'300'000;
    item.notes = QStringLiteral(
        "New in this release:\n"
        "• Enlarging a batch of large photographs is about a third faster, because tiles are now "
        "prepared while the previous one is still being enlarged.\n"
        "• Vector tracing keeps thin dark outlines that earlier versions merged into the "
        "background colour.\n"
        "• <b>HEIC</b> files with 10-bit colour import correctly.\n"
        "• Fixes: the output folder is remembered after a restart; a stopped batch resumes with "
        "the right item; the comparison slider no longer jumps when the window is resized.");
    return item;
}

QWidget* progress(const QString& heading, qint64 received, qint64 total, bool cancellable)
{
    auto* dialog = new UpdateProgressDialog;
    dialog->setFixedWidth(420);
    dialog->showStep(heading, received, total);
    if (cancellable)
        dialog->setCancel([] {});
    return dialog;
}

const Look::Registration states{{
    {QStringLiteral("updates-tab-configured"), [] { return updatesTab(true); }},
    {QStringLiteral("updates-tab-unconfigured"), [] { return updatesTab(false); }},
    {QStringLiteral("updates-tab-development"), [] { return updatesTab(false, {}); }},
    {QStringLiteral("updates-found"),
     [] {
         return UpdateDialogDriver::makeFoundDialog(release(), QStringLiteral("1.0.0"), nullptr);
     }},
    {QStringLiteral("updates-checking"),
     [] { return progress(QStringLiteral("Checking for updates…"), 0, 0, true); }},
    {QStringLiteral("updates-downloading"),
     [] {
         return progress(QStringLiteral("Downloading Tolvane 1.2.0…"), 17'400'000, 48'300'000,
                         true);
     }},
    {QStringLiteral("updates-installing"),
     [] { return progress(QStringLiteral("Installing Tolvane 1.2.0…"), 0, 0, false); }},
    {QStringLiteral("updates-ready"),
     [] { return UpdateDialogDriver::makeReadyDialog(release(), nullptr); }},
    {QStringLiteral("updates-up-to-date"),
     [] { return UpdateDialogDriver::makeUpToDateDialog(QStringLiteral("1.0.0"), nullptr); }},
    {QStringLiteral("updates-error"),
     [] {
         return UpdateDialogDriver::makeErrorDialog(
             QStringLiteral("Tolvane can’t update itself in “/opt/tolvane”: you don’t have "
                            "permission to change it or the folder that holds it."),
             nullptr);
     }},
    // Told at the start after an install that failed at quit.
    {QStringLiteral("updates-failed-at-quit"),
     [] {
         return UpdateDialogDriver::makeErrorDialog(
             QStringLiteral("Tolvane can’t update itself in “/home/ada/Applications/Tolvane "
                            "Studio/tolvane-1.0.0”: it is a mount point, and a mount point can’t "
                            "be replaced."),
             nullptr);
     }},
}};

} // namespace
