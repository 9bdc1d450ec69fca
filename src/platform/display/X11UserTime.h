#pragma once

#include <functional>

class QWindow;

namespace crel {

// Focus-stealing prevention (KWin, mutter) keeps the keyboard from a window
// mapped with a user time of 0 or an old one, and Qt maps a window with the
// time of the last X event it saw. Has Qt's connection see the server's
// current time, through a change of a property of `window`, then runs
// `then` on the main thread: a window shown from there carries a fresh time.
// Off X11, `then` runs at once. Nothing runs once `window` is gone.
void withFreshX11UserTime(QWindow &window, std::function<void()> then);

} // namespace crel
