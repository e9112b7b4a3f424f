#pragma once

#include <QObject>

// The application's software updates: whether this build is set up for them, whether a check can
// start now, and the two automatic-update settings. One per process, made at start-up of the window
// mode only.
class UpdateManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheck READ canCheck NOTIFY canCheckChanged)
    Q_PROPERTY(bool automaticChecks READ automaticChecks NOTIFY automaticChecksChanged)
    Q_PROPERTY(bool automaticDownloads READ automaticDownloads NOTIFY automaticDownloadsChanged)

public:
    explicit UpdateManager(QObject* parent = nullptr);

    // True when Info.json holds both the feed address and the public key.
    bool isConfigured() const { return m_isConfigured; }
    bool canCheck() const { return m_canCheck; }
    bool automaticChecks() const { return m_automaticChecks; }
    bool automaticDownloads() const { return m_automaticDownloads; }

    // Starts a check the user asked for; nothing while canCheck() is false.
    void checkForUpdates();

Q_SIGNALS:
    void canCheckChanged();
    void automaticChecksChanged();
    void automaticDownloadsChanged();

private:
    bool m_isConfigured = false;
    bool m_canCheck = false;
    bool m_automaticChecks = false;
    bool m_automaticDownloads = false;
};
