#include "NotificationCenter.h"

#include "platform/files/AppIdentity.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QUrl>

namespace crel {

namespace {

constexpr const char *interfaceName = "org.freedesktop.Notifications";
constexpr const char *busService = "org.freedesktop.DBus";
constexpr const char *busPath = "/org/freedesktop/DBus";

// Runs `handle` with the finished call on this thread's loop.
template <typename Handler> void whenFinished(const QDBusPendingCall &call, QObject *context, Handler handle) {
  auto *watcher = new QDBusPendingCallWatcher(call, context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [handle = std::move(handle)](QDBusPendingCallWatcher *w) {
                     w->deleteLater();
                     handle(*w);
                   });
}

QDBusMessage busCall(const char *method) {
  return QDBusMessage::createMethodCall(busService, busPath, busService, QString::fromLatin1(method));
}

} // namespace

DBusNotificationCenter::DBusNotificationCenter(QDBusConnection bus, QObject *parent)
    : NotificationCenter(parent), bus_(std::move(bus)) {
  if (!bus_.isConnected())
    return;
  bus_.connect(QString(), path, interfaceName, QStringLiteral("ActionInvoked"), this,
               SLOT(onActionInvoked(uint, QString)));
  bus_.connect(QString(), path, interfaceName, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DBusNotificationCenter::authorizationStatus(StatusHandler done) {
  if (!bus_.isConnected()) {
    done(Authorization::notDetermined);
    return;
  }
  QDBusMessage owner = busCall("NameHasOwner");
  owner << QString::fromLatin1(service);
  whenFinished(bus_.asyncCall(owner), this, [this, done](QDBusPendingCallWatcher &w) {
    const QDBusPendingReply<bool> running = w;
    if (!running.isError() && running.value()) {
      done(Authorization::authorized);
      return;
    }
    whenFinished(bus_.asyncCall(busCall("ListActivatableNames")), this, [done](QDBusPendingCallWatcher &l) {
      const QDBusPendingReply<QStringList> names = l;
      done(!names.isError() && names.value().contains(QLatin1String(service)) ? Authorization::authorized
                                                                              : Authorization::notDetermined);
    });
  });
}

void DBusNotificationCenter::requestAuthorization(ErrorHandler done) {
  authorizationStatus([done](Authorization status) {
    done(status == Authorization::authorized
             ? std::nullopt
             : std::optional<QString>(QStringLiteral("No notification service is running.")));
  });
}

void DBusNotificationCenter::add(const Request &request, ErrorHandler done) {
  if (!bus_.isConnected()) {
    done(QStringLiteral("No session bus."));
    return;
  }
  QVariantMap hints{{QStringLiteral("desktop-entry"), AppIdentity::identifier()},
                    {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)},
                    {QStringLiteral("suppress-sound"), true}};
  QDBusMessage notify = QDBusMessage::createMethodCall(service, path, interfaceName, QStringLiteral("Notify"));
  // The bundle's own icon by its file: a copy that is not installed has no
  // icon in the desktop's theme, and the server would draw a blank bell.
  const QStringList icons = AppIdentity::iconFiles();
  const QString icon = icons.isEmpty() ? AppIdentity::identifier() : QUrl::fromLocalFile(icons.last()).toString();
  notify << AppIdentity::name() << delivered_.value(request.identifier, 0u) << icon << request.title << request.body
         << QStringList{QStringLiteral("default"), request.clickLabel} << hints << qint32(-1);
  const QString identifier = request.identifier;
  const quint64 withdrawals = withdrawals_.value(identifier);
  whenFinished(bus_.asyncCall(notify), this, [this, identifier, withdrawals, done](QDBusPendingCallWatcher &w) {
    const QDBusPendingReply<uint> reply = w;
    if (reply.isError()) {
      done(reply.error().message().isEmpty() ? reply.error().name() : reply.error().message());
      return;
    }
    delivered_.insert(identifier, reply.value());
    if (withdrawals_.value(identifier) != withdrawals)
      removeDelivered(identifier);
    done(std::nullopt);
  });
}

void DBusNotificationCenter::removeDelivered(const QString &identifier) {
  ++withdrawals_[identifier];
  const auto found = delivered_.constFind(identifier);
  if (found == delivered_.constEnd() || !bus_.isConnected())
    return;
  QDBusMessage close =
      QDBusMessage::createMethodCall(service, path, interfaceName, QStringLiteral("CloseNotification"));
  close << *found;
  bus_.asyncCall(close);
  delivered_.erase(found);
}

void DBusNotificationCenter::onActionInvoked(uint id, const QString &) {
  const QString identifier = delivered_.key(id);
  if (!identifier.isEmpty())
    Q_EMIT activated(identifier);
}

void DBusNotificationCenter::onClosed(uint id, uint) {
  const QString identifier = delivered_.key(id);
  if (!identifier.isEmpty())
    delivered_.remove(identifier);
}

} // namespace crel
