#include "UpdateDialogDriver.h"

#include "UpdateDialog.h"
#include "UpdateLabels.h"
#include "kit/AquaButton.h"
#include "kit/TextLabel.h"

#include <QLabel>
#include <QPlainTextEdit>

UpdateDialogDriver::UpdateDialogDriver(std::function<QWidget*()> parentWindow)
    : m_parentWindow(std::move(parentWindow))
{
}

UpdateDialogDriver::~UpdateDialogDriver()
{
    // Replies refer to the updater, which goes with this driver: close without answering.
    for (QDialog* dialog :
         {static_cast<QDialog*>(m_progress.data()), static_cast<QDialog*>(m_current.data())})
        if (dialog) {
            dialog->disconnect();
            delete dialog;
        }
}

UpdateDialog* UpdateDialogDriver::makeFoundDialog(const AppcastItem& item,
                                                  const QString& currentVersion, QWidget* parent)
{
    auto* dialog = new UpdateDialog(
        QStringLiteral("Tolvane %1 is available").arg(item.version),
        QStringLiteral("You have version %1. The update is verified before it is installed.")
            .arg(currentVersion),
        parent);
    if (!item.notes.isEmpty()) {
        // Release notes are text: markup in them shows as written.
        auto* notes = new QPlainTextEdit(item.notes);
        notes->setReadOnly(true);
        notes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        notes->setFixedHeight(150);
        dialog->addContent(TextLabel::make(QStringLiteral("Release notes"),
                                           TolvaneTheme::TextStyle::subheadline,
                                           TolvaneTheme::muted()));
        dialog->addContent(notes);
    }
    dialog->addButton(QStringLiteral("Skip This Version"), skip, false, true);
    dialog->addButton(QStringLiteral("Remind Me Later"), remindLater);
    dialog->addButton(QStringLiteral("Install Update"), install, true);
    dialog->setFixedWidth(520);
    return dialog;
}

UpdateDialog* UpdateDialogDriver::makeReadyDialog(const AppcastItem& item, QWidget* parent)
{
    auto* dialog = new UpdateDialog(
        QStringLiteral("Tolvane %1 is ready to install").arg(item.version),
        QStringLiteral("Tolvane quits, installs the update and opens again. Choose Later to "
                       "install it when you next quit Tolvane."),
        parent);
    dialog->addButton(QStringLiteral("Later"), QDialog::Rejected);
    dialog->addButton(QStringLiteral("Install and Relaunch"), QDialog::Accepted, true);
    dialog->setFixedWidth(460);
    return dialog;
}

UpdateDialog* UpdateDialogDriver::makeUpToDateDialog(const QString& currentVersion, QWidget* parent)
{
    auto* dialog = new UpdateDialog(
        QStringLiteral("Tolvane is up to date"),
        QStringLiteral("Version %1 is the newest version available.").arg(currentVersion), parent);
    dialog->addButton(QStringLiteral("OK"), QDialog::Accepted, true);
    dialog->setFixedWidth(420);
    return dialog;
}

UpdateDialog* UpdateDialogDriver::makeErrorDialog(const QString& message, QWidget* parent)
{
    auto* dialog = new UpdateDialog(QStringLiteral("The software update failed"), message, parent);
    dialog->addButton(QStringLiteral("OK"), QDialog::Accepted, true);
    dialog->setFixedWidth(420);
    return dialog;
}

UpdateProgressDialog* UpdateDialogDriver::progress()
{
    if (!m_progress) {
        m_progress = new UpdateProgressDialog(m_parentWindow ? m_parentWindow() : nullptr);
        m_progress->setFixedWidth(420);
        m_progress->open();
    }
    return m_progress;
}

void UpdateDialogDriver::dismissProgress()
{
    if (m_progress) {
        m_progress->setCancel({});
        m_progress->accept();
    }
    m_progress = nullptr;
}

void UpdateDialogDriver::open(UpdateDialog* dialog, std::function<void(int)> finished)
{
    dismissProgress();
    m_current = dialog;
    QObject::connect(dialog, &QDialog::finished, dialog, std::move(finished));
    dialog->open();
}

void UpdateDialogDriver::showChecking(std::function<void()> cancel)
{
    progress()->showStep(QStringLiteral("Checking for updates…"), 0, 0);
    m_progress->setCancel(std::move(cancel));
}

void UpdateDialogDriver::showUpdateFound(const AppcastItem& item, const QString& currentVersion,
                                         std::function<void(Choice)> reply)
{
    QWidget* parent = m_parentWindow ? m_parentWindow() : nullptr;
    open(makeFoundDialog(item, currentVersion, parent), [reply](int result) {
        // Closing the dialog any other way means later.
        reply(result == install ? Choice::install
              : result == skip  ? Choice::skip
                                : Choice::remindLater);
    });
}

void UpdateDialogDriver::showDownloadProgress(const AppcastItem& item, qint64 received,
                                              qint64 total, std::function<void()> cancel)
{
    progress()->showStep(QStringLiteral("Downloading Tolvane %1…").arg(item.version), received,
                         total);
    m_progress->setCancel(std::move(cancel));
}

void UpdateDialogDriver::showInstalling(const AppcastItem& item)
{
    progress()->showStep(QStringLiteral("Installing Tolvane %1…").arg(item.version), 0, 0);
    m_progress->setCancel({});
}

void UpdateDialogDriver::showReadyToInstall(const AppcastItem& item,
                                            std::function<void(bool)> reply)
{
    QWidget* parent = m_parentWindow ? m_parentWindow() : nullptr;
    open(makeReadyDialog(item, parent),
         [reply](int result) { reply(result == QDialog::Accepted); });
}

void UpdateDialogDriver::showUpToDate(const QString& currentVersion, std::function<void()> done)
{
    QWidget* parent = m_parentWindow ? m_parentWindow() : nullptr;
    open(makeUpToDateDialog(currentVersion, parent), [done](int) { done(); });
}

void UpdateDialogDriver::showError(const QString& message, std::function<void()> done)
{
    QWidget* parent = m_parentWindow ? m_parentWindow() : nullptr;
    open(makeErrorDialog(message, parent), [done](int) { done(); });
}
