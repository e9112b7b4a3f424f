#pragma once

#include <QObject>
#include <QString>

// Keeps the computer from sleeping while held, through logind's Inhibit call. Where there is no
// system bus or no logind it silently does nothing.
class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    explicit SleepInhibitor(const QString& why, QObject* parent = nullptr);
    ~SleepInhibitor() override;
    bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
