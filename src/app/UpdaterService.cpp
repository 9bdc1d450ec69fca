#include "UpdaterService.h"

#include "SingleInstance.h"
#include "UpdateSettingsView.h"
#include "update/framework/Updater.h"

namespace crel {

UpdaterService::UpdaterService(SettingsStore &settings, QObject *parent)
    : UpdaterService(
          [this, &settings](update::UpdaterDelegate *delegate, update::UserDriverDelegate *userDriverDelegate) {
            // Queued: the quit must not start inside the updater's own call.
            auto quit = [self = QPointer<UpdaterService>(this)] {
              QMetaObject::invokeMethod(
                  self, [self] { self ? Q_EMIT self->quitRequested() : void(); }, Qt::QueuedConnection);
            };
            update::Updater::Environment environment = update::Updater::Environment::standard(settings, quit);
            environment.instanceName = SingleInstance::instanceKey();
            auto updater = std::make_unique<update::Updater>(std::move(environment), delegate, userDriverDelegate);
            updater->setUserDriver(&dialogs_);
            return updater;
          },
          {}, parent) {
  ownCenter_ = std::make_unique<DBusNotificationCenter>();
  useNotifications(*ownCenter_, settings);
}

UpdaterService::UpdaterService(UpdateController::UpdaterFactory factory, UpdateController::Clock clock, QObject *parent)
    : UpdateService(parent), controller_(std::move(factory), std::move(clock)) {
  controller_.isBusy = [this] { return askBusy(); };
  controller_.isIdle = [this] { return askIdle(); };
  dialogs_.installNow = [this] { controller_.installNow(); };
  connect(&controller_, &UpdateController::changed, this, &UpdateService::changed);
}

UpdaterService::~UpdaterService() = default;

void UpdaterService::useNotifications(NotificationCenter &center, SettingsStore &settings, QStringList arguments) {
  notifier_ = std::make_unique<UpdateNotifier>(center, settings, std::move(arguments));
  notifier_->serve(controller_);
  connect(notifier_.get(), &UpdateNotifier::permissionChanged, this, &UpdateService::changed);
}

void UpdaterService::start() {
  controller_.start();
  refreshNotificationPermission();
}

QWidget *UpdaterService::settingsSection(QWidget *parent) {
  return new UpdateSettingsView(controller_, notifier_.get(), parent);
}

void UpdaterService::quitRefused() { controller_.updater().quitRefused(); }

void UpdaterService::applicationWillExit() {
  // Also without an update of its own: another instance's, kept until the
  // last instance of the copy quits, may be this one's to install.
  if (controller_.hasStagedUpdate() || controller_.updaterStarted())
    controller_.updater().applicationWillExit();
}

} // namespace crel
