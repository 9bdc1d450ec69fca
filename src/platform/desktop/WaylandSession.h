#pragma once

#include <QDeadlineTimer>
#include <QProcessEnvironment>

#include <functional>

struct wl_display;

namespace crel::WaylandSession {

// A Wayland session, decided from the session, never from a read that
// "succeeds": Crel's windows then run under XWayland, the screen is read
// through the desktop portal and the clipboard set through the compositor.
bool active(const QProcessEnvironment &environment);

// Whether the session names a compositor to connect to; not so for an X
// server started from a Wayland login.
bool hasDisplay(const QProcessEnvironment &environment);

// A connection of our own to the session's compositor; null when there is
// none or it cannot be reached.
wl_display *connect(const QProcessEnvironment &environment);
// As connect, waiting only until `deadline` for the compositor to take the
// connection; `late` tells one that did not from one that refused it.
wl_display *connect(const QProcessEnvironment &environment, const QDeadlineTimer &deadline, bool &late);

// Dispatches until `done` holds, the connection fails or `deadline` passes:
// a compositor that stops answering must not hang the caller. True once
// `done` holds.
bool dispatchUntil(wl_display *display, const std::function<bool()> &done, const QDeadlineTimer &deadline);
// A round trip within `deadline`: the compositor has seen every request
// sent so far, and we every event it sent before answering.
bool roundtrip(wl_display *display, const QDeadlineTimer &deadline);

} // namespace crel::WaylandSession
