#include "SystemTray.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace crel {

namespace {

// Asked on the main thread every few seconds while no tray is known: a
// watcher that does not answer promptly counts as none.
constexpr int busTimeoutMs = 500;

bool onPlatform(const char *name) { return QGuiApplication::platformName() == QLatin1String(name); }

} // namespace

bool SystemTray::available() {
  if (!onPlatform("xcb") && !onPlatform("wayland"))
    return false;
  return hasStatusNotifierHost(QDBusConnection::sessionBus()) || hasXEmbedManager();
}

bool SystemTray::hasStatusNotifierHost(const QDBusConnection &bus) {
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(QLatin1String(watcherService)))
    return false;
  QDBusMessage get =
      QDBusMessage::createMethodCall(QLatin1String(watcherService), QLatin1String(watcherPath),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QLatin1String(watcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusReply<QDBusVariant> reply = QDBusConnection(bus).call(get, QDBus::Block, busTimeoutMs);
  return reply.isValid() && reply.value().variant().toBool();
}

bool SystemTray::hasXEmbedManager() {
  const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
  if (!connection || xcb_connection_has_error(connection))
    return false;
  // The selection of the screen the application is on: the display's default.
  int screen = 0;
  char *host = nullptr;
  int display = 0;
  if (xcb_parse_display(nullptr, &host, &display, &screen))
    std::free(host);
  const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()),
                            nullptr),
      &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE)
    return false;
  const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr), &std::free);
  return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace crel
