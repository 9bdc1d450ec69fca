#include "ScreenCapturePanel.h"

#include "RegionSelectionView.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace crel {

namespace {
// The one panel that should hold the keyboard; a panel still retrying its
// grab must not take it back from a panel clicked since.
QPointer<ScreenCapturePanel> keyPanel;
} // namespace

ScreenCapturePanel::ScreenCapturePanel(const geom::Rect &contentRect)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                           Qt::NoDropShadowWindowHint),
      frame_(contentRect.standardized()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_QuitOnClose, false);
  setCursor(Qt::CrossCursor);
  const QRect geometry = frame_.toQRectF().toAlignedRect();
  if (QScreen *screen = QGuiApplication::screenAt(geometry.center()))
    setScreen(screen);
  setGeometry(geometry);
  grabRetry_.setInterval(30);
  connect(&grabRetry_, &QTimer::timeout, this, &ScreenCapturePanel::tryGrabKeyboard);
}

ScreenCapturePanel::~ScreenCapturePanel() { releaseKeyboardGrab(); }

CapturePanelFactory ScreenCapturePanel::factory() {
  return [](const geom::Rect &contentRect) -> std::shared_ptr<CapturePanel> {
    return std::shared_ptr<CapturePanel>(new ScreenCapturePanel(contentRect), [](CapturePanel *panel) {
      static_cast<ScreenCapturePanel *>(panel)->deleteLater();
    });
  };
}

void ScreenCapturePanel::installContentView(RegionSelectionView *view) {
  view->setParent(this);
  view->setGeometry(rect());
  view->show();
}

void ScreenCapturePanel::paintEvent(QPaintEvent *event) {
  // Only seen where no view covers the panel.
  QPainter(this).fillRect(event->rect(), Qt::black);
}

bool ScreenCapturePanel::event(QEvent *event) {
  if (event->type() == QEvent::Resize)
    if (RegionSelectionView *view = contentView())
      view->setGeometry(rect());
  if (event->type() == QEvent::Expose && wantsKeyboard_ && !grabbed_)
    QTimer::singleShot(0, this, &ScreenCapturePanel::tryGrabKeyboard);
  return QWidget::event(event);
}

void ScreenCapturePanel::present() {
  show();
  raise();
}

void ScreenCapturePanel::makeKey() {
  if (keyPanel && keyPanel != this)
    keyPanel->releaseKeyboardGrab();
  keyPanel = this;
  wantsKeyboard_ = true;
  tryGrabKeyboard();
}

void ScreenCapturePanel::tryGrabKeyboard() {
  RegionSelectionView *view = contentView();
  if (!wantsKeyboard_ || keyPanel != this || !isVisible() || !view) {
    grabRetry_.stop();
    return;
  }
  // Qt sends the keys of a grab to its keyboard grabber widget, whichever of
  // our windows has the focus.
  if (QWidget::keyboardGrabber() != view)
    view->grabKeyboard();
  QWindow *window = windowHandle();
  grabbed_ = window && window->setKeyboardGrabEnabled(true);
  if (grabbed_)
    grabRetry_.stop();
  else if (!grabRetry_.isActive())
    grabRetry_.start();
}

void ScreenCapturePanel::releaseKeyboardGrab() {
  wantsKeyboard_ = false;
  grabRetry_.stop();
  RegionSelectionView *view = contentView();
  if (view && QWidget::keyboardGrabber() == view)
    view->releaseKeyboard();
  if (grabbed_ && windowHandle())
    windowHandle()->setKeyboardGrabEnabled(false);
  grabbed_ = false;
}

void ScreenCapturePanel::orderOut() {
  releaseKeyboardGrab();
  hide();
}

void ScreenCapturePanel::close() {
  releaseKeyboardGrab();
  QWidget::close();
}

} // namespace crel
