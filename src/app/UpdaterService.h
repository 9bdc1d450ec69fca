#pragma once

#include "UpdateService.h"
#include "update/UpdateController.h"

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

  void start() override { controller_.start(); }
  QString menuTitle() const override { return controller_.menuTitle(); }
  bool canCheck() const override { return controller_.canCheck(); }
  bool hasStagedInstall() const override { return controller_.canInstallNow(); }
  bool isInstalling() const override { return controller_.installing(); }
  bool installsOnQuit() const override { return controller_.installing() || controller_.hasStagedUpdate(); }
  bool isUpdateKnown() const override { return controller_.availableVersion().has_value(); }
  void menuAction() override { controller_.updateMenuAction(); }
  void quitRefused() override;
  void applicationWillExit() override;

private:
  UpdateController controller_;
};

} // namespace crel
