#pragma once

#include "platform/desktop/ShellWindow.h"

#include <memory>
#include <vector>

namespace crel {

// Remembers which of our windows had the keyboard when a capture began, so
// it can have it back when the capture ends without an image. The window is
// held weakly: a pending capture keeps no window alive.
class CaptureWindowSession final {
public:
  using Windows = std::vector<std::shared_ptr<ShellWindow>>;

  // Remembers the first of `windows` that is key, visible and not minimised.
  explicit CaptureWindowSession(const Windows &windows);
  // The application's windows that could be remembered: the active one.
  static Windows applicationWindows();

  // Without an image, gives the window the keyboard again unless it was
  // closed, hidden, minimised or destroyed meanwhile. After an image nothing
  // is restored: the editor about to open takes the focus. Forgets the
  // window either way, before anything else, so a call made from inside the
  // focus change finds nothing to restore.
  void restore(bool captured);

private:
  std::weak_ptr<ShellWindow> keyWindow_;
  int closings_ = 0;
};

} // namespace crel
