#pragma once

#include <QObject>

class Updater;

// Owns an updater. It is made without starting it: nothing is scheduled, fetched or shown until
// startUpdater(), which a build that is not set up for updates never calls.
class UpdaterController : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void startUpdater() = 0;
    // The same updater for the controller's whole life.
    virtual Updater* updater() const = 0;
    // Starts a user-initiated check with its dialogs; does nothing while one cannot start.
    virtual void checkForUpdates() = 0;
};
