#pragma once

#include "updates/Updater.h"
#include "updates/UpdaterController.h"

// An updater whose values the test sets from outside; with `keepsWrites` off it refuses every
// write, the way an updater with a policy of its own would.
class FakeUpdater : public Updater {
public:
    bool keepsWrites = true;
    int writes = 0;

    bool canCheckForUpdates() const override { return m_canCheck; }
    bool automaticallyChecksForUpdates() const override { return m_checks; }
    bool automaticallyDownloadsUpdates() const override { return m_downloads; }
    void setAutomaticallyChecksForUpdates(bool on) override
    {
        ++writes;
        if (keepsWrites)
            setChecks(on);
    }
    void setAutomaticallyDownloadsUpdates(bool on) override
    {
        ++writes;
        if (keepsWrites)
            setDownloads(on);
    }

    // Changes made by the updater itself, announced like real ones.
    void setCanCheck(bool on)
    {
        if (std::exchange(m_canCheck, on) != on)
            Q_EMIT canCheckForUpdatesChanged(on);
    }
    void setChecks(bool on)
    {
        if (std::exchange(m_checks, on) != on)
            Q_EMIT automaticallyChecksForUpdatesChanged(on);
    }
    void setDownloads(bool on)
    {
        if (std::exchange(m_downloads, on) != on)
            Q_EMIT automaticallyDownloadsUpdatesChanged(on);
    }

private:
    bool m_canCheck = false;
    bool m_checks = false;
    bool m_downloads = false;
};

class FakeUpdaterController : public UpdaterController {
public:
    int starts = 0;
    int checks = 0;
    // Values the updater takes when started.
    bool canCheckWhenStarted = true;

    void startUpdater() override
    {
        ++starts;
        m_updater.setCanCheck(canCheckWhenStarted);
    }
    FakeUpdater* updater() const override { return &m_updater; }
    void checkForUpdates() override { ++checks; }

private:
    mutable FakeUpdater m_updater;
};
