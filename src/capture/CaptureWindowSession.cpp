#include "CaptureWindowSession.h"

#include "WidgetWindow.h"

#include <QApplication>

#include <utility>

namespace crel {

CaptureWindowSession::CaptureWindowSession(const Windows &windows) {
  for (const std::shared_ptr<ShellWindow> &window : windows) {
    if (window && window->isKey() && window->isVisible() && !window->isMiniaturized()) {
      keyWindow_ = window;
      closings_ = window->closings();
      return;
    }
  }
}

CaptureWindowSession::Windows CaptureWindowSession::applicationWindows() {
  QWidget *active = QApplication::activeWindow();
  return active ? Windows{WidgetWindow::attached(active)} : Windows{};
}

void CaptureWindowSession::restore(bool captured) {
  const std::shared_ptr<ShellWindow> window = std::exchange(keyWindow_, {}).lock();
  if (captured || !window || window->closings() != closings_ || !window->isVisible() || window->isMiniaturized())
    return;
  window->makeKey();
}

} // namespace crel
