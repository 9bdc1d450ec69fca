#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace crel {

// The desktop's notification service as the application uses it: ask
// whether notifications can be shown, post one under an identifier, take it
// back, and hear when the user clicks one. Completions arrive on the
// calling thread's event loop.
class NotificationCenter : public QObject {
  Q_OBJECT
public:
  enum class Authorization { notDetermined = 0, denied = 1, authorized = 2, provisional = 3, ephemeral = 4 };
  // A notification offers one action, its click: `clickLabel` names it
  // where the desktop draws it as a button.
  struct Request {
    QString identifier;
    QString title;
    QString body;
    QString clickLabel;
  };
  using StatusHandler = std::function<void(Authorization)>;
  // No error on success.
  using ErrorHandler = std::function<void(const std::optional<QString> &error)>;

  using QObject::QObject;

  virtual void authorizationStatus(StatusHandler done) = 0;
  virtual void requestAuthorization(ErrorHandler done) = 0;
  virtual void add(const Request &request, ErrorHandler done) = 0;
  virtual void removeDelivered(const QString &identifier) = 0;

Q_SIGNALS:
  // The user clicked the notification posted under `identifier`.
  void activated(const QString &identifier);
};

// org.freedesktop.Notifications on a session bus. There is no permission
// model: a service that is running or can be started counts as authorised,
// anything else as not determined.
class DBusNotificationCenter : public NotificationCenter {
  Q_OBJECT
public:
  static constexpr const char *service = "org.freedesktop.Notifications";
  static constexpr const char *path = "/org/freedesktop/Notifications";

  explicit DBusNotificationCenter(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

  void authorizationStatus(StatusHandler done) override;
  void requestAuthorization(ErrorHandler done) override;
  void add(const Request &request, ErrorHandler done) override;
  void removeDelivered(const QString &identifier) override;

private Q_SLOTS:
  void onActionInvoked(uint id, const QString &action);
  void onClosed(uint id, uint reason);

private:
  QDBusConnection bus_;
  // The server's id of each posted identifier, replaced by the next post.
  QHash<QString, uint> delivered_;
  // Counts the withdrawals of each identifier, so a post whose reply comes
  // after it was withdrawn is closed on arrival.
  QHash<QString, quint64> withdrawals_;
};

} // namespace crel
