#pragma once

#include <QProcessEnvironment>

namespace crel::WaylandSession {

// A Wayland session, decided from the session, never from a read that
// "succeeds": Crel's windows then run under XWayland, the screen is read
// through the desktop portal and the clipboard set through the compositor.
bool active(const QProcessEnvironment &environment);

} // namespace crel::WaylandSession
