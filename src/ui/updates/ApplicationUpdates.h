#pragma once

#include <functional>
#include <memory>

class QObject;
class UpdateManager;

namespace ApplicationUpdates {
// The application's one UpdateManager: this build's information decides whether it is set up;
// its updater is the feed updater over the running installation, with dialogs over the active
// window. `requestQuit` asks the application to quit the way its Quit command does (the quit
// question included) and returns false when the user kept it running; "Install and Relaunch"
// uses it, and the new version starts once the application has quit.
std::unique_ptr<UpdateManager> make(std::function<bool()> requestQuit, QObject* parent = nullptr);
} // namespace ApplicationUpdates
