#include "UpdateNotifier.h"

#include "UpdateController.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/SettingsStore.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>

namespace crel {

namespace {
Q_LOGGING_CATEGORY(lcNotify, "crel.update", QtInfoMsg)

using Authorization = NotificationCenter::Authorization;

bool mayPost(Authorization status) {
  return status == Authorization::authorized || status == Authorization::provisional;
}
} // namespace

UpdateNotifier::UpdateNotifier(NotificationCenter &center, SettingsStore &settings, QStringList arguments, Clock clock,
                               QObject *parent)
    : QObject(parent), center_(center), settings_(settings), arguments_(std::move(arguments)),
      clock_(std::move(clock)) {
  if (arguments_.isEmpty())
    arguments_ = QCoreApplication::arguments();
  if (!clock_)
    clock_ = [] { return QDateTime::currentDateTimeUtc(); };
  connect(&center_, &NotificationCenter::activated, this, [this](const QString &id) {
    if (id == QLatin1String(identifier) && onClick)
      onClick();
  });
}

bool UpdateNotifier::suppressed() const {
  return UpdateController::isIsolatedTest(arguments_) || arguments_.contains(QLatin1String("--update-acceptance"));
}

void UpdateNotifier::notify(const QString &version) {
  if (suppressed())
    return;
  const QDateTime now = clock_();
  const QVariant last = settings_.value(QLatin1String(dateKey));
  if (settings_.stringForKey(QLatin1String(versionKey)) == version && last.typeId() == QMetaType::QDateTime &&
      last.toDateTime().secsTo(now) < repeatSeconds)
    return;
  center_.authorizationStatus([self = QPointer<UpdateNotifier>(this), version, now](Authorization status) {
    if (!self || !mayPost(status))
      return;
    const QString title = self->readyToInstall()
                              ? crel::tr("%1 %2 is ready to install").arg(AppIdentity::name(), version)
                              : crel::tr("%1 %2 is available").arg(AppIdentity::name(), version);
    const QString body =
        crel::tr("Click to review the update and relaunch when you’re ready. Your open crels will be restored.");
    self->center_.add({QLatin1String(identifier), title, body, crel::tr("Review")},
                      [self, version, now](const std::optional<QString> &error) {
                        if (!self)
                          return;
                        if (error) {
                          qCWarning(lcNotify, "Update notification failed: %s", qUtf8Printable(*error));
                          return;
                        }
                        self->settings_.setString(QLatin1String(versionKey), version);
                        self->settings_.setValue(QLatin1String(dateKey), now);
                      });
  });
}

void UpdateNotifier::serve(UpdateController &controller) {
  controller.announce = [this](const QString &version) { notify(version); };
  controller.withdrawAnnouncement = [this] { withdraw(); };
  readyToInstall = [&controller] { return controller.readyToInstall(); };
  availableVersion = [&controller] { return controller.availableVersion(); };
  onClick = [&controller] { controller.checkForUpdates(); };
  onError = [&controller](const QString &sentence) { controller.setStatus(sentence); };
}

void UpdateNotifier::withdraw() { center_.removeDelivered(QLatin1String(identifier)); }

void UpdateNotifier::refreshPermission() {
  if (UpdateController::isIsolatedTest(arguments_))
    return;
  center_.authorizationStatus([self = QPointer<UpdateNotifier>(this)](Authorization status) {
    if (!self)
      return;
    self->allowed_ = mayPost(status);
    self->denied_ = status == Authorization::denied;
    Q_EMIT self->permissionChanged();
  });
}

void UpdateNotifier::enableNotifications() {
  center_.requestAuthorization([self = QPointer<UpdateNotifier>(this)](const std::optional<QString> &error) {
    if (!self)
      return;
    if (error && self->onError)
      self->onError(QStringLiteral("Notifications could not be enabled: ") + *error);
    self->refreshPermission();
    if (const std::optional<QString> version = self->availableVersion())
      self->notify(*version);
  });
}

} // namespace crel
