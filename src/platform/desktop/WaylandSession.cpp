#include "WaylandSession.h"

#include <wayland-client.h>

namespace crel::WaylandSession {

bool active(const QProcessEnvironment &environment) {
  return !environment.value("WAYLAND_DISPLAY").isEmpty() ||
         environment.value("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

wl_display *connect(const QProcessEnvironment &environment) {
  const QString socket = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
  return socket.isEmpty() ? nullptr : wl_display_connect(socket.toLocal8Bit().constData());
}

} // namespace crel::WaylandSession
