#include "WindowRegistry.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

namespace crel {

WindowRegistry::WindowRegistry(QObject *parent) : QObject(parent) {
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &WindowRegistry::focusChanged);
}

void WindowRegistry::focusChanged(QWindow *window) {
  if (!window)
    return;
  QWidget *widget = nullptr;
  for (QWidget *candidate : QApplication::topLevelWidgets())
    if (candidate->windowHandle() == window)
      widget = candidate;
  if (!widget)
    return;
  std::erase_if(recent_, [widget](const QPointer<QWidget> &w) { return !w || w == widget; });
  recent_.insert(recent_.begin(), widget);
  if (canBecomeMain(*widget))
    main_ = widget;
  Q_EMIT windowActivated();
}

QWidget *WindowRegistry::mainWindow() const {
  // Cleared in effect when it hides or closes.
  return main_ && main_->isVisible() ? main_.data() : nullptr;
}

std::vector<std::unique_ptr<ShellWindow>> WindowRegistry::windows() const {
  std::vector<QWidget *> ordered;
  for (const QPointer<QWidget> &w : recent_)
    if (w)
      ordered.push_back(w);
  for (QWidget *w : QApplication::topLevelWidgets())
    if (std::find(ordered.begin(), ordered.end(), w) == ordered.end())
      ordered.push_back(w);
  std::vector<std::unique_ptr<ShellWindow>> result;
  for (QWidget *w : ordered)
    result.push_back(adapter(w));
  return result;
}

std::unique_ptr<ShellWindow> WindowRegistry::adapter(QWidget *window) const {
  return std::make_unique<WidgetShellWindow>(window, *this);
}

bool WindowRegistry::isPanel(const QWidget &window) {
  const Qt::WindowType type = window.windowType();
  return qobject_cast<const QDialog *>(&window) || type == Qt::Tool || type == Qt::Popup || type == Qt::ToolTip ||
         type == Qt::SplashScreen || type == Qt::Sheet || type == Qt::Drawer;
}

bool WindowRegistry::canBecomeMain(const QWidget &window) { return window.isWindow() && !isPanel(window); }

QWidget *WindowRegistry::attachedSheet(const QWidget &window) {
  for (QWidget *w : QApplication::topLevelWidgets()) {
    if (w == &window || !w->isVisible() || w->windowModality() != Qt::WindowModal)
      continue;
    if (const QWidget *parent = w->parentWidget(); parent && parent->window() == &window)
      return w;
  }
  return nullptr;
}

void WindowRegistry::present(QWidget &window) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.show();
  window.raise();
  window.activateWindow();
}

bool WidgetShellWindow::isKey() const { return window_ && QApplication::activeWindow() == window_; }

QString WidgetShellWindow::title() const {
  if (!window_)
    return {};
  // The title as the desktop shows it, without the modified placeholder.
  QString title = window_->windowTitle();
  return title.replace(QStringLiteral("[*]"), window_->isWindowModified() ? QStringLiteral("*") : QString());
}

bool WidgetShellWindow::isFilePanel() const { return qobject_cast<const QFileDialog *>(window_.data()); }

void WidgetShellWindow::deminiaturize() {
  if (window_)
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
}

void WidgetShellWindow::makeKeyAndOrderFront() {
  if (window_)
    WindowRegistry::present(*window_);
}

void WidgetShellWindow::orderOut() {
  if (window_)
    window_->hide();
}

void WidgetShellWindow::close() {
  if (window_)
    window_->close();
}

} // namespace crel
