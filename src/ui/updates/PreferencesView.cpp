#include "PreferencesView.h"

#include "UpdateLabels.h"
#include "core/Resources.h"
#include "kit/AquaButton.h"
#include "kit/Divider.h"
#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"
#include "updates/UpdateManager.h"
#include "updates/Updater.h"
#include "updates/UpdaterController.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

using TolvaneTheme::TextStyle;

PreferencesView::PreferencesView(UpdateManager& updates, QWidget* parent)
    : PreferencesView(updates, Resources::info(),
                      Resources::path(QStringLiteral("THIRD-PARTY-NOTICES.txt")), parent)
{
}

PreferencesView::PreferencesView(UpdateManager& updates, const QJsonObject& info,
                                 const QString& noticesPath, QWidget* parent)
    : QWidget(parent), m_updates(updates), m_noticesPath(noticesPath)
{
    // The stack keeps its own height and sits in the middle of whatever room the tab has.
    auto* content = new QWidget;
    auto* centre = new QVBoxLayout(this);
    centre->setContentsMargins(0, 0, 0, 0);
    centre->addWidget(content, 0, Qt::AlignCenter);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(24);
    stack->addWidget(makeHeader());
    stack->addWidget(new Divider);
    stack->addWidget(makeSection());
    if (!updates.isConfigured())
        stack->addWidget(
            TextLabel::make(QStringLiteral("Update checks are available in the packaged release."),
                            TextStyle::caption, TolvaneTheme::muted()));
    stack->addWidget(new Divider);
    stack->addWidget(makeVersionLine(info));
    content->setFixedWidth(460);
    content->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Maximum);

    connect(&updates, &UpdateManager::canCheckChanged, this, &PreferencesView::showUpdaterState);
    connect(&updates, &UpdateManager::automaticChecksChanged, this,
            &PreferencesView::showUpdaterState);
    connect(&updates, &UpdateManager::automaticDownloadsChanged, this,
            &PreferencesView::showUpdaterState);
    showUpdaterState();
    refreshNotices();
}

QString PreferencesView::versionText(const QJsonObject& info)
{
    const QJsonValue version = info.value(QStringLiteral("CFBundleShortVersionString"));
    return QStringLiteral("Version ") +
           (version.isString() ? version.toString() : QStringLiteral("Development"));
}

QWidget* PreferencesView::makeHeader()
{
    return UpdateLabels::productHeader(
        TextLabel::make(QStringLiteral("Sharper images, made on this computer."), TextStyle::body,
                        TolvaneTheme::muted()));
}

QWidget* PreferencesView::makeSection()
{
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(TextLabel::make(QStringLiteral("Software updates"), TextStyle::headline));

    m_automaticChecks = new QCheckBox(QStringLiteral("Check for updates automatically"));
    m_automaticDownloads =
        new QCheckBox(QStringLiteral("Download and install updates automatically"));
    column->addWidget(m_automaticChecks);
    column->addWidget(m_automaticDownloads);
    column->addWidget(TextLabel::make(QStringLiteral("Automatic updates are optional. Updates "
                                                     "are verified before installation."),
                                      TextStyle::caption, TolvaneTheme::muted()));
    m_checkButton = new AquaButton(QStringLiteral("Check for Updates…"));
    column->addWidget(m_checkButton, 0, Qt::AlignLeft);
    section->setEnabled(m_updates.isConfigured());

    // A click asks the updater; the box then shows what the updater kept.
    connect(m_automaticChecks, &QCheckBox::clicked, this, [this](bool on) {
        m_updates.controller().updater()->setAutomaticallyChecksForUpdates(on);
        showUpdaterState();
    });
    connect(m_automaticDownloads, &QCheckBox::clicked, this, [this](bool on) {
        m_updates.controller().updater()->setAutomaticallyDownloadsUpdates(on);
        showUpdaterState();
    });
    connect(m_checkButton, &QPushButton::clicked, &m_updates, &UpdateManager::checkForUpdates);
    return section;
}

QWidget* PreferencesView::makeVersionLine(const QJsonObject& info)
{
    auto* line = new QWidget;
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    // One line: a wrapping label beside the stretch is squeezed to its narrowest.
    auto* version = TextLabel::make(versionText(info), TextStyle::caption, TolvaneTheme::muted());
    version->setWordWrap(false);
    row->addWidget(version, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_noticesButton = new AquaButton(QStringLiteral("Third-party notices"));
    row->addWidget(m_noticesButton, 0, Qt::AlignVCenter);
    connect(m_noticesButton, &QPushButton::clicked, this, &PreferencesView::openNotices);
    return line;
}

void PreferencesView::showUpdaterState()
{
    const QSignalBlocker checksBlocker(m_automaticChecks);
    const QSignalBlocker downloadsBlocker(m_automaticDownloads);
    m_automaticChecks->setChecked(m_updates.automaticChecks());
    m_automaticDownloads->setChecked(m_updates.automaticDownloads());
    m_automaticDownloads->setEnabled(m_updates.automaticChecks());
    m_checkButton->setEnabled(m_updates.canCheck());
    refreshNotices();
}

void PreferencesView::refreshNotices()
{
    m_noticesButton->setEnabled(QFileInfo(m_noticesPath).isFile());
}

void PreferencesView::showEvent(QShowEvent* event)
{
    refreshNotices();
    QWidget::showEvent(event);
}

void PreferencesView::openNotices()
{
    // The file may have gone since the button was enabled.
    refreshNotices();
    if (m_noticesButton->isEnabled())
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_noticesPath));
}
