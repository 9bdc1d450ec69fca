#include "CaptureWindowSession.h"

#include <QApplication>
#include <QEvent>

namespace crel {

CaptureWindowSession::CaptureWindowSession(QWidget *keyWindow) {
  if (keyWindow && keyWindow->isVisible() && !keyWindow->isMinimized()) {
    keyWindow_ = keyWindow;
    keyWindow->installEventFilter(this);
  }
}

QWidget *CaptureWindowSession::currentKeyWindow() { return QApplication::activeWindow(); }

bool CaptureWindowSession::eventFilter(QObject *watched, QEvent *event) {
  // Counted from the request on, as a will-close notice would be.
  if (watched == keyWindow_ && event->type() == QEvent::Close)
    closed_ = true;
  return false;
}

void CaptureWindowSession::restore(bool captured) {
  QPointer<QWidget> window = keyWindow_;
  keyWindow_.clear();
  if (window)
    window->removeEventFilter(this);
  if (captured || closed_ || !window || !window->isVisible() || window->isMinimized())
    return;
  window->activateWindow();
}

} // namespace crel
