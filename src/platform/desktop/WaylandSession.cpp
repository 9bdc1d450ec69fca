#include "WaylandSession.h"

#include <wayland-client.h>

#include <algorithm>
#include <poll.h>

namespace crel::WaylandSession {

bool active(const QProcessEnvironment &environment) {
  return !environment.value("WAYLAND_DISPLAY").isEmpty() ||
         environment.value("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

bool hasDisplay(const QProcessEnvironment &environment) {
  return !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

wl_display *connect(const QProcessEnvironment &environment) {
  const QString socket = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
  return socket.isEmpty() ? nullptr : wl_display_connect(socket.toLocal8Bit().constData());
}

bool dispatchUntil(wl_display *display, const std::function<bool()> &done, const QDeadlineTimer &deadline) {
  while (!done()) {
    if (wl_display_dispatch_pending(display) < 0)
      return false;
    if (done())
      return true;
    if (wl_display_prepare_read(display) != 0)
      continue;
    wl_display_flush(display);
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    const qint64 left = deadline.remainingTime();
    if (left == 0 || ::poll(&fd, 1, int(std::min<qint64>(left < 0 ? 1000 : left, 1000))) <= 0) {
      wl_display_cancel_read(display);
      if (deadline.hasExpired())
        return false;
      continue;
    }
    if (wl_display_read_events(display) < 0)
      return false;
  }
  return true;
}

bool roundtrip(wl_display *display, const QDeadlineTimer &deadline) {
  static const wl_callback_listener answered{
      [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; }};
  bool synced = false;
  wl_callback *callback = wl_display_sync(display);
  wl_callback_add_listener(callback, &answered, &synced);
  const bool done = dispatchUntil(
      display, [&synced] { return synced; }, deadline);
  // Gone before `synced` is: an answer after the deadline finds no listener.
  wl_callback_destroy(callback);
  return done;
}

} // namespace crel::WaylandSession
