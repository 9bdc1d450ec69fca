#pragma once

#include "platform/base/Translate.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>

namespace crel {

// What the shell needs from the updater: its menu item, whether an update is
// known, and the two rules it asks the shell about. This base is the
// application without an updater: nothing to check, nothing known.
class UpdateService : public QObject {
  Q_OBJECT
public:
  using Rule = std::function<bool()>;
  using QObject::QObject;

  // The shell's busy and idle rules, asked before a quiet install.
  void setRules(Rule isBusy, Rule isIdle) {
    isBusy_ = std::move(isBusy);
    isIdle_ = std::move(isIdle);
  }

  virtual void start() {}
  virtual QString menuTitle() const { return crel::tr("Check for Updates…"); }
  virtual bool canCheck() const { return false; }
  // An install is staged and waits for the menu item to run it.
  virtual bool hasStagedInstall() const { return false; }
  virtual bool isInstalling() const { return false; }
  // Installing now, or staged to install when the application quits: a quit
  // must first keep the open documents for the relaunch.
  virtual bool installsOnQuit() const { return false; }
  virtual bool isUpdateKnown() const { return false; }
  // The menu item's action.
  virtual void menuAction() {}
  virtual void refreshNotificationPermission() {}
  // The settings window's update section; none without an updater.
  virtual QWidget *settingsSection(QWidget *) { return nullptr; }
  // The answers to quitRequested(): the quit was refused, or the run is
  // ending (a staged update then starts installing).
  virtual void quitRefused() {}
  virtual void applicationWillExit() {}

Q_SIGNALS:
  // Title, availability or known version changed.
  void changed();
  // The updater asks the application to quit now and install.
  void quitRequested();

protected:
  bool askBusy() const { return isBusy_ && isBusy_(); }
  bool askIdle() const { return isIdle_ && isIdle_(); }

private:
  Rule isBusy_;
  Rule isIdle_;
};

} // namespace crel
