#pragma once

#include <QByteArray>

namespace crel {

// What the X server lets this process do, asked over short-lived
// connections of our own (usable before the application object exists).
namespace X11Access {

// An X server answers at `displayName` (empty: $DISPLAY).
bool displayReachable(const QByteArray &displayName = {});
// The screen can be read: an X11 session (not Wayland) whose server returns
// one pixel of the root window to us.
bool screenReadable();
// The XTEST extension is there, so input can be synthesised (what the
// acceptance harness needs); X11 has no other accessibility gate.
bool syntheticInputAvailable();
// A compositing manager owns the default screen's _NET_WM_CM_Sn selection,
// so the transparent parts of a window show what lies beneath it; without
// one they show black.
bool compositingManagerRunning();

} // namespace X11Access

} // namespace crel
