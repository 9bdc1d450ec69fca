#pragma once

#include "AppcastItem.h"
#include "UpdateError.h"

#include <QString>

#include <functional>

namespace crel::update {

// What the updater tells the application. Every call arrives on the main
// thread; the defaults do nothing and decline what they are asked.
class UpdaterDelegate {
public:
  virtual ~UpdaterDelegate() = default;

  virtual void didFindValidUpdate(const AppcastItem &) {}
  // True: the application keeps `immediateInstall` and calls it when it wants
  // to quit and install now. The block may be called any number of times and
  // after the updater is gone; extra calls do nothing.
  virtual bool willInstallUpdateOnQuit(const AppcastItem &, std::function<void()> /*immediateInstall*/) {
    return false;
  }
  virtual void willInstallUpdate(const AppcastItem &) {}
  // True: the application calls `resume` once it is ready to quit for the relaunch.
  virtual bool shouldPostponeRelaunch(const AppcastItem &, std::function<void()> /*resume*/) { return false; }
  virtual void willScheduleUpdateCheckAfterDelay(double /*seconds*/) {}
  virtual void willNotScheduleUpdateCheck() {}
  virtual void didNotFindUpdate(const UpdateError &) {}
  virtual void didAbortWithError(const UpdateError &) {}
  // The quit that was to install the update was refused; the update stays staged.
  virtual void installationDeferred(const AppcastItem &) {}
  // An install was asked for while another instance runs from the copy: the
  // application keeps running and the update stays staged; it installs when
  // the copy's last instance quits.
  virtual void installationWaitsForOtherInstances(const AppcastItem &) {}
};

// How an update session is shown to the user ("user driver").
struct UserUpdateState {
  enum class Stage { notDownloaded, downloaded, installing };
  Stage stage = Stage::notDownloaded;
  bool userInitiated = false;
  bool operator==(const UserUpdateState &) const = default;
};

class UserDriverDelegate {
public:
  virtual ~UserDriverDelegate() = default;

  virtual bool supportsGentleScheduledUpdateReminders() { return false; }
  virtual bool shouldHandleShowingScheduledUpdate(const AppcastItem &, bool /*immediateFocus*/) { return true; }
  virtual void willHandleShowingUpdate(bool /*handleShowingUpdate*/, const AppcastItem &, const UserUpdateState &) {}
  virtual void didReceiveUserAttention(const AppcastItem &) {}
  virtual void willFinishUpdateSession() {}
};

// The answer to an offered update: download and install it, ask again at
// the next scheduled check, or stop offering this version in scheduled checks.
enum class UpdateChoice { install, later, skip };

// The dialogs of a user's check ("standard user driver"); the front end
// supplies them, and answers each offer once.
class UpdateUserDriver {
public:
  virtual ~UpdateUserDriver() = default;
  virtual void showUpdateFound(const AppcastItem &, const UserUpdateState &,
                               std::function<void(UpdateChoice)> reply) = 0;
  virtual void showUpdateNotFound(const UpdateError &) = 0;
  virtual void showReadyToInstall(const AppcastItem &) = 0;
  virtual void showUpdaterError(const UpdateError &) = 0;
};

} // namespace crel::update
