#pragma once

#include <QProcessEnvironment>

struct wl_display;

namespace crel::WaylandSession {

// A Wayland session, decided from the session, never from a read that
// "succeeds": Crel's windows then run under XWayland, the screen is read
// through the desktop portal and the clipboard set through the compositor.
bool active(const QProcessEnvironment &environment);

// A connection of our own to the session's compositor; null when there is
// none or it cannot be reached.
wl_display *connect(const QProcessEnvironment &environment);

} // namespace crel::WaylandSession
