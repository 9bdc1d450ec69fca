#pragma once

#include "StandardUserDriver.h"
#include "UpdateService.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"

#include <memory>

namespace crel {

class SettingsStore;

// The shell's updater: the update front end over the real update layer,
// which asks the shell to quit when an update is to install.
class UpdaterService : public UpdateService {
  Q_OBJECT
public:
  explicit UpdaterService(SettingsStore &settings, QObject *parent = nullptr);
  // Over a front end built elsewhere (tests).
  explicit UpdaterService(UpdateController::UpdaterFactory factory, UpdateController::Clock clock = {},
                          QObject *parent = nullptr);
  ~UpdaterService() override;

  UpdateController &controller() { return controller_; }
  // Announces scheduled finds through `center` from now on.
  void useNotifications(NotificationCenter &center, SettingsStore &settings, QStringList arguments = {});
  UpdateNotifier *notifier() { return notifier_.get(); }

  void start() override;
  QString menuTitle() const override { return controller_.menuTitle(); }
  bool canCheck() const override { return controller_.canCheck(); }
  bool hasStagedInstall() const override { return controller_.canInstallNow(); }
  bool isInstalling() const override { return controller_.installing(); }
  bool installsOnQuit() const override { return controller_.installing() || controller_.hasStagedUpdate(); }
  bool isUpdateKnown() const override { return controller_.availableVersion().has_value(); }
  void menuAction() override { controller_.updateMenuAction(); }
  void refreshNotificationPermission() override {
    if (notifier_)
      notifier_->refreshPermission();
  }
  QWidget *settingsSection(QWidget *parent) override;
  void quitRefused() override;
  void applicationWillExit() override;

  StandardUserDriver &dialogs() { return dialogs_; }

private:
  // Before the controller, so the updater is gone when open dialogs close.
  StandardUserDriver dialogs_;
  UpdateController controller_;
  std::unique_ptr<NotificationCenter> ownCenter_;
  std::unique_ptr<UpdateNotifier> notifier_;
};

} // namespace crel
