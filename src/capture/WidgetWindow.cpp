#include "WidgetWindow.h"

#include "CapturePanel.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>

namespace crel {

namespace {

// Rides on the widget as a child, so the handle goes with the widget; counts
// close requests as a will-close notice would, whether or not one is refused.
class WindowLife final : public QObject {
  Q_OBJECT
public:
  explicit WindowLife(QWidget *window) : QObject(window), handle(std::make_shared<WidgetWindow>(window)) {
    window->installEventFilter(this);
  }
  bool eventFilter(QObject *watched, QEvent *event) override {
    closings += watched == parent() && event->type() == QEvent::Close;
    return false;
  }

  std::shared_ptr<WidgetWindow> handle;
  int closings = 0;
};

WindowLife *lifeOf(const QWidget *window) {
  return window ? window->findChild<WindowLife *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

} // namespace

std::shared_ptr<WidgetWindow> WidgetWindow::attached(QWidget *window) {
  if (!window)
    return nullptr;
  WindowLife *life = lifeOf(window);
  return (life ? life : new WindowLife(window))->handle;
}

bool WidgetWindow::isKey() const { return window_ && QApplication::activeWindow() == window_; }

bool WidgetWindow::isMain() const { return isKey() && canBecomeMain(); }

QString WidgetWindow::title() const {
  if (!window_)
    return {};
  // The title as the desktop shows it, without the modified placeholder.
  QString title = window_->windowTitle();
  return title.replace(QStringLiteral("[*]"), window_->isWindowModified() ? QStringLiteral("*") : QString());
}

int WidgetWindow::closings() const {
  const WindowLife *life = lifeOf(window_);
  return life ? life->closings : 0;
}

bool WidgetWindow::isFilePanel() const { return qobject_cast<const QFileDialog *>(window_.data()); }

void WidgetWindow::deminiaturize() {
  if (window_)
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
}

void WidgetWindow::makeKey() {
  if (window_)
    window_->activateWindow();
}

void WidgetWindow::makeKeyAndOrderFront() {
  if (window_)
    present(*window_);
}

void WidgetWindow::orderOut() {
  if (window_)
    window_->hide();
}

void WidgetWindow::close() {
  if (window_)
    window_->close();
}

bool WidgetWindow::isPanel(const QWidget &window) {
  const Qt::WindowType type = window.windowType();
  return qobject_cast<const QDialog *>(&window) || dynamic_cast<const CapturePanel *>(&window) || type == Qt::Tool ||
         type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen || type == Qt::Sheet ||
         type == Qt::Drawer;
}

bool WidgetWindow::canBecomeMain(const QWidget &window) {
  return window.isWindow() && !isPanel(window) && !isTrayIcon(window);
}

// Qt draws the status icon itself in an XEmbed tray, as a top-level widget
// of its own: the tray's, not a window of the application.
bool WidgetWindow::isTrayIcon(const QWidget &window) { return window.inherits("QSystemTrayIconSys"); }

QWidget *WidgetWindow::attachedSheet(const QWidget &window) {
  for (QWidget *w : QApplication::topLevelWidgets()) {
    if (w == &window || !w->isVisible() || w->windowModality() != Qt::WindowModal)
      continue;
    if (const QWidget *parent = w->parentWidget(); parent && parent->window() == &window)
      return w;
  }
  return nullptr;
}

void WidgetWindow::present(QWidget &window) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.show();
  window.raise();
  activate(window);
}

void WidgetWindow::activate(QWidget &window) {
  // Activating the window itself while its sheet has the keyboard would
  // move the focus to it, past the window manager.
  QWidget *sheet = attachedSheet(window);
  if (sheet)
    sheet->raise();
  (sheet ? sheet : &window)->activateWindow();
}

} // namespace crel

#include "WidgetWindow.moc"
