#include "WaylandSession.h"

#include <wayland-client.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace crel::WaylandSession {

bool active(const QProcessEnvironment &environment) {
  return !environment.value("WAYLAND_DISPLAY").isEmpty() ||
         environment.value("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

bool hasDisplay(const QProcessEnvironment &environment) {
  return !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

wl_display *connect(const QProcessEnvironment &environment, const QDeadlineTimer &deadline, bool &late) {
  late = false;
  // Where libwayland looks: a relative name lies in the runtime folder.
  const QString name = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
  const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
  if (name.isEmpty() || (!name.startsWith(u'/') && runtime.isEmpty()))
    return nullptr;
  const QByteArray path = QFile::encodeName(name.startsWith(u'/') ? name : runtime + u'/' + name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (size_t(path.size()) >= sizeof address.sun_path)
    return nullptr;
  std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return nullptr;
  // A compositor whose queue of connections is full holds connect() until it
  // takes one; on a Unix socket the wait lasts the send timeout and then
  // fails with EAGAIN, so the kernel wakes us the moment it is taken.
  int error = 0;
  for (;;) {
    if (const qint64 left = deadline.remainingTime(); left >= 0) {
      const qint64 us = std::max<qint64>(left * 1000, 1);
      const timeval timeout{time_t(us / 1000000), suseconds_t(us % 1000000)};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
      return wl_display_connect_to_fd(fd);
    error = errno;
    if (error != EINTR || deadline.hasExpired())
      break;
  }
  late = error == EAGAIN || error == EINTR;
  ::close(fd);
  return nullptr;
}

wl_display *connect(const QProcessEnvironment &environment) {
  bool late = false;
  return connect(environment, QDeadlineTimer(QDeadlineTimer::Forever), late);
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
