#pragma once

#include "platform/desktop/NotificationCenter.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <functional>

namespace crel {

class SettingsStore;
class UpdateController;

// Announces a version found by a scheduled check with one desktop
// notification, at most once per version and day, and only where the
// desktop lets notifications show. A click asks for the update dialog.
class UpdateNotifier : public QObject {
  Q_OBJECT
public:
  static constexpr const char *identifier = "software-update";
  static constexpr const char *versionKey = "lastUpdateNotificationVersion";
  static constexpr const char *dateKey = "lastUpdateNotificationDate";
  static constexpr qint64 repeatSeconds = 86400;

  using Clock = std::function<QDateTime()>;

  UpdateNotifier(NotificationCenter &center, SettingsStore &settings, QStringList arguments = {}, Clock clock = {},
                 QObject *parent = nullptr);

  // Supplied by the application.
  std::function<bool()> readyToInstall = [] { return false; };
  std::function<std::optional<QString>()> availableVersion = [] { return std::optional<QString>(); };
  std::function<void()> onClick;
  std::function<void(const QString &sentence)> onError;

  // Takes the controller's announcements, its state and its checks.
  void serve(UpdateController &controller);

  void notify(const QString &version);
  void withdraw();
  void refreshPermission();
  void enableNotifications();

  bool notificationsAllowed() const { return allowed_; }
  bool notificationDenied() const { return denied_; }

Q_SIGNALS:
  void permissionChanged();

private:
  bool suppressed() const;

  NotificationCenter &center_;
  SettingsStore &settings_;
  QStringList arguments_;
  Clock clock_;
  bool allowed_ = false;
  bool denied_ = false;
};

} // namespace crel
