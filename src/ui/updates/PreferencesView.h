#pragma once

#include <QJsonObject>
#include <QWidget>

class AquaButton;
class QCheckBox;
class QLabel;
class UpdateManager;

// The "Updates" tab of the Settings window: the product's icon and name, the update settings
// with a button for a manual check, and the version line with the notices button. The settings
// section is disabled while the build is not set up for updates. Toggles write to the updater
// and then show what it holds.
class PreferencesView : public QWidget {
    Q_OBJECT

public:
    // The build's own information and notices file.
    explicit PreferencesView(UpdateManager& updates, QWidget* parent = nullptr);
    PreferencesView(UpdateManager& updates, const QJsonObject& info, const QString& noticesPath,
                    QWidget* parent = nullptr);

    // "Version " and the stored version string, or "Development" when it is missing or not text.
    static QString versionText(const QJsonObject& info);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeSection();
    QWidget* makeVersionLine(const QJsonObject& info);
    void showUpdaterState();
    void refreshNotices();
    void openNotices();

    UpdateManager& m_updates;
    QString m_noticesPath;
    QCheckBox* m_automaticChecks = nullptr;
    QCheckBox* m_automaticDownloads = nullptr;
    AquaButton* m_checkButton = nullptr;
    AquaButton* m_noticesButton = nullptr;
};
