#include "ScreenCapturePanel.h"

#include "RegionSelectionView.h"
#include "platform/display/X11UserTime.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/mman.h>
#include <unistd.h>

namespace crel {

namespace {
// The one panel that should hold the keyboard; a panel still retrying its
// grab must not take it back from a panel clicked since.
QPointer<ScreenCapturePanel> keyPanel;

Qt::WindowFlags flagsFor(ScreenCapturePanel::Placement placement) {
  // Managed: a normal window, the only kind every compositor focuses when it
  // maps full screen.
  if (placement == ScreenCapturePanel::Placement::managed)
    return Qt::Window;
  return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
         Qt::NoDropShadowWindowHint;
}

} // namespace

ScreenCapturePanel::ScreenCapturePanel(const geom::Rect &contentRect, Placement placement)
    : QWidget(nullptr, flagsFor(placement)), frame_(contentRect.standardized()),
      managed_(placement == Placement::managed) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  // A user time of 0, which Qt writes for this, is what keeps a managed
  // window from the keyboard.
  setAttribute(Qt::WA_ShowWithoutActivating, !managed_);
  setAttribute(Qt::WA_QuitOnClose, false);
  setCursor(Qt::CrossCursor);
  // Qt repaints a window whose look depends on its activation whenever the
  // active window changes; this one looks the same either way, and a
  // repaint of a whole display costs a frame.
  QPalette palette = this->palette();
  for (int role = 0; role < QPalette::NColorRoles; ++role)
    palette.setBrush(QPalette::Inactive, QPalette::ColorRole(role),
                     palette.brush(QPalette::Active, QPalette::ColorRole(role)));
  setPalette(palette);
  const QRect geometry = frame_.toQRectF().toAlignedRect();
  if (QScreen *screen = QGuiApplication::screenAt(geometry.center()))
    setScreen(screen);
  setGeometry(geometry);
  grabRetry_.setInterval(30);
  connect(&grabRetry_, &QTimer::timeout, this, &ScreenCapturePanel::tryGrabKeyboard);
}

ScreenCapturePanel::~ScreenCapturePanel() {
  releaseKeyboardGrab();
  backingStoreFill_.waitForFinished();
}

CapturePanelFactory ScreenCapturePanel::factory(Placement placement) {
  return [placement](const geom::Rect &contentRect) -> std::shared_ptr<CapturePanel> {
    return std::shared_ptr<CapturePanel>(new ScreenCapturePanel(contentRect, placement), [](CapturePanel *panel) {
      static_cast<ScreenCapturePanel *>(panel)->deleteLater();
    });
  };
}

void ScreenCapturePanel::installContentView(RegionSelectionView *view) {
  view->setParent(this);
  view->installEventFilter(this);
  view->setGeometry(rect());
  view->show();
  // A view that replaces the key panel's takes the keys over.
  if (keyPanel == this && wantsKeyboard_)
    tryGrabKeyboard();
}

void ScreenCapturePanel::paintEvent(QPaintEvent *event) {
  // Only seen where no view covers the panel.
  QPainter(this).fillRect(event->rect(), Qt::black);
}

// Showing a widget queues a repaint of all of it, which may arrive after the
// window's exposure has already painted everything: a second display's
// worth of pixels for nothing.
bool ScreenCapturePanel::isRedundantRepaint(const QEvent *event) const {
  return event->type() == QEvent::UpdateLater && paintedSinceShown_;
}

bool ScreenCapturePanel::eventFilter(QObject *watched, QEvent *event) {
  if (watched == contentView()) {
    if (event->type() == QEvent::Paint)
      paintedSinceShown_ = true;
    else if (isRedundantRepaint(event))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool ScreenCapturePanel::event(QEvent *event) {
  if (isRedundantRepaint(event))
    return true;
  if (event->type() == QEvent::Hide)
    paintedSinceShown_ = false;
  if (event->type() == QEvent::Resize)
    if (RegionSelectionView *view = contentView())
      view->setGeometry(rect());
  if (managed_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
    notePlacement(false);
  // Given the keyboard, it is where the compositor shows it once the
  // configure events already sent are read.
  if (managed_ && event->type() == QEvent::WindowActivate)
    QTimer::singleShot(0, this, [this] { notePlacement(true); });
  if (event->type() == QEvent::Expose && wantsKeyboard_ && !grabbed_)
    QTimer::singleShot(0, this, &ScreenCapturePanel::tryGrabKeyboard);
  return QWidget::event(event);
}

void ScreenCapturePanel::prepareBackingStore() {
  // A display-sized buffer is fresh memory: faulting its pages in costs the
  // first paint more than drawing into it. The kernel fills the page tables
  // here, on a worker, without touching a pixel, while the panel shows.
  winId();
  QBackingStore *store = backingStore();
  if (!store || backingStoreFill_.isRunning())
    return;
  if (store->size() != size())
    store->resize(size());
  QPaintDevice *device = store->paintDevice();
  if (!device || device->devType() != QInternal::Image)
    return;
#ifdef MADV_POPULATE_WRITE
  const QImage *buffer = static_cast<const QImage *>(device);
  const long page = sysconf(_SC_PAGESIZE);
  const auto start = reinterpret_cast<quintptr>(buffer->constBits()) & ~quintptr(page - 1);
  const auto end = reinterpret_cast<quintptr>(buffer->constBits()) + quintptr(buffer->sizeInBytes());
  // An older kernel refuses the request; the first paint then faults as usual.
  backingStoreFill_ =
      QtConcurrent::run([start, end] { madvise(reinterpret_cast<void *>(start), end - start, MADV_POPULATE_WRITE); });
#endif
}

void ScreenCapturePanel::present() {
  prepareBackingStore();
  if (!managed_) {
    show();
    raise();
    return;
  }
  presenting_ = true;
  // Asked before the panel maps, so sway answers with the window it covers;
  // the keys do not wait for the answer.
  swayFullScreen_.note(winId());
  withFreshX11UserTime(*windowHandle(), [this] {
    if (presenting_)
      showFullScreen();
  });
}

void ScreenCapturePanel::notePlacement(bool activated) {
  const geom::Rect now = geom::Rect::fromQRectF(QRectF(geometry()));
  if (!isVisible() || (now == frame_ && !activated))
    return;
  frame_ = now;
  if (auto report = placed)
    report(frame_);
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
  presenting_ = false;
  releaseKeyboardGrab();
  const bool shown = isVisible();
  hide();
  if (managed_ && shown)
    givesFullScreenBack_ ? swayFullScreen_.restore() : swayFullScreen_.park();
}

void ScreenCapturePanel::close() {
  presenting_ = false;
  releaseKeyboardGrab();
  QWidget::close();
}

} // namespace crel
